#!/usr/bin/env bash
# Configures and builds everything for 32-bit Windows into build/ (or $BUILD_DIR).
# TARGET_ARCH=x86_64 builds for 64-bit Windows instead (the test build on
# machines whose Wine runs only 64-bit programs; see scripts/wine-arch.sh).
# Extra arguments go to the CMake configure step, e.g. -DDOWNLOAD_SERVER_URL=...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
arch=${TARGET_ARCH:-i686}
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
