#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its seed corpus; new inputs
# go to a scratch corpus so the repository's seeds stay small. A fuzz target
# uses one core, so as many run side by side as there are jobs (the third
# argument, one by default); each still runs its full time.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
jobs=${3:-1}

run() {
  local target=$1 work status=0
  work=$(mktemp -d)
  cp fuzz/corpus/$target/* "$work/" 2>/dev/null || true
  "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/$target-" "$work" 2>"$build/$target.log" || status=1
  rm -rf "$work"
  echo $status >"$build/$target.status"
}

targets="fuzz_parse_number fuzz_reply_decoders fuzz_identity_reply fuzz_settings_text fuzz_command_frame fuzz_parameter_sheet fuzz_telnet_com_port"
running=0
for target in $targets; do
  if [ $running -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  rm -f "$build/$target.status"
  run "$target" &
  running=$((running + 1))
done
wait

status=0
for target in $targets; do
  echo "== $target ($seconds s)"
  if [ "$(cat "$build/$target.status" 2>/dev/null)" != 0 ]; then
    status=1
    tail -n 30 "$build/$target.log"
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$target.log" | tail -n 2 || true
done
exit $status
