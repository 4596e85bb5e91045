#!/usr/bin/env bash
# Extraction benchmark: a 256 MiB package of a few thousand files (half random,
# half compressible text; the pack is encrypted before it is zipped, so the zip
# barely shrinks it) made by package_builder, installed by ExtractPackage
# (extract_cli under Wine, progress window and pauses included) and, for
# reference, by unzip -P + openssl enc -d + a Perl script writing the files.
# Prints our peak memory and, last, "extract: ratio X (target >= 0.5)" with
# X = reference time / our time (best of two rounds each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$root/build}
WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
BUILDER="$BUILD_DIR/tools/package_builder/package_builder.exe"
EXTRACT="$BUILD_DIR/tools/extract_cli/extract_cli.exe"
PASSWORD=6203918547
work="$BUILD_DIR/bench_extract_work"
rm -rf "$work"
mkdir -p "$work/tree"
cd "$work"
trap 'cd /; rm -rf "$work"' EXIT

run() { "$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$@" 2>/dev/null | tr -d '\r'; }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
now() { date +%s.%N; }

# Source material: 128 MiB random, 128 MiB compressible text; cut into files.
head -c $((128 << 20)) /dev/urandom > random.src
perl -e 'srand(7); my @w = map { join "", map { chr(97 + int rand 26) } 1 .. 2 + int rand 8 } 1 .. 500;
  my $out = ""; while (length $out < (128 << 20)) { $out .= join(" ", map { $w[int rand @w] } 1 .. 12) . "\n" }
  print substr($out, 0, 128 << 20);' > text.src
perl -e '
  srand(11);
  for my $src ("random.src", "text.src") {
    open my $in, "<:raw", $src or die; my $left = -s $src; my $i = 0;
    while ($left > 0) {
      # Mostly small files, some large: sizes 1 byte .. 768 KiB, skewed small.
      my $size = int(1 + (rand() ** 5) * (768 << 10)); $size = $left if $size > $left;
      my $dir = sprintf "tree/%s/d%02d", ($src =~ /random/ ? "bin" : "txt"), $i % 40;
      mkdir "tree/" . ($src =~ /random/ ? "bin" : "txt"); mkdir $dir;
      read $in, my $buf, $size; open my $o, ">:raw", "$dir/f$i.dat" or die; print $o $buf; close $o;
      $left -= $size; $i++;
    }
  }'
rm random.src text.src
files=$(find tree -type f | wc -l)
run "$BUILDER" build "$(winpath "$work/tree")" "$(winpath "$work/pkg.zip")" --top Game >/dev/null
echo "package: $files files, $(du -m pkg.zip | cut -f1) MiB zipped, $(du -sm tree | cut -f1) MiB unpacked"

KEY=$(printf %s "$PASSWORD" | md5sum | cut -c1-32 | perl -ne '
  chomp; my @d = map { hex } /(..)/g;
  for my $i (0..15) { $d[$i] = $i if $d[$i] == 0; $d[$i] ^= 0x11 if $i % 3 == 0; }
  printf "%02x" x 16, @d;')

run "$EXTRACT" >/dev/null || true  # start Wine once so its start-up is warm for both rounds

ours() {
  rm -rf ours && mkdir ours && cp pkg.zip ours/pkg.zip && sync
  local t0 t1
  t0=$(now)
  run "$EXTRACT" "$(winpath "$work/ours")" pkg.zip > ours.out
  t1=$(now)
  grep -q "result: ok" ours.out || { cat ours.out >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}

reference() {
  rm -rf ref && mkdir ref && cp pkg.zip ref/pkg.zip && sync
  local t0 t1
  t0=$(now)
  (
    cd ref
    unzip -q -P "$PASSWORD" pkg.zip game.pak
    tail -c +9 game.pak | openssl enc -d -aes-128-ecb -nopad -K "$KEY" > game.plain
    perl -e '
      open my $fh, "<:raw", "game.plain" or die; local $/; my $b = <$fh>; close $fh;
      my $n = unpack "V", $b; my %made;
      for my $i (0 .. $n - 1) {
        my ($name, $off, $size) = unpack "Z260 V V", substr($b, 4 + 268 * $i, 268);
        $name =~ s/^[^\\]*\\//; my @parts = split /\\/, $name; my $file = pop @parts; my $dir = ".";
        for my $p (@parts) { $dir .= "/$p"; mkdir $dir unless $made{$dir}++; }
        open my $o, ">:raw", "$dir/$file" or die "$dir/$file"; print $o substr($b, $off, $size); close $o;
      }'
    rm -f game.pak game.plain
  )
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
best_ours=""; best_ref=""
for round in 1 2; do
  o=$(ours); r=$(reference)
  echo "round $round: ours ${o}s, reference ${r}s"
  best_ours=$(min "$best_ours" "$o"); best_ref=$(min "$best_ref" "$r")
done
diff -rq ours ref >/dev/null 2>&1 || { echo "extract: outputs differ" >&2; diff -rq ours ref | head >&2; exit 1; }
peak=$(grep peak_working_set_bytes ours.out | awk '{print $2}')
commit=$(grep peak_pagefile_bytes ours.out | awk '{print $2}')
echo "our peak memory: $((peak >> 20)) MiB working set, $((commit >> 20)) MiB committed (the whole pack is held in memory)"
ratio=$(awk -v r="$best_ref" -v o="$best_ours" 'BEGIN { printf "%.2f", r / o }')
echo "extract: ratio $ratio (target >= 0.5)"
