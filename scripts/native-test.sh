#!/usr/bin/env bash
# Builds the platform-free logic for this machine with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs its unit tests, then runs every fuzz
# target for a short time from its generated seeds (scripts/fuzz.sh).
#   scripts/native-test.sh [FUZZ_SECONDS]      (default 20 per target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${NATIVE_BUILD_DIR:-$root/build-native}
cmake -S "$root/native" -B "$out/tests" -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
cmake --build "$out/tests" -j"$(nproc)" --target native_tests package_builder
ASAN_OPTIONS=detect_leaks=1 "$out/tests/native_tests" --gtest_brief=1
bash "$root/scripts/fuzz.sh" all "${1:-20}"
