#!/usr/bin/env bash
# The uninstaller on an installation laid out by hand (no server needed):
# it closes the running client, removes the shortcuts, the Start-menu group,
# the uninstall entry and the install folder (read-only files and itself
# included), and leaves everything else alone: the machine identifier, other
# programs' shortcuts and entries, folders next to the install folder. It
# refuses data files that would aim it at the wrong folder. With /S it returns
# only when it is done, its exit code telling whether anything stayed.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/e2e-uninstall"
DEMO_CLIENT_EXE=$BUILD/tools/demo_client/standard/main.exe
DEMO_CLOSE_EXE=$BUILD/tools/demo_client/close_window.exe
DEMO_UNINST_EXE=$(demo_find_program uninst.exe uninstaller) || demo_fail "uninst.exe was not built"
trap demo_wineserver_stop EXIT

demo_prefix_ready
demo_prefix_reset
C=$DEMO_PREFIX/drive_c
USER_PROGRAMS="$DEMO_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
COMMON_PROGRAMS="$C/ProgramData/Microsoft/Windows/Start Menu/Programs"
USER_DESKTOP=$DEMO_USER_DIR/Desktop
COMMON_DESKTOP=$C/users/Public/Desktop
rm -rf "$C/FakeHall" "$C/FakeHall2" "$C/OldHall" "$C/Bad" "$C/Odd" "$C/Linked" "$C/Outside" "$C/OutsideEmpty" \
       "$USER_PROGRAMS/Other Game" "$USER_DESKTOP/other.lnk"
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
absent() { [ ! -e "$1" ]; }

# layout NAME SETUPDIR GAMENAME: an installed copy in C:\NAME with its data file.
layout() {
  local dir=$C/$1
  mkdir -p "$dir/uninstall" "$dir/Config" "$dir/data/sub"
  cp "$DEMO_CLIENT_EXE" "$dir/main.exe"
  cp "$DEMO_UNINST_EXE" "$dir/uninstall/uninst.exe"
  printf 'x' > "$dir/data/sub/x.bin"
  printf 'read me' > "$dir/Config/readme.txt"
  printf '[config]\r\nsetupdir=%s\r\ngamename=%s\r\nshortcutname=%s\r\nProductTitle=%s\r\n' \
    "$2" "$3" "$DEMO_PRODUCT_NAME" "$DEMO_PRODUCT_TITLE" | utf8_to_gbk > "$dir/uninstall/uninstall.ini"
}
run_uninstaller() {  # run_uninstaller NAME -> the uninstaller's exit code
  local rc=0
  demo_wine "C:\\$1\\uninstall\\uninst.exe" "/U:C:\\$1\\uninstall\\uninstall.ini" /S >/dev/null 2>&1 || rc=$?
  return $rc
}
# The Start-menu shortcut names the uninstaller without arguments (the
# installer sets none) and starts it in its own folder; /S only keeps the
# test free of message boxes.
run_from_start_menu() {  # run_from_start_menu NAME
  local rc=0
  (cd "$C/$1/uninstall" && demo_wine "C:\\$1\\uninstall\\uninst.exe" /S) >/dev/null 2>&1 || rc=$?
  return $rc
}

# --- a complete removal -------------------------------------------------------
layout FakeHall 'C:\FakeHall\' "$DEMO_GAME_NAME"
chmod a-w "$C/FakeHall/Config/readme.txt"   # Wine shows it as read-only
mkdir -p "$C/FakeHall2" "$USER_PROGRAMS/$DEMO_GAME_NAME" "$COMMON_PROGRAMS/$DEMO_GAME_NAME" \
         "$USER_PROGRAMS/Other Game" "$USER_DESKTOP" "$COMMON_DESKTOP"
printf 'keep' > "$C/FakeHall2/keep.txt"
for f in "$USER_DESKTOP/$DEMO_PRODUCT_NAME.lnk" "$COMMON_DESKTOP/$DEMO_PRODUCT_NAME.lnk" \
         "$USER_PROGRAMS/$DEMO_GAME_NAME/$DEMO_PRODUCT_NAME.lnk" \
         "$USER_PROGRAMS/$DEMO_GAME_NAME/${DEMO_PRODUCT_NAME}卸载.lnk" \
         "$COMMON_PROGRAMS/$DEMO_GAME_NAME/$DEMO_PRODUCT_NAME.lnk" \
         "$USER_DESKTOP/other.lnk" "$USER_PROGRAMS/Other Game/other.lnk"; do
  printf 'lnk' > "$f"
done
demo_reg_import \
  "[$DEMO_UNINSTALL_KEY\\$DEMO_GAME_NAME]" \
  '"UninstallString"="\"C:\\FakeHall\\uninstall\\uninst.exe\" \"/U:C:\\FakeHall\\uninstall\\uninstall.ini\""' \
  "[$DEMO_UNINSTALL_KEY\\OtherGame]" '"DisplayName"="Other"' \
  '[HKEY_CURRENT_USER\SOFTWARE\WindowsApp]' '"mc"="11111111-2222-3333-4444-555555555555"'

# The client runs; the uninstaller must close it first.
(demo_wine 'C:\FakeHall\main.exe' >/dev/null 2>&1 &)
demo_wait_for "[ -f '$C/FakeHall/client.log' ]" 30 || demo_fail "the demo client did not start"
sleep 1

