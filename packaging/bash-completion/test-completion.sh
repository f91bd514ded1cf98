#!/usr/bin/env bash
# Sources the completion and checks what it offers for a few command lines.
#   test-completion.sh COMPLETION_FILE
set -uo pipefail
source "$1"
failed=0
# expect LINE WORD...: completing at the end of LINE offers exactly WORD...
expect() {
    local line=$1
    shift
    COMP_LINE=$line COMP_POINT=${#line}
    _ktraveld_cli
    local got="${COMPREPLY[*]}" want="$*"
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$line' offers '$got', not '$want'"
        failed=1
    fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" && touch unit.json notes.txt
expect "ktraveld-cli " ports doctor scan read set go stop axis find save load diff history \
    check results station
expect "ktraveld-cli h" history
expect "ktraveld-cli set " accel= base-speed= max-speed= index= complete-time= lower-analog= \
    upper-analog= direction= reduced-current= resolution= ramp-down= analog-speed=
expect "ktraveld-cli set max" max-speed=
expect "ktraveld-cli set base-speed=500 res" resolution=
expect "ktraveld-cli set direction=c" cw ccw
expect "ktraveld-cli read --a" --axis --all-profiles
expect "ktraveld-cli stop --model V" VELD10 VELD20 VELD30
expect "ktraveld-cli load " unit.json
expect "ktraveld-cli load unit.json --pa" --pace
expect "ktraveld-cli check unit.json --pace " fixed reply
expect "ktraveld-cli go --p" --profile
expect "ktraveld-cli check unit.json --j" --json --junit
expect "ktraveld-cli check unit.json --report " unit.json
expect "ktraveld-cli results --f" --failed
expect "ktraveld-cli results --s" --store --station --since --serial --sync
expect "ktraveld-cli results --yield --by " station day field
expect "ktraveld-cli station " unit.json
expect "ktraveld-cli station unit.json --p" --pace --port
expect "ktraveld-cli station unit.json --u" --units
expect "ktraveld-cli station unit.json --ser" --serial-prompt --serial-pattern
expect "ktraveld-cli station unit.json --serial-prompt --serial-pattern "
touch check.xml
expect "ktraveld-cli check unit.json --junit " check.xml
[ "$failed" = 0 ] && echo "the completion offers what each line expects"
exit "$failed"
