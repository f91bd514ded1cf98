#!/usr/bin/env bash
# Renders the PNG icons from the SVG. Run by hand after changing the SVG and
# commit the PNGs, so a build needs no SVG renderer. rsvg-convert comes from
# Debian's librsvg2-bin.
set -euo pipefail
cd "$(dirname "$0")/icons"
id=org.ktraveld.ktraveld
for size in 16 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert --width "$size" --height "$size" --output "$size/$id.png" "$id.svg"
done
