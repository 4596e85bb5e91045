#!/usr/bin/env bash
# Drives the real installer window under Xvfb: size and position, page
# changes by mouse clicks, screenshots against reference pictures, the second
# instance, the renamed installer, an installer whose pictures are 24-bit,
# paletted and grey PNGs, and the installing page's texts by OCR. Needs Xvfb,
# xdotool, ImageMagick, python3, ninja, tesseract with its chi_sim data.
set -euo pipefail
: "${SOURCE_DIR:?}" "${BUILD_DIR:?}"
WINE_RUN=${WINE_RUN:-$SOURCE_DIR/scripts/wine-run.sh}
REF_DIR=$SOURCE_DIR/tests/ui/reference
EXE=$BUILD_DIR/online_setup.exe
PORT=18080
W=530 H=399 SCREEN_W=1280 SCREEN_H=1024
# An own prefix: the single-instance mutex must not meet installers that other
# tests start at the same time.
export WINEPREFIX=$BUILD_DIR/wineprefix-ui-window

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/server.log" ] && tail -20 "$work/server.log" >&2
  [ -n "${DISPLAY:-}" ] && import -window root "$BUILD_DIR/ui_window_failure.png" 2>/dev/null || true
  exit 1
}
log() { echo "== $*"; }

# Own display with a fixed size and depth, so positions and colours are stable.
Xvfb -displayfd 9 -screen 0 ${SCREEN_W}x${SCREEN_H}x24 -nolisten tcp 9>"$work/display.num" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display.num" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display.num")
log "display $DISPLAY"

# Wine prefix made once (wine-run.sh does it on first use).
"$WINE_RUN" --prefix "$WINEPREFIX" cmd /c exit 0 >/dev/null 2>&1 || true
# Forget the folder an earlier run remembered, so the custom page shows the
# default folder every time.
rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/127_0_0_1_$PORT

# Server content in code page 936.
srv=$work/srv
mkdir -p "$srv/uploads/txt/Agency"
iconv -f UTF-8 -t GBK >"$srv/uploads/online_setup.txt" <<INI
[setup]
gamename=棋牌游戏
exefilename=Hall.exe
ProductTitle=棋牌游戏大厅
size=300
urlAgreement=http://127.0.0.1:$PORT/agreement.html
uninstname=uninst.exe
Publisher=Game Hall
Contact=Support
[config]
1.0=http://127.0.0.1:$PORT/slow/update_list.txt
other=http://127.0.0.1:$PORT/slow/update_list.txt
INI
iconv -f UTF-8 -t GBK >"$srv/uploads/txt/Agency/Agency_678.txt" <<INI
[BaseInfo]
Enable=1
ProductName=欢乐棋牌
DomainName=http://127.0.0.1:$PORT
INI

marked=$work/setup-F12-A345-B678-P9-1001.exe
plain=$work/online_setup.exe
cp "$EXE" "$marked"
cp "$EXE" "$plain"

# Starts a program under Wine in the background; its pid goes to $started.
start() {
  "$WINE_RUN" --prefix "$WINEPREFIX" "$@" >>"$work/wine.log" 2>&1 &
  started=$!
  pids+=($started)
}
# Waits for a visible window whose title matches a bash pattern; prints its
# id. Titles are compared in UTF-8 (_NET_WM_NAME): xdotool's own name search
# only sees the legacy property, which Wine fills with "??" here. Up to 90 s:
# on a loaded machine the first program in a new prefix can take half a
# minute to show anything. A miss lists the windows that were there.
wait_window() {
  local pattern=$1 w name deadline=$((SECONDS + 90)) seen
  while [ $SECONDS -lt $deadline ]; do
    seen=
    for w in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
      name=$(xdotool getwindowname "$w" 2>/dev/null || true)
      seen+=" [$name]"
      # shellcheck disable=SC2053
      if [[ $name == $pattern ]]; then echo "$w"; return 0; fi
    done
    sleep 0.2
  done
  echo "windows shown:${seen:- none}" >&2
  tail -5 "$work/wine.log" >&2 2>/dev/null || true
  return 1
}
# Waits for a process to end; leaves its exit code in $exit_code.
wait_exit() {
  local pid=$1
  exit_code=0
  for _ in $(seq 150); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" || exit_code=$?
      return 0
    fi
    sleep 0.2
  done
  return 1
}
# Answers a message box (there is no window manager to activate it).
press_enter() {
  xdotool windowfocus "$1" 2>/dev/null || true
  sleep 0.3
  xdotool key Return
}
shot() {  # shot NAME: the window's area of the screen
  xdotool mousemove 5 5
  sleep 1.2
  import -window root -crop ${W}x${H}+$win_x+$win_y +repage "$work/$1.png"
}
# Compares a screenshot with its reference (both at half size, which keeps
# the references small; at most LIMIT pixels may differ, default 60); makes
# the reference when missing. Areas with
# machine-dependent text are masked first (full-size coordinates).
compare_shot() {
  local name=$1 ref_name=$2 mask=${3:-} limit=${4:-60} ref=$REF_DIR/$2.png
  local small=$work/$name.small.png
  # UI_WINDOW_SHOTS=<folder> keeps the full-size screenshots (documentation).
  [ -n "${UI_WINDOW_SHOTS:-}" ] && mkdir -p "$UI_WINDOW_SHOTS" && cp "$work/$name.png" "$UI_WINDOW_SHOTS/"
  convert "$work/$name.png" ${mask:+-fill black -draw "rectangle $mask"} -resize 50% "$small"
  if [ ! -f "$ref" ]; then
    mkdir -p "$REF_DIR"
    cp "$small" "$ref"
    echo "note: reference $ref written"
    return 0
  fi
  # Both are masked again at half size, a pixel wider for the blurred edge:
  # the reference may come from a shot without the mask.
  local diff half_mask=
  [ -n "$mask" ] && half_mask=$(awk -F'[ ,]' '{ printf "%d,%d %d,%d", $1/2-1, $2/2-1, $3/2+1, $4/2+1 }' <<<"$mask")
  convert "$ref" ${half_mask:+-fill black -draw "rectangle $half_mask"} "$work/$name.ref.png"
  convert "$small" ${half_mask:+-fill black -draw "rectangle $half_mask"} "$work/$name.cmp.png"
  diff=$(compare -metric AE -fuzz 12% "$work/$name.cmp.png" "$work/$name.ref.png" null: 2>&1 || true)
  diff=${diff%% *}
  echo "$name: $diff pixels differ from $ref_name"
  [ "${diff%.*}" -le "$limit" ] 2>/dev/null || {
    cp "$work/$name.png" "$BUILD_DIR/ui_window_$name.png"
    fail "$name differs from $ref_name by $diff pixels (shot kept in the build folder)"
  }
}

