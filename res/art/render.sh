#!/usr/bin/env bash
# Renders one artwork SVG to the 8-bit RGBA PNG the installer embeds.
#   render.sh opaque|keyed input.svg output.png
# opaque: every pixel fully opaque (background, progress bar).
# keyed:  pixels at least half covered are flattened onto the window's red;
#         the rest become magenta (255,0,255), which keyed drawing and button
#         shaping leave out. Every pixel is opaque (keyed drawing ignores alpha).
# The window's red comes from matte.txt beside the SVG (make_svgs.py writes
# the brand's colour there).
set -euo pipefail
mode=$1 in=$2 out=$3
matte='#6a0f12'
if [ -f "$(dirname "$in")/matte.txt" ]; then
  matte=$(head -n1 "$(dirname "$in")/matte.txt")
  [[ "$matte" =~ ^#[0-9a-fA-F]{6}$ ]] || { echo "render.sh: bad matte colour '$matte'" >&2; exit 2; }
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rsvg-convert -f png -o "$tmp/raw.png" "$in"
case $mode in
  opaque)
    convert "$tmp/raw.png" -background "$matte" -alpha remove -alpha on \
      -define png:color-type=6 -depth 8 "PNG32:$out"
    ;;
  keyed)
    size=$(identify -format '%wx%h' "$tmp/raw.png")
    convert "$tmp/raw.png" -alpha extract -threshold 50% "$tmp/mask.png"
    convert "$tmp/raw.png" -background "$matte" -alpha remove -alpha off "$tmp/flat.png"
    convert -size "$size" xc:'#FF00FF' "$tmp/flat.png" "$tmp/mask.png" -composite -alpha on \
      -define png:color-type=6 -depth 8 "PNG32:$out"
    ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
