#!/usr/bin/env bash
# Packages made by other tools install with our extraction, and our builder's
# packages open with other tools:
#  (a) pack encrypted by openssl, zipped by Info-ZIP -> extract_cli installs it;
#  (b) package_builder output -> unzip -P and openssl recover our payload;
#  (c) the native (Linux) build of the builder, UTF-8 on both ends: its
#      package lists the same with both builds and installs with Chinese names.
# Also the builder's error reports and the checker's verdict on bad packs, and
# its refusal of what fails every installation: names Windows cannot create,
# texts not in GBK, a missing main program.
set -euo pipefail
: "${SOURCE_DIR:?}" "${BUILD_DIR:?}" "${WINEPREFIX:?}" "${WINE_RUN:?}"
BUILDER="$BUILD_DIR/tools/package_builder/package_builder.exe"
EXTRACT="$BUILD_DIR/tools/extract_cli/extract_cli.exe"
PASSWORD=6203918547
work="$BUILD_DIR/package_interop_work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
# Wine needs the glibc locale behind LC_ALL=zh_CN.UTF-8 to create non-ASCII
# file names; build it privately when the system does not have it.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  if [ ! -d "$BUILD_DIR/locale/zh_CN.UTF-8" ]; then
    mkdir -p "$BUILD_DIR/locale"
    localedef -i zh_CN -f UTF-8 "$BUILD_DIR/locale/zh_CN.UTF-8" >/dev/null 2>&1 || true
  fi
  [ -d "$BUILD_DIR/locale/zh_CN.UTF-8" ] && export LOCPATH="$BUILD_DIR/locale"
fi
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$WINE_RUN" --prefix "$WINEPREFIX" "$@" 2>/dev/null | tr -d "\r"; }