# 1. A renamed installer (no agency markers) says so and ends with 0.
log "renamed installer"
start "$plain"
pid=$started
box=$(wait_window '退出') || fail "no message box titled 退出 for a renamed installer"
press_enter "$box"
wait_exit "$pid" || fail "renamed installer did not end"
[ "$exit_code" = 0 ] || fail "renamed installer exit code $exit_code"

# 2. The real window, against the test server (port used under a lock).
exec 7>/tmp/online-setup-18080.lock
flock -w 900 7 || fail "port lock not obtained"
python3 "$SOURCE_DIR/tests/scripts/ui_window_server.py" $PORT "$srv" 2>"$work/server.log" &
pids+=($!)
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$PORT/uploads/online_setup.txt" && break; sleep 0.1; done

log "main window"
start "$marked"
main_pid=$started
win=$(wait_window '*在线安装') || { cat "$work/server.log" >&2; fail "main window did not appear"; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
win_x=$X win_y=$Y
echo "window $WIDTH x $HEIGHT at $X,$Y"
[ "$WIDTH" = $W ] && [ "$HEIGHT" = $H ] || fail "window is ${WIDTH}x$HEIGHT, expected ${W}x$H"
[ "$X" = $(((SCREEN_W - W) / 2)) ] && [ "$Y" = $(((SCREEN_H - H) / 2)) ] || fail "window not centred: $X,$Y"
title=$(xdotool getwindowname "$win")
[ "$title" = "欢乐棋牌在线安装" ] || fail "title is '$title'"

click() { xdotool mousemove $((win_x + $1)) $((win_y + $2)) click 1; sleep 0.6; }

shot page0
compare_shot page0 page0

# Custom link -> page 1, back -> page 0.
click $((444 + 35)) $((356 + 7))
shot page1
compare_shot page1 page1 "74,156 324,176"
click $((450 + 20)) $((356 + 7))
shot page0_again
compare_shot page0_again page0

# Unticking the agreement disables install and the custom link: clicking the
# custom link then stays on page 0; ticking again brings it back.
click 176 368
click $((444 + 35)) $((356 + 7))
shot page0_unticked
compare_shot page0_unticked page0_unticked
click 176 368
click $((444 + 35)) $((356 + 7))
shot page1_again
compare_shot page1_again page1 "74,156 324,176"
click $((450 + 20)) $((356 + 7))

# 3. A second instance refuses to run and ends with 0; the first stays.
log "second instance"
start "$marked"
second=$started
box=$(wait_window '提示') || fail "no message box titled 提示 for a second instance"
press_enter "$box"
wait_exit "$second" || fail "second instance did not end"
[ "$exit_code" = 0 ] || fail "second instance exit code $exit_code"
kill -0 "$main_pid" || fail "first instance ended"

# 4. The close button ends the program with 0 on the main page.
log "close"
click $((483 + 23)) $((1 + 13))
wait_exit "$main_pid" || fail "close did not end the program"
[ "$exit_code" = 0 ] || fail "close: exit code $exit_code"

# 5. A publisher's own pictures need not be 8-bit RGBA: the same installer
# linked with a 24-bit background, paletted main picture and install button
# and grey close and minimise buttons shows the same main page, with grey
# buttons. The build's own link commands make it, with these pictures first
# on the resource compiler's path.
log "pictures without alpha"
own=$work/own
mkdir -p "$own/pictures"
colour_type() { od -An -tu1 -j25 -N1 "$1" | tr -d ' '; }
for pic in 154:2 155:3 164:3 156:0 163:0; do
  id=${pic%:*} in=$BUILD_DIR/res/png${pic%:*}.png out=$own/pictures/png${pic%:*}.png
  case ${pic#*:} in
    2) convert "$in" -alpha off "PNG24:$out" ;;
    3) convert "$in" -alpha off -dither None -colors 256 "PNG8:$out" ;;
    0) convert "$in" -alpha off -colorspace Gray -define png:color-type=0 -depth 8 "$out" ;;
  esac
  [ "$(colour_type "$out")" = "${pic#*:}" ] || fail "picture $id is not of PNG colour type ${pic#*:}"
