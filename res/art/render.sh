#!/usr/bin/env bash
# Renders one artwork SVG to the 8-bit RGBA PNG the installer embeds.
#   render.sh opaque|keyed input.svg output.png
# opaque: every pixel fully opaque (background, progress bar).
# keyed:  pixels at least half covered are flattened onto the window's red;
#         the rest become magenta (255,0,255), which keyed drawing and button
#         shaping leave out. Every pixel is opaque (keyed drawing ignores alpha).
# The window's red comes from matte.txt beside the SVG (make_svgs.py writes
# the brand's colour there). When pictures.txt beside it names a folder with
# the publisher's own pngNNN.png for this output, that file is taken as it is
# (any PNG colour type), provided it has the drawn picture's size.
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
own_dir=
[ -f "$(dirname "$in")/pictures.txt" ] && own_dir=$(head -n1 "$(dirname "$in")/pictures.txt")
own=$own_dir/$(basename "$out")
if [ -n "$own_dir" ] && [ -f "$own" ]; then
  want=$(identify -format '%wx%h' "$tmp/raw.png")
  got=$(identify -format '%wx%h' "PNG:$own" 2>/dev/null) || { echo "render.sh: $own is not a PNG" >&2; exit 2; }
  [ "$got" = "$want" ] || { echo "render.sh: $own is $got, the picture must be $want" >&2; exit 2; }
  cp "$own" "$out"
  exit 0
fi
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
