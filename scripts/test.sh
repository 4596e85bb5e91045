#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test under Wine inside one Xvfb
# display, with one Wine prefix in the build folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh"
BUILD_DIR=$build bash "$root/scripts/build.sh"

export WINEPREFIX=$build/wineprefix
# Create the prefix once, then keep one wineserver for the whole run.
"$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" cmd /c exit 0 >/dev/null 2>&1 || true
WINEDEBUG=-all wineserver -p 2>/dev/null || true
trap 'WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true' EXIT

cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --output-on-failure -j2 "$@"
