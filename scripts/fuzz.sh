#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its seed corpus; new inputs
# go to a scratch corpus so the repository's seeds stay small.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
status=0
for target in fuzz_parse_number fuzz_reply_decoders fuzz_identity_reply fuzz_settings_text fuzz_command_frame fuzz_parameter_sheet; do
  work=$(mktemp -d)
  cp fuzz/corpus/$target/* "$work/" 2>/dev/null || true
  echo "== $target ($seconds s)"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/$target-" "$work" 2>"$build/$target.log"; then
    status=1
    tail -n 30 "$build/$target.log"
  fi
  grep -E 'stat::number_of_executed_units|Done [0-9]+ runs' "$build/$target.log" | tail -n 2 || true
  rm -rf "$work"
done
exit $status
