#!/usr/bin/env bash
# Renders icon.svg into the two icon files: large (48, 32, 16) and small (16).
#   make_icon.sh icon.svg large.ico small.ico
set -euo pipefail
in=$1 large=$2 small=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for s in 48 32 16; do rsvg-convert -w $s -h $s -f png -o "$tmp/$s.png" "$in"; done
convert "$tmp/48.png" "$tmp/32.png" "$tmp/16.png" "$large"
convert "$tmp/16.png" "$small"
