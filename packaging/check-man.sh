#!/usr/bin/env bash
# Fails when a long option that the program's --help lists is missing from its
# manual page, so the two cannot drift apart.
# A program with commands names them after the page; each command's --help
# is checked too.
#   check-man.sh PROGRAM MANPAGE [COMMAND...]
set -euo pipefail
program=$1
manpage=$2
shift 2
help=$("$program" --help)
for command in "$@"; do
  help+=$'\n'$("$program" "$command" --help)
done
options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
[ -n "$options" ] || { echo "$program --help lists no long option"; exit 1; }
# The page as text: roff's \- is a plain hyphen, font changes go.
page=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$manpage")
missing=0
for option in $options; do
  if ! grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|\$)" <<<"$page"; then
    echo "$manpage does not describe $option (listed by $program --help)"
    missing=1
  fi
done
[ "$missing" = 0 ] && echo "$manpage describes every long option of $program:" $options
exit "$missing"
