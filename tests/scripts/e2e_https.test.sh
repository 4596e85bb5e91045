#!/usr/bin/env bash
# The installer over HTTPS against the reference nginx, with a certificate
# authority made for this run and trusted only inside this test's Wine prefix:
#   1. a full installation from https://localhost;
#   2. a package download stopped part-way resumes over HTTPS (206);
#   3. a server whose certificate chain the prefix does not trust: the
#      download fails with a message box and nothing is installed.
# The installer is built into a folder of its own with its servers set to
# https://localhost:<port> (a name: Wine does not match IP-address names).
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
TLS_PORT=${E2E_HTTPS_PORT:-18443}
export DEMO_PORT=${E2E_HTTPS_PLAIN_PORT:-18081}  # nginx's plain listener; unused by the installer
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/e2e-https"
DEMO_BASE_URL=https://localhost:$TLS_PORT
demo_programs
demo_lock_port
exec 6>"/tmp/online-setup-$TLS_PORT.lock"
flock -w 900 6 || demo_fail "port $TLS_PORT stays locked"
trap demo_cleanup EXIT

failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}
equals() { [ "$1" = "$2" ] || { echo "     expected '$2', got '$1'"; return 1; }; }
same_file() { cmp -s "$1" "$2"; }

# --- the installer, built for https://localhost -----------------------------------
echo "== building the HTTPS installer"
SETUP_BUILD=$DEMO_DIR/setup-build
TARGET_ARCH=$("$ROOT/scripts/wine-arch.sh") BUILD_DIR=$SETUP_BUILD BUILD_TARGETS=online_setup \
  bash "$ROOT/scripts/build.sh" -DDOWNLOAD_SERVER_URL="$DEMO_BASE_URL" \
  -DAGENCY_TEXT_SERVER_URL="$DEMO_BASE_URL" >"$DEMO_DIR/build.log" 2>&1 ||
  { tail -n 30 "$DEMO_DIR/build.log" >&2; demo_fail "building the HTTPS installer failed"; }
DEMO_SETUP_EXE=$SETUP_BUILD/online_setup.exe

