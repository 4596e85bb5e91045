#!/usr/bin/env bash
# A keyed installer under Wine against nginx, with a proxy between them that
# rewrites answers (tamper_proxy.py): every signed file with one byte
# changed, another file in a file's place, another file's signature, a site
# signed with another key, a missing signature and an older signed release
# are refused with a message naming the file, and leave nothing installed
# and nothing started; a package longer than its signed size installs cut
# at that size, and a package block changed once in transit is fetched again
# by range and installs intact. An unsigned site is refused by the keyed
# installer and installed by an unkeyed one. An installer killed twice while
# the package arrives and installs resumes and installs intact, without
# fetching the package again.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/e2e-tamper"
demo_programs
demo_lock_port  # the lock every end-to-end test of the demo port takes
NGINX_PORT=${E2E_TAMPER_PORT:-18096}
PROXY_PORT=${E2E_TAMPER_PROXY_PORT:-18097}
exec 6>"/tmp/online-setup-$NGINX_PORT.lock"
flock -w 900 6 || demo_fail "port $NGINX_PORT stays locked"
DEMO_PORT=$NGINX_PORT
DEMO_BASE_URL=http://127.0.0.1:$NGINX_PORT
PROXY=http://127.0.0.1:$PROXY_PORT  # the installers' servers
W=$DEMO_DIR
HALL=$DEMO_INSTALL_UNIX
PACKAGE=/packages/$DEMO_PACKAGE_NAME
AGENCY_TEXT=/uploads/txt/Agency/Agency_$DEMO_AGENCY.txt
AGENCY_EXE=/Image/Agency_$DEMO_AGENCY/main.exe
BLOCK=4194304  # the block size of publish's package digests
started=$SECONDS

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
equals() { [ "$1" = "$2" ] || { echo "     expected '$2', got '$1'"; return 1; }; }
quiet() {  # quiet LOG COMMAND...: the command's output only when it fails
  "${@:2}" >"$W/$1.log" 2>&1 || { tail -n 30 "$W/$1.log" >&2; demo_fail "$1 failed"; }
}
proxy_stop() { [ -z "${PROXY_PID:-}" ] || kill "$PROXY_PID" 2>/dev/null || true; }
trap 'proxy_stop; demo_cleanup' EXIT

# --- two releases, a site under another key, an unsigned site -------------------
echo "== sites and installers"
quiet builder cmake -S "$ROOT/tools/package_builder/native" -B "$W/builder" -DCMAKE_CXX_COMPILER=g++
quiet builder cmake --build "$W/builder"
BUILDER=$W/builder/package_builder
rm -rf "$W/keys" "$W/other-keys" "$DEMO_WWW" "$W"/content-*
quiet keygen "$BUILDER" keygen "$W/keys"
quiet keygen "$BUILDER" keygen "$W/other-keys"
publish() {  # publish CONTENT SITE RELEASE (--key PRIVATE.pem | --unsigned)
  cat > "$W/site.ini" <<INI
[site]
download_server=$PROXY
release=$3

[setup]
gamename=$DEMO_GAME_NAME
exefilename=main.exe
ProductTitle=$DEMO_PRODUCT_TITLE
size=50
urlAgreement=$PROXY/Treaty.aspx
uninstname=uninst.exe

[agency $DEMO_AGENCY]
ProductName=$DEMO_PRODUCT_NAME
DomainName=$PROXY
program=$DEMO_AGENCY_CLIENT_EXE
INI
  quiet publish "$BUILDER" publish "$1" "$2" --settings "$W/site.ini" "${@:4}"
}
# Release 2 is the site root; the others sit below it, the proxy's "site" rule
# serves one of them instead. Release 2's package spans three blocks.
DEMO_PRODUCT=$W/content-1 DEMO_BULK_BYTES=5000000 demo_layout_product "release 1"
DEMO_PRODUCT=$W/content-2 DEMO_BULK_BYTES=$((2 * BLOCK + 600000)) demo_layout_product "release 2"
publish "$W/content-2" "$DEMO_WWW" 2 --key "$W/keys/publisher-private.pem"
publish "$W/content-1" "$DEMO_WWW/r1" 1 --key "$W/keys/publisher-private.pem"
publish "$W/content-2" "$DEMO_WWW/other-key" 2 --key "$W/other-keys/publisher-private.pem"
publish "$W/content-2" "$DEMO_WWW/unsigned" 2 --unsigned
chmod -R a+rX "$DEMO_WWW"
[ "$(stat -c %s "$DEMO_WWW$PACKAGE")" -gt $((2 * BLOCK)) ] || demo_fail "the package spans less than three blocks"

