#!/usr/bin/env bash
# scripts/sign.sh with a throw-away certificate: the signed installer's
# renamed agency copy verifies; a changed byte breaks the signature; a key
# that does not match the certificate leaves the file unchanged.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
exe=$BUILD/online_setup.exe
[ -f "$exe" ] || { echo "online_setup.exe was not built"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
verifies() { osslsigncode verify -in "$1" -CAfile "$work/cert.pem" >/dev/null 2>&1; }

make_cert() {  # make_cert NAME: self-signed code-signing certificate
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Test Publisher $1" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
make_cert cert; mv "$work/cert.key" "$work/key.pem"
make_cert other
cp "$exe" "$work/online_setup.exe"

check "signed with the publisher's certificate" \
  bash "$ROOT/scripts/sign.sh" -c "$work/cert.pem" -k "$work/key.pem" -n "Test Hall" -C "$work/cert.pem" \
  "$work/online_setup.exe"
cp "$work/online_setup.exe" "$work/setup-F12-A345-B678-P9-1001.exe"
check "renamed agency copy verifies" verifies "$work/setup-F12-A345-B678-P9-1001.exe"
printf 'x' | dd of="$work/setup-F12-A345-B678-P9-1001.exe" bs=1 seek=2000 conv=notrunc 2>/dev/null
check "a changed byte breaks the signature" bash -c "! osslsigncode verify -in '$work/setup-F12-A345-B678-P9-1001.exe' -CAfile '$work/cert.pem' >/dev/null 2>&1"

cp "$exe" "$work/plain.exe"
check "key of another certificate refused" \
  bash -c "! bash '$ROOT/scripts/sign.sh' -c '$work/cert.pem' -k '$work/other.key' '$work/plain.exe' 2>/dev/null"
check "refused file left unchanged" cmp -s "$exe" "$work/plain.exe"
check "no temporary files left" test "$(ls "$work" | grep -c signing || true)" = 0
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "sign: all checks passed"
