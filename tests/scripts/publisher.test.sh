#!/usr/bin/env bash
# A publisher's whole job, done the way docs/publishers.md says, on a product
# of its own (name, brand, port, agency numbers, Chinese folder names):
# native package builder, a publisher key, the site published and signed in
# one command, nginx with TLS, an installer built for those servers, that
# brand and that key, signed, renamed for an agency, installed over HTTPS
# under Wine with "-path", then removed with the command line of the
# Start-menu uninstall shortcut as the prefix holds it.
# The installer is built for the architecture this machine's Wine runs
# (scripts/wine-arch.sh); the docs' command builds the shipped i686 one.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/publisher"
W=$DEMO_DIR
PORT=${PUBLISHER_PORT:-18095}
TLS_PORT=${PUBLISHER_TLS_PORT:-18495}
BASE=https://localhost:$TLS_PORT
# Serialized with the other end-to-end tests (the shared port lock) and with
# other runs of this one (its own ports).
demo_lock_port
exec 6>"/tmp/online-setup-$TLS_PORT.lock"
flock -w 900 6 || demo_fail "port $TLS_PORT stays locked"
# This product's names: ProductName 星辰棋牌 makes the game name 星辰棋牌游戏
# and the product title 星辰棋牌游戏大厅.
DEMO_PRODUCT_NAME=星辰棋牌
DEMO_GAME_NAME=星辰棋牌游戏
TITLE=星辰棋牌游戏大厅
AGENCY=987
DEMO_INSTALLER_NAME=setup-F21-A654-B${AGENCY}-P3-2002.exe
DEMO_INSTALL_UNIX=$DEMO_PREFIX/drive_c/StarHall
DEMO_CLIENT_EXE=$BUILD/tools/demo_client/standard/main.exe
DEMO_CLOSE_EXE=$BUILD/tools/demo_client/close_window.exe
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
quiet() {  # quiet LOG COMMAND...: the command's output only when it fails
  "${@:2}" >"$W/$1.log" 2>&1 || { tail -n 30 "$W/$1.log" >&2; demo_fail "$1 failed"; }
}
cleanup() {
  [ -z "${CA_THUMB:-}" ] || demo_reg_import "[-$ROOT_STORE\\$CA_THUMB]"
  demo_cleanup
}
trap cleanup EXIT
cd "$W"
rm -rf product build-builder tls www nginx run brand.ini publisher-*.pem key-password.txt keys site.ini treaty.html

# --- "The game package": lay out the product, build and list it natively -----------
started=$SECONDS
step() { echo "== $* ($((SECONDS - started)) s)"; }
step "package (native builder)"
mkdir -p product/uninstall "product/Config/游戏" "product/数据"
cp "$DEMO_CLIENT_EXE" product/main.exe
printf '[client]\r\ntitle=%s\r\n' "$TITLE" | utf8_to_gbk > product/Config/client.ini
printf '说明\r\n' | utf8_to_gbk > "product/Config/游戏/说明.txt"
head -c 4000000 /dev/urandom > "product/数据/资源.bin"
quiet build-builder cmake -S "$ROOT/tools/package_builder/native" -B build-builder -DCMAKE_CXX_COMPILER=g++
quiet build-builder cmake --build build-builder
# --- "A signed site in one command": the key first, the installer is keyed with it --
quiet keygen build-builder/package_builder keygen keys
check "keygen keeps the private key to its owner" test "$(stat -c %a keys/publisher-private.pem)" = 600

# --- "Building an installer for your servers", with "Your brand" ------------------
step "installer (brand, servers)"
cp "$ROOT/res/art/brand.ini" brand.ini
sed -i -e 's/^title = .*/title = 星辰棋牌 · 在线安装/' -e 's/^product_name = .*/product_name = 星辰棋牌/' \
  -e 's/^tagline = .*/tagline = 星光下的牌局/' -e 's/^red = .*/red = #1c2c6c/' brand.ini
ARCH=$("$ROOT/scripts/wine-arch.sh")
(cd "$ROOT" && quiet build-prod env TARGET_ARCH="$ARCH" BUILD_DIR="$W/build-prod" \
  BUILD_TARGETS="online_setup uninstaller" bash scripts/build.sh \
  -DDOWNLOAD_SERVER_URL="$BASE" -DAGENCY_TEXT_SERVER_URL="$BASE" -DBRAND_FILE="$W/brand.ini" \
  -DPUBLISHER_KEY_FILE="$W/keys/publisher-public.pem")
cp build-prod/tools/uninstaller/uninst.exe product/uninstall/uninst.exe
servers=$(strings -el build-prod/online_setup.exe | grep -A1 -xE 'DownloadServer|AgencyTextServer' | grep -c -xF "$BASE")
check "version resource names both servers" test "$servers" = 2
key=$(sed -n 's/^key: //p' keygen.log)
check "version resource carries the publisher key" test "$(strings -el build-prod/online_setup.exe | grep -A1 -x PublisherKey | tail -n 1)" = "$key"