# Both installers come from one build folder: the second build only
# recompiles what the key changes.
build_installer() {  # build_installer NAME [PUBLIC.pem]: one installer for the proxy's address
  (cd "$ROOT" && quiet "$1" env TARGET_ARCH="$("$ROOT/scripts/wine-arch.sh")" BUILD_DIR="$W/build-installer" \
    BUILD_TARGETS=online_setup bash scripts/build.sh -DPUBLISHER_KEY_FILE="${2:-}" \
    -DDOWNLOAD_SERVER_URL="$PROXY" -DAGENCY_TEXT_SERVER_URL="$PROXY")
  cp "$W/build-installer/online_setup.exe" "$W/$1.exe"
}
build_installer keyed "$W/keys/publisher-public.pem"
build_installer unkeyed
KEYED=$W/keyed.exe
UNKEYED=$W/unkeyed.exe
echo "     ($((SECONDS - started)) s)"

demo_prefix_ready
demo_nginx_start 0
RULES=$W/rules
: > "$RULES"
python3 "$ROOT/tests/scripts/tamper_proxy.py" "$PROXY_PORT" "$NGINX_PORT" "$RULES" "$W/proxy.log" &
PROXY_PID=$!
demo_wait_for "curl -fs -o /dev/null '$PROXY/uploads/online_setup.txt'" 10 || demo_fail "the proxy does not answer"

# --- running the installer ---------------------------------------------------------
rules() { printf '%s\n' "$@" > "$RULES"; }
reset_machine() {
  demo_prefix_reset
  rm -rf "$DEMO_USER_DIR/Temp/127_0_0_1_$PROXY_PORT"
}
# run_installer EXE: one run with the side configuration (C:\DemoHall\ at
# once); each message box it shows is answered. Wine traces their texts.
run_installer() {
  DEMO_SETUP_EXE=$1
  demo_layout_installer
  : > "$W/proxy.log"
  WINEDEBUG=-all,+msgbox demo_run_installer_bg
  local answered=0 waited=0
  while kill -0 "$DEMO_INSTALLER_PID" 2>/dev/null; do
    [ "$waited" -lt 1800 ] || { kill "$DEMO_INSTALLER_PID"; demo_fail "the installer did not end within 180 s"; }
    if [ "$(grep -ac MSGBOX_OnInit "$DEMO_DIR/installer.out")" -gt "$answered" ] &&
       { demo_close_window 错误 || demo_close_window 退出; }; then
      answered=$((answered + 1))
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wait "$DEMO_INSTALLER_PID" 2>/dev/null || true
}
# Wine writes a box's text with \xxxx (UTF-16, hex) for each character beyond ASCII.
wine_escaped() { python3 -c 'import sys; print("".join(c if ord(c) < 128 else "\\%04x" % ord(c) for c in sys.argv[1]))' "$1"; }
said() {  # said TEXT: a message box of the last run showed TEXT
  grep -aqF "$(wine_escaped "$1")" "$DEMO_DIR/installer.out" ||
    { echo "     boxes: $(grep -a MSGBOX_OnInit "$DEMO_DIR/installer.out" | sed 's/.*MSGBOX_OnInit //' | tr '\n' ' ')"; return 1; }
}
# Files in the install folder but the package and the machine identifier's
# copy (the client's log among them: a started client writes one).
leftovers() { (cd "$HALL" 2>/dev/null && find . -type f ! -name "$DEMO_PACKAGE_NAME" ! -name WindowsSys.ini) || true; }
# The package is extracted from its verified blocks as they arrive, so a
# refused package may leave files of its good blocks: only ever signed bytes.
nothing_unsigned_installed() {
  local f
  [ ! -e "$DEMO_USER_DIR/Desktop/$DEMO_PRODUCT_NAME.lnk" ] || { echo "     shortcut made"; return 1; }
  while read -r f; do
    [ -n "$f" ] || continue
    cmp -s "$W/content-2/$f" "$HALL/$f" || { echo "     left: $f"; return 1; }
  done <<<"$(leftovers)"
}
installed_as() {  # installed_as CONTENT: done, and every file is CONTENT's (main.exe the agency's)
  local f want
  [ -f "$HALL/uninstall/uninstall.ini" ] && [ ! -e "$HALL/$DEMO_PACKAGE_NAME" ] || { echo "     not completed"; return 1; }
  while read -r f; do
    want=$1/$f
    [ "$f" != ./main.exe ] || want=$DEMO_AGENCY_CLIENT_EXE
    cmp -s "$want" "$HALL/$f" || { echo "     differs: $f"; return 1; }
  done < <(cd "$1" && find . -type f)
}