check "shortcut's command line: everything removed, exit code 0" run_from_start_menu FakeHall
# No waiting: /S returns only when the work is done.
check "install folder removed (read-only file and uninst.exe included)" absent "$C/FakeHall"
client_gone() { ! demo_close_window "$DEMO_PRODUCT_TITLE"; }
check "client window closed" client_gone
check "user desktop shortcut removed" absent "$USER_DESKTOP/$DEMO_PRODUCT_NAME.lnk"
check "common desktop shortcut removed" absent "$COMMON_DESKTOP/$DEMO_PRODUCT_NAME.lnk"
check "user Start-menu group removed" absent "$USER_PROGRAMS/$DEMO_GAME_NAME"
check "common Start-menu group removed" absent "$COMMON_PROGRAMS/$DEMO_GAME_NAME"
check "folder next to the install folder kept" test -f "$C/FakeHall2/keep.txt"
check "other desktop shortcut kept" test -f "$USER_DESKTOP/other.lnk"
check "other Start-menu group kept" test -f "$USER_PROGRAMS/Other Game/other.lnk"
entries=$(demo_reg_export "$DEMO_UNINSTALL_KEY")
entry_gone() { ! grep -qF "Uninstall\\$DEMO_GAME_NAME]" <<<"$entries"; }
check "uninstall entry removed" entry_gone
check "other uninstall entry kept" grep -qF 'Uninstall\OtherGame]' <<<"$entries"
check "machine identifier kept" grep -qF '11111111-2222-3333-4444-555555555555' \
  <<<"$(demo_reg_export 'HKEY_CURRENT_USER\SOFTWARE\WindowsApp')"

# --- refusals -------------------------------------------------------------------
# No data file beside the uninstaller: exit code 1, nothing touched.
layout Bad 'C:\Bad\' "$DEMO_GAME_NAME"
rm "$C/Bad/uninstall/uninstall.ini"
rc=0; run_from_start_menu Bad || rc=$?
check "missing data file refused with exit code 1" test "$rc" = 1
check "installation without data file left in place" test -f "$C/Bad/main.exe"
rm -rf "$C/Bad"
# A data file whose setupdir names the drive root: nothing is touched.
layout Bad 'C:\' "$DEMO_GAME_NAME"
rc=0; run_uninstaller Bad || rc=$?
check "drive root refused with exit code 1" test "$rc" = 1
check "refused installation left in place" test -f "$C/Bad/main.exe"
check "other folders on the drive untouched" test -f "$C/FakeHall2/keep.txt"
# setupdir naming another folder than the one holding the data file.
layout Odd 'C:\FakeHall2\' "$DEMO_GAME_NAME"
rc=0; run_uninstaller Odd || rc=$?
check "mismatching setupdir refused with exit code 1" test "$rc" = 1
check "the folder it named is untouched" test -f "$C/FakeHall2/keep.txt"
rm -rf "$C/Odd"

# A game name that would escape the Start-menu folder: the shortcuts of that
# name are skipped, the rest goes, and the exit code says something stayed.
layout Odd 'C:\Odd\' '..'
printf 'lnk' > "$USER_DESKTOP/$DEMO_PRODUCT_NAME.lnk"
rc=0; run_uninstaller Odd || rc=$?
check "unsafe game name: exit code 2 (something stayed)" test "$rc" = 2
check "unsafe game name: install folder still removed" absent "$C/Odd"
check "unsafe game name: Start-menu folder untouched" test -f "$USER_PROGRAMS/Other Game/other.lnk"
check "unsafe game name: desktop shortcut removed" absent "$USER_DESKTOP/$DEMO_PRODUCT_NAME.lnk"

# Links inside the install folder lead outside it: never followed. (Wine
# cannot remove a host link alone, so here the links and their folders stay.)
layout Linked 'C:\Linked\' "$DEMO_GAME_NAME"
mkdir -p "$C/Outside" "$C/OutsideEmpty"
printf 'keep' > "$C/Outside/keep.txt"
ln -s "$C/Outside" "$C/Linked/data/link"
ln -s "$C/OutsideEmpty" "$C/Linked/empty"
rc=0; run_uninstaller Linked || rc=$?
check "links inside: the folder they lead to keeps its files" test -f "$C/Outside/keep.txt"
check "links inside: an empty folder they lead to stays" test -d "$C/OutsideEmpty"
check "links inside: the rest of the install folder removed" absent "$C/Linked/main.exe"
rm -rf "$C/Linked" "$C/Outside" "$C/OutsideEmpty"

# An older copy of the same game: the entry of the newer copy stays.
layout OldHall 'C:\OldHall\' "$DEMO_GAME_NAME"
demo_reg_import "[$DEMO_UNINSTALL_KEY\\$DEMO_GAME_NAME]" \
  '"UninstallString"="\"D:\\NewHall\\uninstall\\uninst.exe\" \"/U:D:\\NewHall\\uninstall\\uninstall.ini\""'
check "older copy: exit code 0" run_from_start_menu OldHall
check "older copy removed" absent "$C/OldHall"
check "newer copy's uninstall entry kept" grep -qF 'NewHall' <<<"$(demo_reg_export "$DEMO_UNINSTALL_KEY\\$DEMO_GAME_NAME")"

rm -rf "$C/Bad" "$C/FakeHall2" "$USER_PROGRAMS/Other Game" "$USER_DESKTOP/other.lnk"
[ "$failures" = 0 ] || demo_fail "$failures check(s) failed"
echo "e2e_uninstall: all checks passed"
