#!/usr/bin/env bash
# The artwork comes from the brand file: the default brand draws today's
# pictures, a second brand's texts change the pictures where the texts are
# and nowhere else, each colour key reaches its parts of the pictures and the
# window's own text colours, and bad brand files are refused with a message.
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
# Colour brands: only the felt; the dark reds, golds and cream.
sed -e 's/^felt = .*/felt = #5a1a6b/' "$art/brand.ini" > "$work/felt.ini"
sed -e 's/^red_dark = .*/red_dark = #0a2a4a/' -e 's/^gold = .*/gold = #30a0f0/' \
    -e 's/^cream = .*/cream = #e0f0ff/' -e 's/^gold_light = .*/gold_light = #c0e0ff/' \
    "$art/brand.ini" > "$work/dark.ini"
for brand in default second felt dark; do
  file=$work/$brand.ini; [ "$brand" = default ] && file=$art/brand.ini
  python3 "$art/make_svgs.py" --brand "$file" --out "$work/$brand" >/dev/null
  for pic in 154_background:opaque 155_main:keyed 179_bar_track:opaque; do
    bash "$art/render.sh" "${pic#*:}" "$work/$brand/png${pic%%:*}.svg" "$work/$brand/${pic%%_*}.png"
  done
done
# Differing pixels inside a region (WxH+X+Y) of a picture of the default
# brand and of another brand (default: second).
differ() {
  convert "$work/default/$1.png" -crop "$2" +repage "$work/a.png"
  convert "$work/${3:-second}/$1.png" -crop "$2" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
check "product name drawn into the main picture" test "$(differ 155 530x45+0+72)" -gt 100
check "main picture unchanged below the texts" test "$(differ 155 530x110+0+140)" = 0
check "title drawn into the title bar" test "$(differ 154 500x29+30+0)" -gt 50
check "background unchanged below the title bar" test "$(differ 154 530x360+0+35)" = 0
# The felt key paints the main page's table (between the texts and the
# cards) and nothing of the background or the progress track.
check "felt paints the table" test "$(differ 155 400x8+60+131 felt)" -gt 2000
check "felt leaves the background alone" test "$(differ 154 530x399+0+0 felt)" = 0
check "felt leaves the progress track alone" test "$(differ 179 498x25+0+0 felt)" = 0
check "red_dark paints the title bar" test "$(differ 154 200x25+320+2 dark)" -gt 4000
check "red_dark paints the progress track" test "$(differ 179 400x15+50+5 dark)" -gt 5000
# The window's own text colours come from gold, cream and gold_light.
colours() { grep -o "$2 = {[0-9, ]*}" "$work/$1/brand_colours.h"; }
check "default text colours" test "$(colours default kBrandGoldText) $(colours default kBrandCreamText) $(colours default kBrandStatusText)" \
  = "kBrandGoldText = {241, 179, 33} kBrandCreamText = {251, 220, 174} kBrandStatusText = {254, 247, 167}"
check "gold, cream and gold_light reach the window's texts" \
  test "$(colours dark kBrandGoldText) $(colours dark kBrandCreamText) $(colours dark kBrandStatusText)" \
  = "kBrandGoldText = {48, 160, 240} kBrandCreamText = {224, 240, 255} kBrandStatusText = {191, 247, 255}"

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
