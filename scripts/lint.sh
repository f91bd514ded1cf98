#!/usr/bin/env bash
# clang-tidy with the repository's check list over our sources, then cppcheck.
set -uo pipefail
build=${1:-build}
files=$(git ls-files 'src/*.cpp' 'tools/*.cpp')
status=0
echo "== clang-tidy"
clang-tidy -p "$build" --quiet $files >"$build/clang-tidy.log" 2>&1 || status=1
grep -E 'error:|warning:' "$build/clang-tidy.log" || true
echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
  --inline-suppr --suppress=missingIncludeSystem --std=c++20 --language=c++ \
  -I src $files || status=1
[ $status = 0 ] && echo "lint clean"
exit $status
