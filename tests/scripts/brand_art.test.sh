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

# Bad brand files are refused by name, before anything is written.
bad() {  # bad SED-EXPRESSION
  sed -e "$1" "$art/brand.ini" > "$work/bad.ini"
  ! python3 "$art/make_svgs.py" --brand "$work/bad.ini" --out "$work/bad" 2>"$work/err" &&
    grep -q "brand" "$work/err" && [ ! -e "$work/bad" ]
}
check "colour that is not #rrggbb refused" bad 's/^gold = .*/gold = gold/'
check "missing product name refused" bad '/^product_name/d'
check "markup in a text refused" bad 's/^tagline = .*/tagline = a<b/'
check "missing brand file refused" bash -c "! python3 '$art/make_svgs.py' --brand '$work/none.ini' --out '$work/x' 2>/dev/null"
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "brand_art: all checks passed"
