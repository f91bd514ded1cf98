#!/usr/bin/env bash
# Checks what a desktop installs: the desktop entry, the AppStream metadata
# and the .deb. Errors fail; lintian's warnings are shown but do not.
#   validate.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
id=io.github.ktraveld.KtraVeld
desktop-file-validate "packaging/$id.desktop"
appstreamcli validate --no-net "packaging/$id.metainfo.xml"
debs=("$build"/ktraveld_*.deb)
[ -f "${debs[0]}" ] || { echo "No .deb in $build: run make package first."; exit 1; }
[ "${#debs[@]}" = 1 ] || { echo "More than one .deb in $build: ${debs[*]}"; exit 1; }
# --fail-on error is lintian's default; said here so it stays so.
lintian --fail-on error --display-info "${debs[0]}"
# The metainfo as installed, with the desktop entry and icons it points at.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "${debs[0]}" "$tree"
appstreamcli validate-tree --no-net "$tree"
echo "desktop entry, metainfo and ${debs[0]} are valid"
