#!/usr/bin/env bash
# clang-tidy with the repository's check list over our sources, then cppcheck.
set -euo pipefail
build=${1:-build}
files=$(git ls-files 'src/*.cpp' 'tools/*.cpp')
echo "== clang-tidy"
clang-tidy -p "$build" --quiet $files 2>&1 | grep -v '^[0-9]* warnings generated' || true
clang-tidy -p "$build" --quiet $files >/dev/null 2>&1
echo "== cppcheck"
cppcheck --quiet --error-exitcode=1 --enable=warning,performance,portability \
  --inline-suppr --suppress=missingIncludeSystem --std=c++20 --language=c++ \
  -I src $files
echo "lint clean"
