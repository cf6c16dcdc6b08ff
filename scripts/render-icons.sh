#!/usr/bin/env bash
# Renders the application and document icons from their SVG sources (res/icons/src) into the PNGs
# the program embeds and installs: res/icons/quillnet<size>.png and res/icons/qndocument<size>.png,
# and the tool bar buttons drawn as SVG.
# The 16-pixel icons come from the drawings on a 16-pixel grid. Needs rsvg-convert (librsvg2-bin).
# The PNGs are kept in the repository, so a build never needs this script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-packages.sh" librsvg2-bin
src=$root/res/icons/src
for name in quillnet qndocument; do
  for size in 16 22 24 32 48 64 128 256; do
    svg=$src/$name.svg
    [ "$size" -gt 16 ] || svg=$src/$name-small.svg
    rsvg-convert -w "$size" -h "$size" "$svg" -o "$root/res/icons/$name$size.png"
  done
done
# Tool bar buttons drawn as SVG (the others are kept as PNG only).
for name in stats; do
  rsvg-convert -w 18 -h 24 "$src/$name.svg" -o "$root/res/icons/$name.png"
done