# --- "The site on the download server", published and signed ------------------------
printf '<html><body>agreement</body></html>\n' > treaty.html
cat > site.ini <<INI
[site]
download_server=$BASE
release=1
agreement=treaty.html

[setup]
gamename=$DEMO_GAME_NAME
exefilename=main.exe
ProductTitle=$TITLE
size=50
urlAgreement=$BASE/Treaty.aspx
uninstname=uninst.exe
Publisher=星辰发行
Contact=星辰客服

[agency $AGENCY]
ProductName=$DEMO_PRODUCT_NAME
DomainName=$BASE
INI
quiet publish build-builder/package_builder publish product www --settings site.ini \
  --key keys/publisher-private.pem
check "no warning for a complete product" test -z "$(grep -i warning publish.log)"
check "list reads the Chinese names in UTF-8" grep -q $'^product\\\\数据\\\\资源.bin\t' \
  <(build-builder/package_builder list www/packages/hall.zip)
check "site signed: setup description, agency text, manifest" test -s www/uploads/online_setup.txt.sig \
  -a -s "www/uploads/txt/Agency/Agency_$AGENCY.txt.sig" -a -s www/update/list.ini.manifest.sig

# --- "Signing" and "Naming the installer for an agency" ----------------------------
step "signing"
printf 'throw-away\n' > key-password.txt
openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Star Hall Test Publisher" \
  -passout file:key-password.txt -keyout publisher-key.pem -out publisher-cert.pem 2>/dev/null
quiet sign bash "$ROOT/scripts/sign.sh" -c publisher-cert.pem -k publisher-key.pem -p key-password.txt \
  -n 'Star Hall Online Setup' -i https://www.example.com build-prod/online_setup.exe
mkdir -p run
cp build-prod/online_setup.exe "run/$DEMO_INSTALLER_NAME"
signed() { osslsigncode verify -in "$1" -CAfile publisher-cert.pem >/dev/null 2>&1; }
check "the agency copy carries the signature" signed "run/$DEMO_INSTALLER_NAME"

