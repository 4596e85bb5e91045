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
[ "$failures" = 0 ]
