#!/usr/bin/env bash
# Figures for the goals in docs/: scan, read-back and find timing and CPU (in
# process), a check's timing, eight stations sending results to one
# PostgreSQL server, a plant's year of checks on one server and its queries,
# the station's resident size over 500 units,
# then the real program's start to its title window and
# its peak memory, under a virtual display.
set -euo pipefail
build=${1:-build}
QT_QPA_PLATFORM=offscreen "$build/bench/bench_link"
"$build/bench/bench_cli" "${CLI_RUNS:-5}"
"$build/bench/bench_find" "${FIND_RUNS:-3}"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_station"
"$build/bench/bench_check" "${CHECK_RUNS:-3}"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_sheets"
"$build/bench/bench_results"
# A plant's year on one results server (PLANT_CHECKS=100000 for a short one).
"$build/bench/bench_plant"
# ktraveld-cli station's resident size over 500 units (a few minutes;
# STATION_UNITS=100 for a short one).
"$build/bench/bench_stationmemory"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_stop"

need=""
for p in xvfb x11-utils; do dpkg -s $p >/dev/null 2>&1 || need="$need $p"; done
if [ -n "$need" ]; then
  SUDO=$([ "$(id -u)" = 0 ] || echo sudo)
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $need >/dev/null
fi

dir=$(mktemp -d)
xvfb_pid=""; app_pid=""; sim_pid=""
cleanup() { for p in $app_pid $sim_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done; rm -rf "$dir"; }
trap cleanup EXIT INT TERM
Xvfb :97 -screen 0 1600x1000x24 >/dev/null 2>&1 & xvfb_pid=$!
export DISPLAY=:97
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

"$build/ktraveld-unitsim" --model KTRA20 --baud 9600 >"$dir/unit.out" & sim_pid=$!
for _ in $(seq 50); do [ -s "$dir/unit.out" ] && break; sleep 0.1; done
cp "$build/ktraveld" "$dir/"
sqlite3 "$dir/config.qdr" "CREATE TABLE \"Main Table\" (ID INTEGER PRIMARY KEY, Name TEXT, ComPort INTEGER);
INSERT INTO \"Main Table\" VALUES (1, 'Setup', 1);
CREATE TABLE \"Port Map\" (Port INTEGER PRIMARY KEY, Device TEXT NOT NULL);
INSERT INTO \"Port Map\" VALUES (1, '$(head -n1 "$dir/unit.out")');"

start=$(date +%s%N)
XDG_CONFIG_HOME="$dir/config-home" "$dir/ktraveld" & app_pid=$!
title=""
while [ -z "$title" ]; do
  title=$(xwininfo -root -tree 2>/dev/null | grep -m1 '"KTRA-VELD Software"' || true)
  [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 10000 ] && break
done
shown=$(( ($(date +%s%N) - start) / 1000000 ))
echo "Program start to title window shown: ${shown} ms (goal < 300 ms)"
for _ in $(seq 100); do xwininfo -root -tree 2>/dev/null | grep -q 'BRONTIV' && break; sleep 0.1; done
sleep 1
peak=$(awk '/VmHWM/ {print $2}' /proc/$app_pid/status)
echo "Peak memory of the program, connected to a KTRA20: $((peak / 1024)) MB (goal < 80 MB)"

echo
echo "Soak (about 12 minutes; SOAK_RUNS=100 for a short one)"
QT_QPA_PLATFORM=offscreen "$build/bench/bench_soak" "${SOAK_RUNS:-1000}" "${SOAK_LINES:-10000}"
