#!/usr/bin/env bash
# Runs the program against the simulated unit: a KTRA20 at 28800 baud on a
# pseudo-terminal that COM 1 is mapped to, so the scan skips 9600 and
# connects at 28800.
# Without a display the command-line tool runs against it instead: a scan, a
# read-back and a refused value, each shown with its command line.
set -euo pipefail
build=${1:-build}
headless=0
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && headless=1
dir=$(mktemp -d)
sim_pid=""
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT INT TERM
"$build/ktraveld-unitsim" --model KTRA20 --revision 1.07 --baud 28800 \
  --record "$dir/unit-received.jsonl" >"$dir/unit.out" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$dir/unit.out" ] && break; sleep 0.1; done
device=$(head -n 1 "$dir/unit.out")
[ -n "$device" ] || { echo "The simulated unit did not start."; exit 1; }
sqlite3 "$dir/config.qdr" <<SQL
CREATE TABLE "Main Table" (ID INTEGER PRIMARY KEY, Name TEXT, ComPort INTEGER);
INSERT INTO "Main Table" VALUES (1, 'Setup', 1);
CREATE TABLE "Port Map" (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL);
INSERT INTO "Port Map" VALUES (1, '$device');
PRAGMA user_version = 1;
SQL
echo "Simulated KTRA20 at 28800 baud on $device (COM 1). What it hears: $dir/unit-received.jsonl"
if [ "$headless" = 1 ]; then
  echo "No display here (DISPLAY is not set): the command-line tool instead of the window."
  show() {
    echo
    echo "\$ ktraveld-cli $* --store $dir/config.qdr"
    "$build/ktraveld-cli" "$@" --store "$dir/config.qdr" && status=0 || status=$?
    echo "(exit $status)"
  }
  show scan
  show read
  show set max-speed=400
  exit 0
fi
# The store lives beside the program, so the demo runs a copy of it; a store
# of your own in ~/.config/ktraveld would be used first, so the demo has none.
cp "$build/ktraveld" "$dir/ktraveld"
XDG_CONFIG_HOME="$dir/config-home" "$dir/ktraveld"