# refused NAME INSTALLER TEXT RULE...: a run from a clean machine shows TEXT
# and leaves nothing behind.
refused() {
  reset_machine
  rules "${@:4}"
  run_installer "$2"
  check "$1: refused, naming it" said "$3"
  check "$1: nothing unsigned installed, nothing started" nothing_unsigned_installed
  check "$1: nothing started" test ! -e "$HALL/client.log"
}

# --- 1-5, 9: refused from a clean machine ------------------------------------------
FAILED=文件校验失败:$PROXY
PACKAGE_FAILED=安装包校验失败:$PROXY$PACKAGE
while IFS='|' read -r -u 9 name text rule_list; do
  IFS=';' read -r -a rule_lines <<<"$rule_list"
  refused "$name" "$KEYED" "$text" "${rule_lines[@]}"
done 9<<TABLE
setup description, a byte changed|$FAILED/uploads/online_setup.txt|flip /uploads/online_setup.txt 7
agency text, a byte changed|$FAILED$AGENCY_TEXT|flip $AGENCY_TEXT 7
update list, a byte changed|$FAILED/update/list.ini|flip /update/list.ini 7
manifest, a byte changed|$FAILED/update/list.ini.manifest|flip /update/list.ini.manifest 40
package, a byte of its middle block changed|$PACKAGE_FAILED|flip $PACKAGE $((BLOCK + 12345))
agency main.exe, a byte changed|$FAILED$AGENCY_EXE|flip $AGENCY_EXE 1000
release 1's package for release 2's|$PACKAGE_FAILED|swap $PACKAGE /r1$PACKAGE
the agency text's signature for the manifest's|$FAILED/update/list.ini.manifest|swap /update/list.ini.manifest.sig $AGENCY_TEXT.sig
release 1's manifest and signature over release 2|$PACKAGE_FAILED|swap /update/list.ini.manifest /r1/update/list.ini.manifest;swap /update/list.ini.manifest.sig /r1/update/list.ini.manifest.sig
a site signed with another key|$FAILED/uploads/online_setup.txt|site other-key
the manifest's signature missing|$FAILED/update/list.ini.manifest|drop /update/list.ini.manifest.sig
the agency text's signature missing|$FAILED$AGENCY_TEXT|drop $AGENCY_TEXT.sig
keyed installer, unsigned site|$FAILED/uploads/online_setup.txt|site unsigned
TABLE