# Key: MD5 of the password; a zero byte becomes its index, every third byte ^ 0x11.
KEY=$(printf %s "$PASSWORD" | md5sum | cut -c1-32 | perl -ne '
  chomp; my @d = map { hex } /(..)/g;
  for my $i (0..15) { $d[$i] = $i if $d[$i] == 0; $d[$i] ^= 0x11 if $i % 3 == 0; }
  printf "%02x" x 16, @d;')
[ ${#KEY} -eq 32 ] || fail "key derivation"

# make_pack OUT NAME=FILE...: plain table + data, padded, encrypted with openssl.
make_pack() {
  local out=$1; shift
  perl -e '
    my @e = map { my ($n, $f) = split /=/, $_, 2; [$n, $f] } @ARGV;
    my $off = 4 + 268 * @e; my ($table, $data) = (pack("V", scalar @e), "");
    for my $e (@e) {
      open my $fh, "<:raw", $e->[1] or die; local $/; my $b = <$fh> // ""; close $fh;
      $table .= pack("a260 V V", $e->[0], $off, length $b); $data .= $b; $off += length $b;
    }
    my $plain = $table . $data; my $len = length $plain;
    $plain .= "\0" x ((16 - $len % 16) % 16);
    open my $p, ">:raw", "plain.bin" or die; print $p $plain; close $p;
    open my $h, ">:raw", "header.bin" or die; print $h pack("V V", $len, 0); close $h;
  ' "$@"
  openssl enc -aes-128-ecb -nopad -K "$KEY" -in plain.bin -out body.bin
  cat header.bin body.bin > "$out"
  rm -f plain.bin header.bin body.bin
}

# ---- (a) a package made without our code installs ---------------------------
mkdir -p src
head -c 100000 /dev/urandom > src/random.bin
seq 1 20000 > src/numbers.txt
printf 'x' > src/one.txt
: > src/empty.txt
GBK_DIR=$(printf '数据' | iconv -f UTF-8 -t GBK)
for level in 0 6; do
  inst="$work/inst$level"
  mkdir -p "$inst"
  make_pack game.pak "Top\\random.bin=src/random.bin" "Top\\bin\\numbers.txt=src/numbers.txt" \
    "Top\\${GBK_DIR}\\one.txt=src/one.txt" "Top\\empty.txt=src/empty.txt"
  rm -f "$inst/pkg.zip"
  zip -q -"$level" -P "$PASSWORD" "$inst/pkg.zip" game.pak
  rm -f game.pak
  out=$(run "$EXTRACT" "$(winpath "$inst")\\" pkg.zip) || fail "(a) level $level extraction failed: $out"
  echo "$out" | grep -q "result: ok" || fail "(a) level $level: $out"
  echo "$out" | grep -q "progress: .*100 $" || fail "(a) level $level progress: $out"
  cmp src/random.bin "$inst/random.bin" || fail "(a) random.bin"
  cmp src/numbers.txt "$inst/bin/numbers.txt" || fail "(a) numbers.txt"
  cmp src/one.txt "$inst/数据/one.txt" || fail "(a) GBK folder name"
  [ -f "$inst/empty.txt" ] && [ ! -s "$inst/empty.txt" ] || fail "(a) empty file"
  [ ! -e "$inst/game.pak" ] || fail "(a) pack not deleted"
done
echo "(a) foreign packages install"

# The same kind of package under another zip password does not install.
inst="$work/wrongpw"
mkdir -p "$inst"
make_pack game.pak "Top\\one.txt=src/one.txt"
zip -q -P 1111111111 "$inst/pkg.zip" game.pak
rm -f game.pak
if out=$(run "$EXTRACT" "$(winpath "$inst")" pkg.zip); then fail "(a) wrong zip password accepted: $out"; fi
[ ! -e "$inst/one.txt" ] && [ ! -e "$inst/game.pak" ] || fail "(a) wrong password left files"
echo "(a) wrong zip password refused"

# A hostile foreign package: nothing lands outside the install folder.
inst="$work/hostile"
mkdir -p "$inst"
make_pack game.pak "Top\\..\\escaped.txt=src/one.txt" "Top\\a\\..\\..\\escaped2.txt=src/one.txt" \
  "Top\\ok.txt=src/one.txt"
zip -q -P "$PASSWORD" "$inst/pkg.zip" game.pak
out=$(run "$EXTRACT" "$(winpath "$inst")\\" pkg.zip) || fail "(a) hostile: $out"
[ -f "$inst/ok.txt" ] || fail "(a) hostile: good entry missing"
[ ! -e "$work/escaped.txt" ] && [ ! -e "$work/escaped2.txt" ] || fail "(a) hostile: wrote outside"
out=$(run "$BUILDER" list "$(winpath "$inst/pkg.zip")") && fail "list accepted a hostile pack: $out"
mv game.pak hostile.pak
echo "(a) hostile package contained"

# Names Windows cannot create fail the installation at once, naming the file.
for bad in 'what?.txt' 'readme.' 'a\b' 'sub/x.txt'; do
  inst="$work/badname"
  rm -rf "$inst" && mkdir -p "$inst"
  # "a\b" goes with an entry "a": a file where the folder a must go.
  make_pack game.pak "Top\\a=src/one.txt" "Top\\$bad=src/one.txt" "Top\\ok.txt=src/one.txt"
  zip -q -P "$PASSWORD" "$inst/pkg.zip" game.pak
  rm -f game.pak
  if out=$(run "$EXTRACT" "$(winpath "$inst")\\" pkg.zip); then fail "(a) $bad accepted: $out"; fi
  grep -qF "message: 无法写入文件:$(winpath "$inst")\\$bad" <<<"$(iconv -f GBK -t UTF-8 <<<"$out")" \
    || fail "(a) $bad: $out"
  [ ! -e "$inst/ok.txt" ] || fail "(a) $bad: files written before the refusal"
done
echo "(a) names Windows cannot create refused at once"

# A zip member named outside the folder is refused as a failed extraction.
inst="$work/zipslip"
mkdir -p "$inst/deep"
cp hostile.pak "$inst/x.pak"
(cd "$inst/deep" && zip -q -P "$PASSWORD" ../pkg.zip ../x.pak)
rm "$inst/x.pak"
if out=$(run "$EXTRACT" "$(winpath "$inst/deep")\\" ../pkg.zip); then
  fail "(a) zip member ../x.pak was accepted: $out"
fi
[ ! -e "$inst/x.pak" ] || fail "(a) zip member written outside"
echo "(a) zip member leading outside refused"

# A pack cut short by one block installs nothing and is reported as failed.
inst="$work/cut"
mkdir -p "$inst"
make_pack game.pak "Top\\one.txt=src/one.txt" "Top\\random.bin=src/random.bin"
head -c -16 game.pak > cut.pak && mv cut.pak game.pak
zip -q -P "$PASSWORD" "$inst/pkg.zip" game.pak
rm -f game.pak
if out=$(run "$EXTRACT" "$(winpath "$inst")" pkg.zip); then fail "(a) cut pack accepted: $out"; fi
echo "$out" | grep -q "result: failed" || fail "(a) cut pack: $out"
[ ! -e "$inst/one.txt" ] && [ ! -e "$inst/game.pak" ] || fail "(a) cut pack left files"
out=$(run "$BUILDER" list "$(winpath "$inst/pkg.zip")") && fail "list accepted a cut pack: $out"
echo "(a) cut pack refused"

# ---- (b) our builder's package opens with other tools -----------------------
mkdir -p tree/sub/deeper tree/empty_dir
head -c 70000 /dev/urandom > tree/sub/deeper/blob.bin
seq 1 5000 > tree/sub/text.txt
printf 'hello' > tree/readme.txt
printf 'MZ' > tree/main.exe
out=$(run "$BUILDER" build "$(winpath "$work/tree")" "$(winpath "$work/ours.zip")" --top Client) \
  || fail "(b) build: $out"
listing=$(unzip -Z1 ours.zip)
[ "$listing" = "game.pak" ] || fail "(b) members: $listing"
unzip -tq -P "$PASSWORD" ours.zip >/dev/null || fail "(b) unzip -t"
unzip -p -P "$PASSWORD" ours.zip game.pak > ours.pak
tail -c +9 ours.pak | openssl enc -d -aes-128-ecb -nopad -K "$KEY" > ours.plain
payload=$(head -c 4 ours.pak | perl -e 'local $/; print unpack("V", <STDIN>)')
perl -e '
  my ($plain, $payload) = @ARGV;
  open my $fh, "<:raw", $plain or die; local $/; my $b = <$fh>; close $fh;
  my $n = unpack("V", $b); die "count $n\n" unless $n == 5;
  die "payload\n" unless 4 + 268 * $n <= $payload && $payload <= length $b;
  for my $i (0 .. $n - 1) {
    my ($name, $off, $size) = unpack("Z260 V V", substr($b, 4 + 268 * $i, 268));
    die "outside: $name\n" if $off + $size > length $b;
    $name =~ s/^Client\\// or die "top: $name\n";
    next if $name eq "empty_dir\\" && $size == 0;
    (my $path = "tree/$name") =~ s/\\/\//g;
    open my $f, "<:raw", $path or die "missing $path\n"; my $want = <$f>; close $f;
    die "content of $name\n" unless substr($b, $off, $size) eq $want;
    print "$name\n";
  }' ours.plain "$payload" > ours.names || fail "(b) payload check"
grep -qx 'sub\\deeper\\blob.bin' ours.names || fail "(b) names: $(cat ours.names)"
out=$(run "$BUILDER" list "$(winpath "$work/ours.zip")") || fail "(b) list: $out"
echo "$out" | grep -q '^Client\\sub\\deeper\\blob.bin' || fail "(b) list output: $out"
inst="$work/ours_inst"
mkdir -p "$inst"
cp ours.zip "$inst/pkg.zip"
run "$EXTRACT" "$(winpath "$inst")" pkg.zip >/dev/null || fail "(b) own extraction"
cmp tree/sub/deeper/blob.bin "$inst/sub/deeper/blob.bin" || fail "(b) round trip"
[ -d "$inst/empty_dir" ] || fail "(b) empty folder"
echo "(b) builder output opens with unzip and openssl"

# ---- (c) the native builder ---------------------------------------------------
NATIVE="$BUILD_DIR/native-builder/package_builder"
cmake -S "$SOURCE_DIR/tools/package_builder/native" -B "$BUILD_DIR/native-builder" -G Ninja \
  -DCMAKE_CXX_COMPILER=g++ >/dev/null && cmake --build "$BUILD_DIR/native-builder" >/dev/null \
  || fail "(c) native builder does not build"
mkdir -p "ntree/Config/游戏" "ntree/数据/空"
printf '[client]\r\n' > "ntree/Config/游戏/设置.ini"
cp src/random.bin "ntree/数据/资源.bin"
printf 'MZ' > "ntree/主程序.exe"
out=$(env -u LC_ALL -u LANG "$NATIVE" build ntree native.zip --top 星辰 --member 包.pak \
  --main-program 主程序.exe 2>&1) || fail "(c) native build: $out"
[[ $out != *warning* ]] || fail "(c) warned about a complete product: $out"
native_list=$("$NATIVE" list native.zip --main-program 主程序.exe) || fail "(c) native list: $native_list"
grep -qx $'星辰\\\\数据\\\\资源.bin\t[0-9]*\t100000' <<<"$native_list" || fail "(c) UTF-8 listing: $native_list"
grep -qx $'星辰\\\\数据\\\\空\\\\\t[0-9]*\t0' <<<"$native_list" || fail "(c) empty folder: $native_list"
wine_list=$(run "$BUILDER" list "$(winpath "$work/native.zip")" --main-program 主程序.exe | iconv -f GBK -t UTF-8) \
  || fail "(c) Windows list of the native package: $wine_list"
[ "$wine_list" = "$native_list" ] || fail "(c) listings differ: $wine_list / $native_list"
# The same tree through the Windows build: the same pack entries.
out=$(run "$BUILDER" build "$(winpath "$work/ntree")" "$(winpath "$work/wine.zip")" \
  --top 星辰 --main-program 主程序.exe) || fail "(c) Windows build: $out"
entries() { grep $'\t' <<<"$1"; }
[ "$(entries "$("$NATIVE" list wine.zip --main-program 主程序.exe)")" = "$(entries "$native_list")" ] \
  || fail "(c) builds differ"
inst="$work/native_inst"
mkdir -p "$inst"
cp native.zip "$inst/pkg.zip"
out=$(run "$EXTRACT" "$(winpath "$inst")" pkg.zip) || fail "(c) extraction: $out"
cmp src/random.bin "$inst/数据/资源.bin" && [ -f "$inst/Config/游戏/设置.ini" ] && [ -d "$inst/数据/空" ] \
  || fail "(c) installed names: $(cd "$inst" && find .)"
# Warnings, refusals and broken packages, natively.
mkdir -p bare && printf x > bare/a.txt && printf MZ > bare/main.exe
native_case() {  # native_case WHAT EXIT PATTERN ARGS...
  local what=$1 want=$2 pattern=$3 out rc=0; shift 3
  out=$("$NATIVE" "$@" 2>&1) || rc=$?
  [ "$rc" = "$want" ] && grep -q -- "$pattern" <<<"$out" || fail "(c) $what: exit $rc: $out"
}
native_case "no Config folder" 0 "warning: bare has no Config folder" build bare bare.zip
native_case "main program" 1 "main program 主程序.exe (--main-program) is not in x.zip" \
  build bare x.zip --main-program 主程序.exe
native_case "no main.exe" 1 "main program main.exe (the default.*) is not in x.zip" build ntree x.zip
printf '[setup]\r\nexefilename=Hall.exe\r\n' > setup.txt
native_case "setup's program" 1 "main program Hall.exe (exefilename of setup.txt) is not in x.zip" \
  build bare x.zip --setup setup.txt
native_case "list, setup's program" 1 "defect: main program Hall.exe" list bare.zip --setup setup.txt
native_case "setup without program" 1 "names no main program" build bare x.zip --setup src/one.txt
native_case "setup and main program" 2 "usage" build bare x.zip --setup setup.txt --main-program a.exe
# Names Windows cannot create, and a file where a folder must go.
for bad in 'what?.txt' 'sub./x.txt'; do
  rm -rf badname && mkdir -p "badname/$(dirname "$bad")" && cp bare/* badname/ && printf x > "badname/$bad"
  native_case "name $bad" 1 "entry has a name Windows cannot create" build badname x.zip
  grep -qF ": badname\\${bad//\//\\}" <<<"$("$NATIVE" build badname x.zip 2>&1 || true)" \
    || fail "(c) $bad not named"
done
rm -rf badname && mkdir -p badname/data && cp bare/* badname/ && printf x > badname/data/x.txt && printf x > badname/DATA
native_case "file where a folder goes" 1 "needs a folder where another entry is a file.*badname\\\\data\\\\x.txt" \
  build badname x.zip
# Texts: GBK ships, UTF-8 and a byte-order mark are refused or, when asked, converted.
mkdir -p texts/Config && cp bare/main.exe texts/
printf '[client]\r\ntitle=星辰棋牌游戏大厅\r\n' > texts/Config/client.ini
native_case "UTF-8 text" 1 "text is saved as UTF-8.*texts/Config/client.ini.*--convert-utf8" build texts x.zip
printf '\xef\xbb\xbf[client]\r\n' > texts/Config/bom.txt
native_case "UTF-8 BOM" 1 "byte-order mark.*texts/Config/bom.txt" build texts x.zip
rm texts/Config/bom.txt
cp texts/Config/client.ini client.utf8
native_case "converted" 0 "converted from UTF-8 to GBK in the package" build texts texts.zip --convert-utf8
cmp -s texts/Config/client.ini client.utf8 || fail "(c) the source text was changed"
"$NATIVE" list texts.zip >/dev/null || fail "(c) converted package does not list"
run "$BUILDER" build "$(winpath "$work/texts")" "$(winpath "$work/wtexts.zip")" --convert-utf8 >/dev/null \
  || fail "(c) Windows build with --convert-utf8"
[ "$(entries "$("$NATIVE" list wtexts.zip)")" = "$(entries "$("$NATIVE" list texts.zip)")" ] \
  || fail "(c) the builds convert differently"
inst="$work/texts_inst" && mkdir -p "$inst" && cp texts.zip "$inst/pkg.zip"
run "$EXTRACT" "$(winpath "$inst")" pkg.zip >/dev/null || fail "(c) converted package does not install"
cmp -s "$inst/Config/client.ini" <(iconv -f UTF-8 -t GBK client.utf8) || fail "(c) installed text is not the GBK one"
native_case "list finds a UTF-8 text" 1 "client.ini: text is not GBK" list "$(
  cd "$work" && make_pack game.pak "Top\\main.exe=bare/main.exe" "Top\\client.ini=client.utf8" &&
  zip -q -P "$PASSWORD" utf8pack.zip game.pak && rm game.pak && echo utf8pack.zip)"
# The texts published beside the package: checked, and converted in place when asked.
cp client.utf8 Agency_678.txt && iconv -f UTF-8 -t GBK client.utf8 > list.ini
native_case "text: UTF-8 agency text" 1 "text is saved as UTF-8.*Agency_678.txt" text list.ini Agency_678.txt
native_case "text: converted" 0 "Agency_678.txt: converted" text list.ini Agency_678.txt --convert-utf8
cmp -s Agency_678.txt list.ini || fail "(c) text --convert-utf8 did not write GBK"
printf '[setup]\r\nexefilename=主程序.exe\r\n' > setup.txt
native_case "UTF-8 setup description" 1 "saved as UTF-8.*setup.txt" build ntree x.zip --setup setup.txt
native_case "setup converted" 0 "setup.txt: converted" build ntree setup.zip --setup setup.txt --convert-utf8
native_case "GBK setup description" 0 "^entries: " list setup.zip --setup setup.txt
native_case "name without GBK" 1 "no GBK spelling" build bare x.zip --top "😀"
mkdir -p nogbk/"😀" && printf x > nogbk/"😀"/a.txt
native_case "file name without GBK" 1 "no GBK spelling.*😀" build nogbk x.zip
native_case "missing folder" 1 "folder not found" build nope x.zip
native_case "not a zip" 1 "cannot open" list src/numbers.txt
native_case "wrong password" 1 "wrong password" list wrongpw/pkg.zip
native_case "cut pack" 1 "data outside the body" list cut/pkg.zip
native_case "hostile pack" 1 "path leads outside" list hostile/pkg.zip
native_case "usage" 2 "usage" list
[ ! -e x.zip ] || fail "(c) refused builds left x.zip"
echo "(c) native builder: UTF-8 names, same package as the Windows build"

# ---- builder errors ---------------------------------------------------------
expect_error() {
  local what=$1 pattern=$2; shift 2
  local out
  if out=$("$WINE_RUN" --prefix "$WINEPREFIX" "$BUILDER" "$@" 2>&1 | tr -d "\r"); then
    fail "$what: accepted"
  fi
  echo "$out" | grep -qi "$pattern" || fail "$what: message was: $out"
}
expect_error "missing folder" "folder not found" build "$(winpath "$work/nope")" "$(winpath "$work/x.zip")"
expect_error "unwritable output" "cannot write" build "$(winpath "$work/tree")" "$(winpath "$work/no/such/dir/x.zip")"
mkdir -p "long/$(printf 'd%.0s' {1..200})" && printf MZ > long/main.exe
touch "long/$(printf 'd%.0s' {1..200})/$(printf 'f%.0s' {1..70})"
expect_error "long name" "too long" build "$(winpath "$work/long")" "$(winpath "$work/x.zip")"
mkdir -p huge && truncate -s 3G huge/big.bin && printf MZ > huge/main.exe
expect_error "huge file" "too large" build "$(winpath "$work/huge")" "$(winpath "$work/x.zip")"
rm -rf huge long
expect_error "not a zip" "cannot open" list "$(winpath "$work/src/numbers.txt")"
mkdir -p empty_src
expect_error "empty folder" "empty" build "$(winpath "$work/empty_src")" "$(winpath "$work/x.zip")"
mkdir -p only_dirs/a/b
expect_error "only empty folders" "no file to install" build "$(winpath "$work/only_dirs")" "$(winpath "$work/x.zip")"
expect_error "member outside" "member name" build "$(winpath "$work/tree")" "$(winpath "$work/x.zip")" \
  --member '..\x.pak'
expect_error "top ending in a separator" "would not install" build "$(winpath "$work/tree")" \
  "$(winpath "$work/x.zip")" --top 'Client\'
[ ! -e x.zip ] && [ ! -e "$work/x.zip.pack.tmp" ] || fail "refused builds left files: $(ls | tr "\n" " ")"
# The zip reader cannot tell a wrong password from damaged data; the message says so.
expect_error "wrong password" "wrong password" list "$(winpath "$work/wrongpw/pkg.zip")"
# A zip without members (one stub byte in front: minizip does not look for the
# end record at offset 0).
printf 'SPK\005\006' > no_members.zip && head -c 18 /dev/zero >> no_members.zip
expect_error "no members" "no members" list "$(winpath "$work/no_members.zip")"
echo "builder errors reported"

cd /
rm -rf "$work"
echo "package interop: ok"
