#!/usr/bin/env bash
# Checks what a desktop installs: the desktop entry, the AppStream metadata
# (pedantic) and the .deb: lintian's errors fail, and so do its hardening
# tags (shown with -I); other warnings are shown but do not fail. A second
# package run must give the same .deb byte for byte.
#   validate.sh BUILD_DIR
# SOURCE_DATE_EPOCH is the one `make package` used (make validate passes it);
# without it, the time of the last commit.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
id=org.ktraveld.ktraveld
desktop-file-validate "packaging/$id.desktop"
appstreamcli validate --pedantic --no-net "packaging/$id.metainfo.xml"
debs=("$build"/ktraveld_*.deb)
[ -f "${debs[0]}" ] || { echo "No .deb in $build: run make package first."; exit 1; }
[ "${#debs[@]}" = 1 ] || { echo "More than one .deb in $build: ${debs[*]}"; exit 1; }
deb=${debs[0]}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# --fail-on error is lintian's default; said here so it stays so.
lintian --fail-on error --display-info "$deb" | tee "$tree/lintian.txt"
if grep -E 'hardening-no-(bindnow|fortify-functions|relro|pie)' "$tree/lintian.txt"; then
  echo "$deb is not built with the hardening flags"
  exit 1
fi
# lintian sees fortification only where a call was given a check, and no call
# in these programs needed one (the override says so): every compile command
# must carry the flag instead.
commands=$(grep -c '"command":' "$build/compile_commands.json")
fortified=$(grep '"command":' "$build/compile_commands.json" | grep -c -- '-D_FORTIFY_SOURCE=[23]')
if [ "$commands" != "$fortified" ]; then
  echo "only $fortified of $commands compile commands in $build have -D_FORTIFY_SOURCE"
  exit 1
fi

# The metainfo as installed, with the desktop entry and icons it points at.
dpkg-deb -x "$deb" "$tree/root"
appstreamcli validate-tree --pedantic --no-net "$tree/root"

# Reproducible: the same build packaged again gives the same bytes.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
(cd "$build" && cpack -G DEB -B "$tree/again" >/dev/null)
again=("$tree"/again/ktraveld_*.deb)
if ! cmp "$deb" "${again[0]}"; then
  echo "$deb differs from a second package run of the same build"
  exit 1
fi
echo "desktop entry, metainfo and $deb are valid; a second package run gives the same .deb"
