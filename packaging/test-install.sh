#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks what landed where, and
# asks the installed program where its configuration store is:
#   - with a store beside a copy of the program, in a writable folder;
#   - with a store beside a copy of the program in a folder that cannot be
#     written (made immutable with chattr, which needs root and a filesystem
#     that supports it; skipped otherwise, the unit test covers it);
#   - with no store beside it: the user's store, from the installed default.
# It also checks that both programs, the metadata, the Debian changelog and
# the manual pages all name the project's version and release date.
#   test-install.sh BUILD_DIR VERSION RELEASE_DATE (YYYY-MM-DD)
set -euo pipefail
build=$1
version=$2
date=$3
tmp=$(mktemp -d)
locked=""
cleanup() {
  [ -n "$locked" ] && chattr -i "$locked" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.ktraveld.ktraveld
for f in bin/ktraveld bin/ktraveld-cli share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
         share/man/man1/ktraveld.1.gz share/man/man1/ktraveld-cli.1.gz \
         share/ktraveld/config.qdr share/doc/ktraveld/copyright \
         share/doc/ktraveld/changelog.Debian.gz share/doc/ktraveld/README.md.gz \
         share/doc/ktraveld/README.Debian share/doc/ktraveld/docs/sheets.md.gz \
         share/doc/ktraveld/docs/operator.md.gz share/bash-completion/completions/ktraveld-cli; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 64 128 256; do
  [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" ] || fail "no ${size}px icon"
done
[ -z "$(find "$prefix" -name 'ktraveld-unitsim' -o -name 'tst_*')" ] \
  || fail "the simulator or a test is installed"
[ "$("$prefix/bin/ktraveld" --version)" = "ktraveld $version" ] || fail "ktraveld --version"
[ "$("$prefix/bin/ktraveld-cli" --version)" = "ktraveld-cli $version" ] \
  || fail "ktraveld-cli --version"
grep -qF "<release version=\"$version\" date=\"$date\"" "$prefix/share/metainfo/$id.metainfo.xml" \
  || fail "the metainfo has no release $version of $date"
zcat "$prefix/share/doc/ktraveld/changelog.Debian.gz" | head -n 1 | grep -qF "ktraveld ($version-" \
  || fail "the Debian changelog does not start with $version"
zcat "$prefix/share/doc/ktraveld/changelog.Debian.gz" | grep -m 1 '^ -- ' \
  | grep -qF "$(LC_ALL=C date -u -d "$date" '+%a, %d %b %Y')" \
  || fail "the Debian changelog's first entry is not of $date"
month=$(LC_ALL=C date -u -d "$date" '+%B %Y')
for page in ktraveld ktraveld-cli; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep -m 1 '^\.TH ' \
    | grep -qF "\"$month\" \"ktraveld $version\"" || fail "$page(1) is not of $month, $version"
done

# run NAME PROGRAM: the store path on stdout, what it said on stderr, with a
# configuration folder of the case's own.
run() {
  XDG_CONFIG_HOME=$tmp/$1-config "$2" --store-path >"$tmp/$1.out" 2>"$tmp/$1.err" \
    || fail "$1: exit $? ($(cat "$tmp/$1.err"))"
}

# Nothing beside the installed program: the user's store, from the default.
run none "$prefix/bin/ktraveld"
user=$tmp/none-config/ktraveld/config.qdr
[ "$(cat "$tmp/none.out")" = "$user" ] || fail "none: $(cat "$tmp/none.out")"
cmp -s "$user" "$prefix/share/ktraveld/config.qdr" || fail "none: not the installed default"
echo "none beside: $user"

# A portable copy: the store beside it is used in place.
mkdir "$tmp/portable"
cp "$prefix/bin/ktraveld" "$build/config.qdr" "$tmp/portable/"
run portable "$tmp/portable/ktraveld"
[ "$(cat "$tmp/portable.out")" = "$tmp/portable/config.qdr" ] \
  || fail "portable: $(cat "$tmp/portable.out")"
[ ! -e "$tmp/portable-config" ] || fail "portable: the user's folder was touched"
[ ! -s "$tmp/portable.err" ] || fail "portable: said $(cat "$tmp/portable.err")"
echo "beside, writable: $tmp/portable/config.qdr"

# A copy in a folder that cannot be written: copied once, said once.
mkdir "$tmp/locked"
cp "$prefix/bin/ktraveld" "$build/config.qdr" "$tmp/locked/"
if chattr +i "$tmp/locked" 2>/dev/null; then
  locked=$tmp/locked
  if touch "$locked/probe" 2>/dev/null; then
    fail "locked: the immutable folder can still be written"
  fi
  run locked "$locked/ktraveld"
  user=$tmp/locked-config/ktraveld/config.qdr
  [ "$(cat "$tmp/locked.out")" = "$user" ] || fail "locked: $(cat "$tmp/locked.out")"
  cmp -s "$user" "$locked/config.qdr" || fail "locked: not a copy of the store beside"
  grep -qF "($locked/config.qdr) cannot be written, so it was copied to $user" "$tmp/locked.err" \
    || fail "locked: no notice ($(cat "$tmp/locked.err"))"
  run locked "$locked/ktraveld"
  [ "$(cat "$tmp/locked.out")" = "$user" ] || fail "locked, again: $(cat "$tmp/locked.out")"
  [ ! -s "$tmp/locked.err" ] || fail "locked, again: said $(cat "$tmp/locked.err")"
  echo "beside, not writable: $user"
else
  echo "beside, not writable: skipped, chattr +i is not available here"
fi
