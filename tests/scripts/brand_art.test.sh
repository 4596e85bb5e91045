#!/usr/bin/env bash
# The artwork comes from the brand file: the default brand draws today's
# pictures, a second brand's texts change the pictures where the texts are
# and nowhere else, and bad brand files are refused with a message.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
art=$ROOT/res/art
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }

check "make_svgs.py --help" bash -c "python3 '$art/make_svgs.py' --help >/dev/null"
sed -e 's/^product_name = .*/product_name = 星辰棋牌 · 极速安装/' \
    -e 's/^title = .*/title = 星辰游戏中心 · 在线安装/' "$art/brand.ini" > "$work/second.ini"
for brand in default second; do
  file=$art/brand.ini; [ "$brand" = second ] && file=$work/second.ini
  python3 "$art/make_svgs.py" --brand "$file" --out "$work/$brand" >/dev/null
  for pic in 154_background:opaque 155_main:keyed; do
    bash "$art/render.sh" "${pic#*:}" "$work/$brand/png${pic%%:*}.svg" "$work/$brand/${pic%%_*}.png"
  done
done
# Differing pixels inside a region (WxH+X+Y) of the two brands' picture.
differ() {
  convert "$work/default/$1.png" -crop "$2" +repage "$work/a.png"
  convert "$work/second/$1.png" -crop "$2" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
check "product name drawn into the main picture" test "$(differ 155 530x45+0+72)" -gt 100
check "main picture unchanged below the texts" test "$(differ 155 530x110+0+140)" = 0
check "title drawn into the title bar" test "$(differ 154 500x29+30+0)" -gt 50
check "background unchanged below the title bar" test "$(differ 154 530x360+0+35)" = 0

# Own pictures in the brand's folder are taken as they are, whatever their
# PNG colour type; one of the wrong size is refused; the rest stay drawn.
mkdir -p "$work/own/pictures"
convert "$work/default/155.png" -alpha off -dither None -colors 256 "PNG8:$work/own/pictures/png155.png"
{ cat "$art/brand.ini"; echo "pictures = pictures"; } > "$work/own/brand.ini"
python3 "$art/make_svgs.py" --brand "$work/own/brand.ini" --out "$work/own/svg" >/dev/null
bash "$art/render.sh" keyed "$work/own/svg/png155_main.svg" "$work/own/png155.png"
bash "$art/render.sh" opaque "$work/own/svg/png154_background.svg" "$work/own/png154.png"
check "own paletted picture taken as it is" cmp -s "$work/own/pictures/png155.png" "$work/own/png155.png"
check "pictures not in the folder are drawn" \
  test "$(compare -metric AE "$work/default/154.png" "$work/own/png154.png" null: 2>&1)" = 0
convert "$work/default/154.png" -resize 50% "PNG24:$work/own/pictures/png154.png"
check "own picture of the wrong size refused" bash -c \
  "mkdir '$work/own/x' && ! bash '$art/render.sh' opaque '$work/own/svg/png154_background.svg' \
   '$work/own/x/png154.png' 2>'$work/err' && grep -q 'must be 530x399' '$work/err' && [ ! -e '$work/own/x/png154.png' ]"

# Bad brand files are refused by name, before anything is written.
bad() {  # bad SED-EXPRESSION
  sed -e "$1" "$art/brand.ini" > "$work/bad.ini"
  ! python3 "$art/make_svgs.py" --brand "$work/bad.ini" --out "$work/bad" 2>"$work/err" &&
    grep -q "brand" "$work/err" && [ ! -e "$work/bad" ]
}
check "colour that is not #rrggbb refused" bad 's/^gold = .*/gold = gold/'
check "missing product name refused" bad '/^product_name/d'
check "missing pictures folder refused" bad '$a pictures = no-such-folder'
check "markup in a text refused" bad 's/^tagline = .*/tagline = a<b/'
check "missing brand file refused" bash -c "! python3 '$art/make_svgs.py' --brand '$work/none.ini' --out '$work/x' 2>/dev/null"
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "brand_art: all checks passed"
