#!/bin/sh
# Runs one share of a Qt Test program's functions: shard.sh PROGRAM K N runs
# the K-th of every N functions (K from 1). The tests wait on the unit's real
# protocol waits, so the shares of a long program run side by side.
set -eu
program=$1 share=$2 shares=$3
functions=$("$program" -functions | sed -n 's/()$//p' |
  grep -v -x -e initTestCase -e cleanupTestCase -e init -e cleanup |
  awk -v k="$share" -v n="$shares" '(NR - 1) % n == k - 1')
[ -n "$functions" ] || { echo "no functions in share $share of $shares"; exit 1; }
# shellcheck disable=SC2086 # one argument per function name
exec "$program" $functions
