#!/usr/bin/env bash
# Configures and builds everything for 32-bit Windows into build/ (or $BUILD_DIR).
# Extra arguments go to the CMake configure step, e.g. -DDOWNLOAD_SERVER_URL=...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