# --- 7. a package longer than its signed size: cut at that size ------------------------
echo "== package with bytes appended"
reset_machine
rules "append $PACKAGE 70000"
run_installer "$KEYED"
check "appended bytes: installed as signed" installed_as "$W/content-2"
check "appended bytes: the package fetched once, longer" equals "$(grep "^$PACKAGE " "$W/proxy.log")" \
  "$PACKAGE range=- 200 $(($(stat -c %s "$DEMO_WWW$PACKAGE") + 70000))"

# --- 8. a block changed once in transit: fetched again by range -----------------------
echo "== package block changed once"
reset_machine
rules "flip $PACKAGE $((BLOCK + 12345)) once"
run_installer "$KEYED"
check "changed block: installed intact" installed_as "$W/content-2"
check "changed block: fetched again from its start" grep -q "^$PACKAGE range=bytes=$BLOCK- 206 " "$W/proxy.log"

# --- 9. an unkeyed installer takes the unsigned site -----------------------------------
echo "== unkeyed installer, unsigned site"
reset_machine
rules "site unsigned"
run_installer "$UNKEYED"
check "unkeyed: installed" installed_as "$W/content-2"
check "unkeyed: asked for no signature" test -z "$(grep -E '\.(sig|manifest) ' "$W/proxy.log" || true)"

# --- 10. killed while the package arrives and installs: resumed, never fetched again ---
echo "== killed during the overlapped download and extraction, twice"
reset_machine
# A checkpoint every 2 s (1 MB here); a rerun resumes from the last whole
# verified block it vouches for.
rules "slow $PACKAGE 500000"
DEMO_SETUP_EXE=$KEYED
demo_layout_installer
: > "$W/proxy.log"
for at in $((BLOCK + 1500000)) $((2 * BLOCK + 1500000)); do  # in the second block, then the third
  demo_run_installer_bg
  demo_wait_for "[ \$(demo_size '$HALL/$DEMO_PACKAGE_NAME') -gt $at ]" 60 || demo_fail "the package did not arrive"
  demo_kill_installer
done
check "killed: files of verified blocks were written meanwhile" test -s "$HALL/Config/readme.txt"
cp "$W/proxy.log" "$W/killed.log"
rules ""
run_installer "$KEYED"
cat "$W/killed.log" >> "$W/proxy.log"
check "killed twice: installed intact" installed_as "$W/content-2"
check "killed twice: the package asked from 0 only once" equals "$(grep -c "^$PACKAGE range=- " "$W/proxy.log")" 1
check "killed twice: resumed by range" test "$(grep -c "^$PACKAGE range=bytes=" "$W/proxy.log")" -ge 2
demo_wineserver_stop
rm -f "$HALL/client.log"

# --- 6. rollback: release 2 installed, release 1 refused --------------------------------
echo "== rollback to an older signed release"
reset_machine
rules ""
run_installer "$KEYED"
check "release 2 installed" installed_as "$W/content-2"
# As regedit exports it ("reg query" prints no QWORD under Wine).
check "release 2 recorded" grep -qF '"Release"=hex(b):02,00,00,00,00,00,00,00' \
  <<<"$(demo_reg_export 'HKEY_CURRENT_USER\SOFTWARE\WindowsApp\Releases')"
demo_wineserver_stop  # ends the client it started
rm -f "$HALL/client.log"
rules "site r1"
run_installer "$KEYED"
check "release 1: refused, naming it" said "更新列表的版本(1)低于本机已安装的版本(2), 已拒绝安装:$PROXY/update/list.ini"
check "release 1: release 2 stays installed" installed_as "$W/content-2"
check "release 1: nothing started" test ! -e "$HALL/client.log"

[ "$failures" = 0 ] || demo_fail "$failures check(s) failed"
echo "e2e_tamper: all checks passed ($((SECONDS - started)) s)"