done
commands=$(cd "$BUILD_DIR" && ninja -t commands online_setup.exe)
res_obj=CMakeFiles/online_setup.dir/res/online_setup.rc.res
rc=$(grep -m1 "windres.*online_setup\.rc" <<<"$commands") || fail "no resource compile command"
link=$(grep -E -- "-o online_setup\.exe( |\$)" <<<"$commands" | tail -1) || fail "no link command"
rc=${rc/ -I / -I $own/pictures -I }
rc=${rc//$res_obj/$own/own.res}
link=${link//$res_obj/$own/own.res}
link=${link/-o online_setup.exe/-o $own/setup-F12-A345-B678-P9-1001.exe}
link=${link/-Wl,--out-implib,libonline_setup.dll.a/}
(cd "$BUILD_DIR" && eval "$rc" && eval "$link") >"$work/own-build.log" 2>&1 ||
  { cat "$work/own-build.log" >&2; fail "could not link the installer with own pictures"; }
start "$own/setup-F12-A345-B678-P9-1001.exe"
own_pid=$started
win=$(wait_window '*在线安装') || fail "window with own pictures did not appear"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
win_x=$X win_y=$Y
[ "$WIDTH" = $W ] && [ "$HEIGHT" = $H ] || fail "own pictures: window is ${WIDTH}x$HEIGHT"
shot own_pictures
# 256 colours cannot hold every shade of the drawn main picture's gradients:
# about 110 half-size pixels differ by more than the usual fuzz.
compare_shot own_pictures page0 "437,0 529,30" 300
# The buttons' middles are grey; the keyed install button kept its shape
# (its corners show the background, not magenta).
pixel() { convert "$work/own_pictures.png" -format "%[fx:int(255*u.p{$1,$2}.r)],%[fx:int(255*u.p{$1,$2}.g)],%[fx:int(255*u.p{$1,$2}.b)]" info:; }
for xy in "$((483 + 23)) $((1 + 13))" "$((437 + 23)) $((1 + 13))"; do
  IFS=, read -r r g b <<<"$(pixel $xy)"
  [ "$r" = "$g" ] && [ "$g" = "$b" ] || fail "button at $xy is not grey: $r,$g,$b"
done
[ "$(pixel 207 290)" != "255,0,255" ] || fail "magenta shows at the install button's corner"
click $((483 + 23)) $((1 + 13))
wait_exit "$own_pid" || fail "close did not end the installer with own pictures"

# 6. "-path " starts the installation at once (the start statistics request
# arrives); the installing page shows while the update list is on its way
# (the server holds every request below /slow/).
log "direct install"
start "$marked" -path 'C:\Games\Hall\'
win=$(wait_window '*在线安装') || fail "window for -path did not appear"
eval "$(xdotool getwindowgeometry --shell "$win")"
win_x=$X win_y=$Y
for _ in $(seq 25); do grep -q 'isend=0' "$work/server.log" && break; sleep 0.2; done
grep -q 'isend=0' "$work/server.log" || fail "installation did not start"
shot page2
# The slideshow moves on every 5 s; only the page around it is compared.
compare_shot page2 page2 "0,31 529,255"
# The installing page's texts read as they should (OCR of the light text,
# enlarged and made black on white; spaces between characters dropped).
command -v tesseract >/dev/null || fail "tesseract is missing (scripts/install-deps.sh installs it)"
convert "$work/page2.png" -crop 510x70+10+292 +repage -colorspace Gray -resize 400% -threshold 50% \
  -negate "$work/page2_text.png"
text=$(tesseract "$work/page2_text.png" - -l chi_sim --psm 6 2>/dev/null | tr -d ' \f') ||
  fail "tesseract could not read the installing page"
for want in 正在读取配置文件 已下载 下载速度; do
  [[ $text == *"$want"* ]] || fail "installing page: '$want' not read in: $text"
done
echo "ok"
