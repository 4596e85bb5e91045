#!/usr/bin/env bash
# The installer from end to end against the reference nginx server, in a Wine
# prefix of its own:
#   1. a fresh installation: files, Agency.ini, uninstall data, machine
#      identifier, uninstall entry, shortcuts, both statistics requests, the
#      agency's main program and the start of the client;
#   2. the installed uninstaller removes all of it again;
#   3. a download stopped by closing the window resumes on the next run (206);
#   4. a package changed on the server between two runs is fetched whole;
#   5. an installer killed during the package download resumes from its last
#      checkpoint; a statistics endpoint that never answers and an agency
#      program answering 503 do not stop the installation.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/e2e-install"
demo_programs
demo_lock_port
trap demo_cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
equals() { [ "$1" = "$2" ] || { echo "     expected '$2', got '$1'"; return 1; }; }
absent() { [ ! -e "$1" ]; }
same_file() { cmp -s "$1" "$2"; }

demo_prefix_ready
demo_prefix_reset
DEMO_BULK_BYTES=3145728 demo_layout_product "first edition"
demo_build_package
demo_layout_site
demo_layout_installer
demo_nginx_start 0

HALL=$DEMO_INSTALL_UNIX
PACKAGE=$DEMO_WWW/packages/$DEMO_PACKAGE_NAME
PACKAGE_URL_PATH=/packages/$DEMO_PACKAGE_NAME
USER_PROGRAMS="$DEMO_USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
CACHE_DIR=$DEMO_USER_DIR/Temp/127_0_0_1_$DEMO_PORT
SALT='KUVRM7T41062@pd#!wel'

# Last package request of the access log: "status bytes range".
last_package_request() {
  demo_access_lines "$PACKAGE_URL_PATH" | tail -n1 |
    sed -E 's/.*" ([0-9]+) ([0-9]+) range="([^"]*)".*/\1 \2 \3/'
}
package_requests() { demo_access_lines "$PACKAGE_URL_PATH" | wc -l; }


# --- 1. fresh installation -------------------------------------------------------
echo "== fresh installation"
demo_run_installer_bg
demo_wait_installer 180
demo_wait_for "[ -f '$HALL/client.log' ]" 20 || true

check "client main.exe is the agency's program" same_file "$HALL/main.exe" "$DEMO_AGENCY_CLIENT_EXE"
check "uninstaller installed" same_file "$HALL/uninstall/uninst.exe" "$DEMO_PRODUCT/uninstall/uninst.exe"
check "data file installed intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"
check "Config files installed" same_file "$HALL/Config/readme.txt" "$DEMO_PRODUCT/Config/readme.txt"
check "package deleted after extraction" absent "$HALL/$DEMO_PACKAGE_NAME"
check "installed client started in the install folder" grep -qF 'started edition=agency cwd=C:\DemoHall' "$HALL/client.log"

ini=$HALL/Config/Agency.ini
check "Agency.ini FromID" equals "$(demo_ini_value "$ini" Config FromID)" 12
check "Agency.ini AgencyID" equals "$(demo_ini_value "$ini" Config AgencyID)" 345
check "Agency.ini StandaloneAgencyID" equals "$(demo_ini_value "$ini" Config StandaloneAgencyID)" 678
check "Agency.ini PageID" equals "$(demo_ini_value "$ini" Config PageID)" 9
check "Agency.ini PCID" equals "$(demo_ini_value "$ini" Config PCID)" 1001

ini=$HALL/uninstall/uninstall.ini
check "uninstall.ini setupdir" equals "$(demo_ini_value "$ini" config setupdir)" 'C:\DemoHall\'
check "uninstall.ini gamename" equals "$(demo_ini_value "$ini" config gamename)" "$DEMO_GAME_NAME"
check "uninstall.ini shortcutname" equals "$(demo_ini_value "$ini" config shortcutname)" "$DEMO_PRODUCT_NAME"
check "uninstall.ini ProductTitle" equals "$(demo_ini_value "$ini" config ProductTitle)" "$DEMO_PRODUCT_TITLE"

gs=$(demo_ini_value "$HALL/WindowsSys.ini" UserInfo gs)
vs=$(demo_ini_value "$HALL/WindowsSys.ini" UserInfo vs)
check "machine identifier is a GUID" grep -qE '^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$' <<<"$gs"
check "machine identifier check code" equals "$vs" "$(printf '%s%s' "$gs" "$SALT" | md5sum | cut -d' ' -f1)"
check "machine identifier in the registry" grep -qF "$gs" <<<"$(demo_reg_query 'HKCU\SOFTWARE\WindowsApp')"

entry=$(demo_uninstall_entry)
check "uninstall entry command" grep -qF '"C:\DemoHall\uninstall\uninst.exe" "/U:C:\DemoHall\uninstall\uninstall.ini"' <<<"$entry"
check "uninstall entry display name" grep -qF "$DEMO_GAME_NAME" <<<"$entry"

check "desktop shortcut" test -f "$DEMO_USER_DIR/Desktop/$DEMO_PRODUCT_NAME.lnk"
check "Start-menu shortcut" test -f "$USER_PROGRAMS/$DEMO_GAME_NAME/$DEMO_PRODUCT_NAME.lnk"
check "Start-menu uninstall shortcut" test -f "$USER_PROGRAMS/$DEMO_GAME_NAME/${DEMO_PRODUCT_NAME}卸载.lnk"

