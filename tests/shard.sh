#!/bin/sh
# Runs one share of a Qt Test program: shard.sh PROGRAM K N [rows] runs the
# K-th of every N test functions (K from 1); with "rows", of every N tests,
# where a test is a function or one row of a data-driven function (for
# programs whose rows stand alone). The tests wait on the unit's real
# protocol waits, so the shares of a long program run side by side.
set -eu
program=$1 share=$2 shares=$3 unit=${4:-functions}
# -datatags prints "Class function" or "Class function row tag".
tests=$("$program" -datatags | awk -v k="$share" -v n="$shares" -v unit="$unit" '
  $2 == "initTestCase" || $2 == "cleanupTestCase" || $2 == "init" || $2 == "cleanup" { next }
  unit != "rows" { if ($2 == last) next; last = $2; if (count++ % n == k - 1) print $2; next }
  { tag = $0; sub(/^[^ ]+ [^ ]+ ?/, "", tag)
    if (count++ % n == k - 1) print (tag == "" ? $2 : $2 ":" tag) }')
[ -n "$tests" ] || { echo "no tests in share $share of $shares"; exit 1; }
set --
while IFS= read -r test; do
  set -- "$@" "$test"
done <<LIST
$tests
LIST
exec "$program" "$@"
