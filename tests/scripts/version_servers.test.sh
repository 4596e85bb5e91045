#!/usr/bin/env bash
# The servers a built installer points at can be read from its version
# resource with Debian's strings, as docs/publishers.md shows, and they are
# the ones the build was configured with.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
exe=$BUILD/online_setup.exe
[ -f "$exe" ] || { echo "online_setup.exe was not built"; exit 1; }
configured() { sed -n "s/^$1:STRING=//p" "$BUILD/CMakeCache.txt"; }
# The documented command.
read_value() { strings -el "$exe" | grep -A1 -x "$1" | tail -n1; }
failures=0
for pair in DownloadServer:DOWNLOAD_SERVER_URL AgencyTextServer:AGENCY_TEXT_SERVER_URL; do
  key=${pair%%:*} want=$(configured "${pair#*:}")
  got=$(read_value "$key")
  if [ -n "$want" ] && [ "$got" = "$want" ]; then echo "ok   $key = $got"
  else echo "FAIL $key: got '$got', configured '$want'"; failures=$((failures + 1)); fi
done
comments=$(strings -el "$exe" | grep -A1 -x Comments | tail -n1)
if [ "$comments" = "DownloadServer=$(configured DOWNLOAD_SERVER_URL) AgencyTextServer=$(configured AGENCY_TEXT_SERVER_URL)" ]; then
  echo "ok   Comments = $comments"
else echo "FAIL Comments: '$comments'"; failures=$((failures + 1)); fi

# Configure refuses a server URL that breaks the documented shape, naming the
# setting and the value: the check alone for each row, and two whole
# configures into a throw-away folder for the wiring of both settings.
url_rows=(
  "ok|https://dl-1.example.com:8080" "ok|http://[::1]:8080"
  "no|localhost:18743" "no|http://download.example.com/" "no|http://download.example.com/site"
  "no|" "no| http://download.example.com" "no|http://a b.com" "no|ftp://download.example.com"
  "no|http://download.example.com:65536" "no|http://a..example.com" 'no|http://"download.example.com"'
)
for row in "${url_rows[@]}"; do
  want=${row%%|*} value=${row#*|} rc=0
  out=$(cmake -DURL_SETTING=DOWNLOAD_SERVER_URL "-DURL_VALUE=$value" -P "$ROOT/cmake/server_url.cmake" 2>&1) || rc=$?
  if [ "$want" = ok ] && [ "$rc" = 0 ]; then echo "ok   accepted '$value'"
  elif [ "$want" = no ] && [ "$rc" != 0 ] && grep -qF "DOWNLOAD_SERVER_URL is \"$value\"" <<<"$(tr -s ' \n' ' ' <<<"$out")"; then
    echo "ok   refused '$value'"
  else echo "FAIL '$value': exit $rc: $out"; failures=$((failures + 1)); fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for setting in DOWNLOAD_SERVER_URL:localhost:18743 AGENCY_TEXT_SERVER_URL:http://agency.example.com/; do
  name=${setting%%:*} value=${setting#*:} rc=0
  out=$(cmake -S "$ROOT" -B "$scratch/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    "-D$name=$value" 2>&1) || rc=$?
  if [ "$rc" != 0 ] && grep -qF "$name is \"$value\"" <<<"$(tr -s ' \n' ' ' <<<"$out")"; then
    echo "ok   configure refuses $name=$value"
  else echo "FAIL configure with $name=$value: exit $rc: $out"; failures=$((failures + 1)); fi
done
[ "$failures" = 0 ]
