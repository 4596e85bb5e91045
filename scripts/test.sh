#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test under Wine inside one Xvfb
# display, with one Wine prefix in the build folder; before that, the
# platform-free logic's tests and fuzz targets natively (scripts/native-test.sh).
# The tests are built for the architecture this machine's Wine can run
# (scripts/wine-arch.sh). When that is not the shipped 32-bit one, the 32-bit
# installer and tools are built as well, into $BUILD_DIR-i686, so they keep
# compiling.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh"
arch=$("$root/scripts/wine-arch.sh")
echo "test: Windows programs built for $arch"
TARGET_ARCH=$arch BUILD_DIR=$build bash "$root/scripts/build.sh"
if [ "$arch" != i686 ]; then
  TARGET_ARCH=i686 BUILD_DIR=$build-i686 BUILD_TARGETS="online_setup package_builder uninstaller" \
    bash "$root/scripts/build.sh"
fi

export WINEPREFIX=$build/wineprefix
# Create the prefix once, then keep one wineserver for the whole run.
"$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" cmd /c exit 0 >/dev/null 2>&1 || true
WINEDEBUG=-all wineserver -p 2>/dev/null || true
trap 'WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true' EXIT

# The platform-free logic natively, under the sanitizers, with short fuzz runs.
NATIVE_BUILD_DIR=$build-native bash "$root/scripts/native-test.sh"

cd "$build"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --output-on-failure -j2 "$@"