stats=$(demo_access_lines /Members/UserAPI.aspx)
check "start statistics request" equals "$(grep -c "isend=0&agencyid=345&mac=$gs " <<<"$stats")" 1
check "end statistics request" equals "$(grep -c "isend=1&agencyid=345&mac=$gs " <<<"$stats")" 1
check "start request before end request" equals "$(head -n1 <<<"$stats" | grep -c 'isend=0')" 1
check "package fetched once, whole" equals "$(last_package_request) x$(package_requests)" \
  "200 $(demo_size "$PACKAGE") - x1"
check "agency program fetched" test -n "$(demo_access_lines "/Image/Agency_$DEMO_AGENCY/main.exe")"

# --- 2. uninstall ----------------------------------------------------------------
echo "== uninstall"
demo_wine 'C:\DemoHall\uninstall\uninst.exe' '/U:C:\DemoHall\uninstall\uninstall.ini' /S >/dev/null 2>&1 || true
demo_wait_for "[ ! -d '$HALL' ]" 60 || true
check "install folder removed" absent "$HALL"
check "desktop shortcut removed" absent "$DEMO_USER_DIR/Desktop/$DEMO_PRODUCT_NAME.lnk"
check "Start-menu group removed" absent "$USER_PROGRAMS/$DEMO_GAME_NAME"
entry_gone() { [ -z "$(demo_uninstall_entry)" ]; }
check "uninstall entry removed" entry_gone
check "machine identifier kept" grep -qF "$gs" <<<"$(demo_reg_query 'HKCU\SOFTWARE\WindowsApp')"

# --- 3. stopped during the download, resumed ---------------------------------------
echo "== stopped download resumes"
demo_nginx_rate 200k
demo_install_and_stop
partial=$(demo_size "$HALL/$DEMO_PACKAGE_NAME")
full=$(demo_size "$PACKAGE")
check "stopped part-way ($partial of $full bytes)" test "$partial" -gt 0 -a "$partial" -lt "$full"
check "resume record stored" grep -qi "dstfile_size=$partial" "$CACHE_DIR"/cachefile_$DEMO_AGENCY.cfg
demo_nginx_rate 0
# Without an agency edition on the server (a 404 page comes back instead),
# the packaged main.exe stays.
AGENCY_EXE=$DEMO_WWW/Image/Agency_$DEMO_AGENCY/main.exe
mv "$AGENCY_EXE" "$DEMO_DIR/agency-main.exe.away"
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
demo_wait_installer 180
mv "$DEMO_DIR/agency-main.exe.away" "$AGENCY_EXE"
check "no agency edition: packaged main.exe kept" same_file "$HALL/main.exe" "$DEMO_CLIENT_EXE"
check "second run asks for the rest only" equals "$(last_package_request) x$(package_requests)" \
  "206 $((full - partial)) bytes=$partial- x1"
check "resumed package installs intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"
demo_wait_for "[ -f '$HALL/client.log' ]" 20 || true

# --- 4. package changed between two runs ---------------------------------------------
echo "== changed package is fetched whole"
demo_nginx_rate 200k
demo_install_and_stop
partial=$(demo_size "$HALL/$DEMO_PACKAGE_NAME")
check "stopped part-way again" test "$partial" -gt 0
DEMO_BULK_BYTES=3300000 demo_layout_product "second edition"
demo_build_package
full=$(demo_size "$PACKAGE")
demo_nginx_rate 0
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
demo_wait_installer 180
check "changed package fetched whole" equals "$(last_package_request) x$(package_requests)" \
  "200 $full bytes=$partial- x1"
check "new edition installed" grep -q 'second edition' "$HALL/Config/readme.txt"
check "new data installed intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"
check "running client was closed before extraction" grep -q '^closed' "$HALL/client.log"

# --- 5. killed during the download; silent statistics; agency program 503 ---------
echo "== killed installer resumes from its last checkpoint"
demo_nginx_rate 200k
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
# A checkpoint is stored every 2 s at this rate; kill after a few of them.
demo_wait_for "[ \$(demo_size '$HALL/$DEMO_PACKAGE_NAME') -gt 1000000 ]" 120 ||
  demo_fail "the package download did not start"
demo_kill_installer
recorded=$(demo_ini_value "$CACHE_DIR/cachefile_$DEMO_AGENCY.cfg" "$(printf '%s' "$DEMO_BASE_URL$PACKAGE_URL_PATH" | tr 'A-Z' 'a-z')" dstfile_size)
check "killed run left a checkpoint ($recorded bytes)" test "${recorded:-0}" -gt 0
# The statistics endpoint now accepts and never answers; the agency program 503.
trap 'demo_blackhole_stop; demo_cleanup' EXIT
demo_blackhole_start
demo_nginx_patch "s|return 200 \"ok\";|proxy_pass http://127.0.0.1:$DEMO_BLACKHOLE_PORT;|" \
  's|location / {|location /Image/ { return 503; }\n    location / {|'
: > "$DEMO_STATE/access.log"
started=$(date +%s)
demo_run_installer_bg
demo_wait_installer 180
took=$(( $(date +%s) - started ))
demo_blackhole_stop
check "rerun asks from the checkpoint" equals "$(last_package_request | cut -d' ' -f1,3)" "206 bytes=$recorded-"
check "resumed after a kill installs intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"
check "agency program 503: packaged main.exe kept" same_file "$HALL/main.exe" "$DEMO_CLIENT_EXE"
check "agency program tried a few times" test "$(demo_access_lines "/Image/Agency_$DEMO_AGENCY/main.exe" | grep -c '" 503 ')" -ge 2
check "silent statistics endpoint: installation completed ($took s)" test -f "$HALL/uninstall/uninstall.ini"
check "silent statistics endpoint: bounded time" test "$took" -lt 150
demo_nginx_patch

[ "$failures" = 0 ] || demo_fail "$failures check(s) failed"
echo "e2e_install: all checks passed"