# --- certificates: a trusted authority and one nobody trusts -----------------------
PKI=$DEMO_DIR/pki
rm -rf "$PKI"
mkdir -p "$PKI"
make_ca() {  # make_ca NAME
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Online Setup Test $1" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$PKI/$1.key" -out "$PKI/$1.pem" 2>/dev/null
}
make_server_cert() {  # make_server_cert CA: a certificate for localhost signed by CA
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$PKI/server-$1.key" -out "$PKI/server-$1.csr" 2>/dev/null
  openssl x509 -req -in "$PKI/server-$1.csr" -CA "$PKI/$1.pem" -CAkey "$PKI/$1.key" \
    -CAcreateserial -days 2 -out "$PKI/server-$1.pem" 2>/dev/null \
    -extfile <(printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n')
}
make_ca trusted-ca
make_ca unknown-ca
make_server_cert trusted-ca
make_server_cert unknown-ca
export CURL_CA_BUNDLE=$PKI/trusted-ca.pem
export TLS_LISTEN=$TLS_PORT TLS_KEY=$PKI/server-trusted-ca.key TLS_CERT=$PKI/server-trusted-ca.pem

# The prefix trusts the test authority through its own machine root store
# (HKLM ...\SystemCertificates\Root), which Wine's certificate checks read as
# Windows does; nothing on the host changes. A stored certificate is the
# property list "id 32 (the certificate), 1, length, DER bytes".
ROOT_STORE='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\Root\Certificates'
CA_THUMB=$(openssl x509 -in "$PKI/trusted-ca.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
trust_test_ca() {
  local der=$PKI/trusted-ca.der length hex
  openssl x509 -in "$PKI/trusted-ca.pem" -outform DER -out "$der"
  length=$(printf '%08x' "$(stat -c %s "$der")" | sed -E 's/(..)(..)(..)(..)/\4,\3,\2,\1/')
  hex=$(od -An -tx1 -v "$der" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  demo_reg_import "[$ROOT_STORE\\$CA_THUMB]" "\"Blob\"=hex:20,00,00,00,01,00,00,00,$length,$hex"
}
cleanup() {
  demo_reg_import "[-$ROOT_STORE\\$CA_THUMB]"
  demo_cleanup
}
trap cleanup EXIT

# Last package request of the access log: "status bytes range", and how many.
last_package_request() {
  demo_access_lines "$PACKAGE_URL_PATH" | tail -n1 |
    sed -E 's/.*" ([0-9]+) ([0-9]+) range="([^"]*)".*/\1 \2 \3/'
  demo_access_lines "$PACKAGE_URL_PATH" | wc -l
}
reset_prefix() {
  demo_prefix_reset
  rm -rf "$DEMO_USER_DIR"/Temp/localhost_*
}

demo_prefix_ready
reset_prefix
trust_test_ca
DEMO_BULK_BYTES=3145728 demo_layout_product "https edition"
demo_build_package
demo_layout_site
demo_layout_installer
chmod -R a+rX "$DEMO_WWW"
demo_nginx_start 0

HALL=$DEMO_INSTALL_UNIX
PACKAGE=$DEMO_WWW/packages/$DEMO_PACKAGE_NAME
PACKAGE_URL_PATH=/packages/$DEMO_PACKAGE_NAME

# --- 1. a full installation over HTTPS -----------------------------------------------
echo "== installation over HTTPS"
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
demo_wait_installer 180
check "data file installed intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"
check "agency's main program installed" same_file "$HALL/main.exe" "$DEMO_AGENCY_CLIENT_EXE"
check "package fetched once, whole" equals "$(last_package_request | tr '\n' ' ')" "200 $(demo_size "$PACKAGE") - 1 "
check "both statistics requests" equals "$(demo_access_lines /Members/UserAPI.aspx | grep -c ' 200 ')" 2

# --- 2. stopped during the package download, resumed -----------------------------------
echo "== stopped download resumes over HTTPS"
reset_prefix
demo_nginx_rate 200k
demo_install_and_stop
partial=$(demo_size "$HALL/$DEMO_PACKAGE_NAME")
full=$(demo_size "$PACKAGE")
check "stopped part-way ($partial of $full bytes)" test "$partial" -gt 0 -a "$partial" -lt "$full"
demo_nginx_rate 0
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
demo_wait_installer 180
check "second run asks for the rest only" equals "$(last_package_request | tr '\n' ' ')" \
  "206 $((full - partial)) bytes=$partial- 1 "
check "resumed package installs intact" same_file "$HALL/data/assets.bin" "$DEMO_PRODUCT/data/assets.bin"

# --- 3. a certificate the prefix does not trust ----------------------------------------
echo "== untrusted certificate"
reset_prefix
TLS_KEY=$PKI/server-unknown-ca.key TLS_CERT=$PKI/server-unknown-ca.pem demo_nginx_rate 0
: > "$DEMO_STATE/access.log"
# Wine traces each message box's text on the msgbox channel.
WINEDEBUG=-all,+msgbox demo_run_installer_bg
gbk_hex() { printf '%s' "$1" | utf8_to_gbk | od -An -tx1 | tr -d ' \n'; }
shown() { grep -a 'MSGBOX_OnInit' "$DEMO_DIR/installer.out" || true; }
demo_wait_for '[ -n "$(shown)" ]' 60 || true
closed_error=no
demo_wine "$DEMO_CLOSE_EXE" /wait:10000 "/hex:$(gbk_hex '错误')" >/dev/null 2>&1 && closed_error=yes
demo_wine "$DEMO_CLOSE_EXE" /wait:10000 "/hex:$(gbk_hex '退出')" >/dev/null 2>&1 || true
demo_wait_installer 60
# Wine prints the text as UTF-16 escapes ("\7f51" for 网); compare in that form.
wine_escaped() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16BE | od -An -tx1 -v | tr -d ' \n' | sed -E 's/(....)/\\\1/g'; }
TEXT=$(shown | head -n1)
echo "     message box: $TEXT"
check "an error box was shown" equals "$closed_error" yes
check "it is the certificate error with its number" grep -qE "$(wine_escaped '安全证书错误' | sed 's/\\/\\\\/g'):12[0-9]{3}," <<<"$TEXT"
check "it names the address" grep -qF "$DEMO_BASE_URL/uploads/online_setup.txt" <<<"$TEXT"
check "then start-up ends: no network" grep -qF "$(wine_escaped '无法连接网络')" <<<"$(shown | sed -n 2p)"
check "no request reached the site" equals "$(grep -c '"GET ' "$DEMO_STATE/access.log")" 0
check "nothing installed" test ! -e "$HALL"

[ "$failures" = 0 ] || demo_fail "$failures check(s) failed"
echo "e2e_https: all checks passed"