# --- "The reference nginx server" with "HTTPS": a test authority and its certificate --
step "nginx over TLS"
mkdir -p tls
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Star Hall Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -keyout tls/ca.key -out tls/ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout tls/key.pem -out tls/server.csr 2>/dev/null
openssl x509 -req -in tls/server.csr -CA tls/ca.pem -CAkey tls/ca.key -CAcreateserial -days 2 \
  -out tls/server.pem -extfile <(printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n') 2>/dev/null
cat tls/server.pem tls/ca.pem > tls/fullchain.pem
chmod -R a+rX www
mkdir -p nginx
TLS_LISTEN=$TLS_PORT TLS_CERT=$W/tls/fullchain.pem TLS_KEY=$W/tls/key.pem \
  "$ROOT/deploy/render-nginx-conf.sh" "$W/www" "$PORT" "$W/nginx" > "$W/nginx/nginx.conf"
nginx -p "$W/nginx" -e "$W/nginx/error.log" -c "$W/nginx/nginx.conf" || demo_fail "nginx did not start"
demo_wait_for "curl -fsS --cacert '$W/tls/ca.pem' -o /dev/null '$BASE/uploads/online_setup.txt'" 10 ||
  demo_fail "nginx does not answer on $BASE"
[ "$(id -u)" != 0 ] || check "nginx workers run as www-data" test "$(ps -o user= --ppid "$(cat nginx/nginx.pid)" | sort -u | tr -d ' \n')" = www-data

# --- the prefix trusts the test authority (as e2e_https does) ------------------------
demo_prefix_ready
demo_prefix_reset
rm -rf "$DEMO_USER_DIR"/Temp/localhost_*
ROOT_STORE='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\Root\Certificates'
CA_THUMB=$(openssl x509 -in tls/ca.pem -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
openssl x509 -in tls/ca.pem -outform DER -out tls/ca.der
length=$(printf '%08x' "$(stat -c %s tls/ca.der)" | sed -E 's/(..)(..)(..)(..)/\4,\3,\2,\1/')
demo_reg_import "[$ROOT_STORE\\$CA_THUMB]" \
  "\"Blob\"=hex:20,00,00,00,01,00,00,00,$length,$(od -An -tx1 -v tls/ca.der | tr -s ' \n' ',' | sed 's/^,//; s/,$//')"

# --- "Command line": install at once into a folder of our choosing ------------------
step "installing over HTTPS"
(cd run && exec env HOME="$DEMO_HOME" "$ROOT/scripts/wine-run.sh" --prefix "$DEMO_PREFIX" \
  "$W/run/$DEMO_INSTALLER_NAME" -path 'C:\StarHall\') >"$W/installer.out" 2>&1 &
DEMO_INSTALLER_PID=$!
demo_wait_installer 180
HALL=$DEMO_INSTALL_UNIX
check "Chinese-named files installed intact" cmp -s "$HALL/数据/资源.bin" "product/数据/资源.bin"
check "Chinese folder of Config installed" test -f "$HALL/Config/游戏/说明.txt"
check "agency record from the file name" test "$(demo_ini_value "$HALL/Config/Agency.ini" Config AgencyID)/$(demo_ini_value "$HALL/Config/Agency.ini" Config StandaloneAgencyID)" = 654/$AGENCY
check "package came over TLS" grep -q '"GET /packages/hall.zip' nginx/access.log
check "uninstall entry made" test -n "$(demo_uninstall_entry)"

# --- the Start-menu uninstall shortcut, as the prefix holds it ----------------------
step "uninstalling from the Start menu"
lnk=$(find "$DEMO_PREFIX/drive_c" -name "${DEMO_PRODUCT_NAME}卸载.lnk" | head -n1)
[ -n "$lnk" ] || demo_fail "no Start-menu uninstall shortcut"
# Target (LinkInfo's local path) and arguments (string data) of the shell link.
read_lnk() {
  python3 - "$1" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
flags = struct.unpack_from('<I', b, 0x14)[0]
at = 0x4C
if flags & 0x01:
    at += 2 + struct.unpack_from('<H', b, at)[0]
target = ''
if flags & 0x02:
    info = b[at:at + struct.unpack_from('<I', b, at)[0]]
    header, info_flags = struct.unpack_from('<II', info, 4)
    if info_flags & 1:
        if header >= 0x24:
            o = struct.unpack_from('<I', info, 0x1C)[0]
            target = info[o:].decode('utf-16-le').split('\0')[0]
        else:
            o = struct.unpack_from('<I', info, 0x10)[0]
            target = info[o:].split(b'\0')[0].decode('gbk')
    at += len(info)
strings = []
for bit in (0x04, 0x08, 0x10, 0x20):
    if flags & bit:
        n = struct.unpack_from('<H', b, at)[0]
        if flags & 0x80:
            strings.append(b[at + 2:at + 2 + 2 * n].decode('utf-16-le')); at += 2 + 2 * n
        else:
            strings.append(b[at + 2:at + 2 + n].decode('gbk')); at += 2 + n
    else:
        strings.append('')
print(target)
print(strings[2])
print(strings[3])
PY
}
mapfile -t link < <(read_lnk "$lnk")
echo "     shortcut: ${link[0]} ${link[2]:-} (in ${link[1]})"
check "shortcut names the uninstaller" test "${link[0]}" = 'C:\StarHall\uninstall\uninst.exe'
check "shortcut starts in the uninstaller's folder" test "${link[1]}" = 'C:\StarHall\uninstall'
# Programs still running from the install folder: the client the installer
# started, and one whose window title is not the product title (as with a
# garbled agency text), started just now, so it may still be starting.
mkdir -p "$HALL/bin"
cp "$HALL/main.exe" "$HALL/bin/helper.exe"
demo_wine 'C:\StarHall\bin\helper.exe' >/dev/null 2>&1 &
helper=$!
# Its command line, in its working folder, as Explorer would start it; the
# two questions are answered with Enter (there is no window manager to
# activate them).
workdir=$DEMO_PREFIX/drive_c/$(printf '%s' "${link[1]#C:\\}" | tr '\\' /)
# shellcheck disable=SC2086
(cd "$workdir" && exec env HOME="$DEMO_HOME" "$ROOT/scripts/wine-run.sh" --prefix "$DEMO_PREFIX" \
  "${link[0]}" ${link[2]:-}) >"$W/uninstaller.out" 2>&1 &
uninstaller=$!
box_seen() {  # a visible window titled 卸载 (UTF-8 title, _NET_WM_NAME)
  local w
  for w in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = 卸载 ] && { BOX=$w; return 0; }
  done
  return 1
}
answered=0
for _ in 1 2; do
  demo_wait_for box_seen 60 || break
  # Focus alone is not enough when another program of the folder has just
  # shown its window: a click on the box's icon makes Wine take it as the
  # active window, so Enter reaches its default button.
  xdotool windowfocus "$BOX" 2>/dev/null || true
  xdotool mousemove --window "$BOX" 20 20 click 1 2>/dev/null || true
  sleep 0.3
  xdotool key Return
  answered=$((answered + 1))
  demo_wait_for "! xdotool getwindowname $BOX >/dev/null 2>&1" 60 || true
done
rc=0; wait "$uninstaller" || rc=$?
check "confirmation and farewell answered" test "$answered" = 2
check "uninstaller reports everything removed (exit code 0)" test "$rc" = 0
check "install folder removed, programs running from it included" test ! -e "$HALL"
wait "$helper" 2>/dev/null || true
check "uninstall entry removed" test -z "$(demo_uninstall_entry)"
check "Start-menu shortcut removed" test ! -e "$lnk"

[ "$failures" = 0 ] || demo_fail "$failures check(s) failed"
echo "publisher: all checks passed ($((SECONDS - started)) s)"
