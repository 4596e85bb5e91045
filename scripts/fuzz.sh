#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ (built natively with clang, ASan and
# UBSan) from seed corpora that fuzz/make_seeds.cpp writes, plus the inputs in
# fuzz/regressions/<target>/ (each one a crash found and fixed).
#   scripts/fuzz.sh [TARGET|all] [SECONDS]       (defaults: all, 20 s each)
# New inputs the fuzzer finds stay in build-native/corpus/<target>/ for the
# next run; a crash stops with its input saved under build-native/crashes/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${NATIVE_BUILD_DIR:-$root/build-native}
target=${1:-all}
seconds=${2:-20}
cmake -S "$root/native" -B "$out/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DFUZZ=ON >/dev/null
cmake --build "$out/fuzz" -j"$(nproc)" >/dev/null
seeds=$out/seeds
rm -rf "$seeds" && mkdir -p "$seeds" "$out/corpus" "$out/crashes"
"$out/fuzz/make_seeds" "$seeds"

if [ "$target" = all ]; then
  targets=$(cd "$out/fuzz" && ls fuzz_* | grep -v '\.' )
else
  targets=$target
fi
failed=0
for t in $targets; do
  corpus=$out/corpus/$t
  mkdir -p "$corpus" "$seeds/$t"
  dirs=("$corpus" "$seeds/$t")
  [ -d "$root/fuzz/regressions/$t" ] && dirs+=("$root/fuzz/regressions/$t")
  log=$out/$t.log
  if ASAN_OPTIONS=detect_leaks=1 "$out/fuzz/$t" -max_total_time="$seconds" -timeout=60 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/crashes/$t-" \
       "${dirs[@]}" >"$log" 2>&1; then
    runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
    cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | awk '{print $2}')
    echo "fuzz: $t ok (${runs:-?} runs, coverage ${cov:-?})"
  else
    echo "fuzz: $t FAILED, see $log"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
    failed=1
  fi
done
exit $failed
