#!/usr/bin/env bash
# File digest benchmark: the streaming MD5 that cache records take of a local
# file (bench_download md5 under Wine, timed inside the program) against
# md5sum on the same 256 MiB file, best of three each, warm page cache.
# Prints, last, "md5: ratio X (target >= 0.8)" with X = md5sum time / our time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$root/build}
WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
DRIVER="$BUILD_DIR/tools/bench_download/bench_download.exe"
[ -f "$DRIVER" ] || cmake --build "$BUILD_DIR" --target bench_download >/dev/null
work=$(mktemp -d "$BUILD_DIR/bench_md5.XXXXXX")
trap 'rm -rf "$work"' EXIT

run() { "$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

head -c $((256 << 20)) /dev/urandom > "$work/data.bin"
cat "$work/data.bin" > /dev/null  # into the page cache for both sides
expected=$(md5sum "$work/data.bin" | cut -c1-32)

best_ours=""; best_ref=""; peak=0
for round in 1 2 3; do
  out=$(run "$DRIVER" md5 "$(winpath "$work/data.bin")")
  got=$(echo "$out" | awk '$1 == "md5" { print $2 }')
  [ "$got" = "$expected" ] || { echo "md5: digest differs: $got vs $expected" >&2; exit 1; }
  ours=$(echo "$out" | awk '$1 == "seconds" { print $2 }')
  peak=$(echo "$out" | awk '$1 == "peak_working_set_bytes" { print $2 }')
  t0=$(now); md5sum "$work/data.bin" > /dev/null; t1=$(now)
  ref=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  echo "round $round: ours ${ours}s, md5sum ${ref}s"
  best_ours=$(min "$best_ours" "$ours"); best_ref=$(min "$best_ref" "$ref")
done
echo "our peak memory: $((peak >> 20)) MiB working set for a 256 MiB file"
ratio=$(awk -v r="$best_ref" -v o="$best_ours" 'BEGIN { printf "%.2f", r / o }')
echo "md5: ratio $ratio (target >= 0.8)"
