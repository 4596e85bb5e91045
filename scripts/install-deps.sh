#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need, from Debian's
# packages only. Safe to run again: every step checks before it acts.
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
  echo "install-deps: run as root (apt-get is used)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

# wine32 needs the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

# minizip is built from zlib's source package, which needs a deb-src entry.
src_list=/etc/apt/sources.list.d/online-setup-src.sources
if [ ! -f "$src_list" ]; then
  mirror=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n1 | awk '{print $2}')
  [ -n "${mirror:-}" ] || mirror=http://deb.debian.org/debian
  cat > "$src_list" <<SRC
Types: deb-src
URIs: $mirror
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

pkgs=(
  cmake make ninja-build g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 libz-mingw-w64-dev googletest
  wine wine32:i386 wine64 xvfb xauth xdotool imagemagick fonts-wqy-zenhei fonts-arphic-uming
  tesseract-ocr tesseract-ocr-chi-sim
  locales librsvg2-bin nginx-light zip unzip openssl dpkg-dev python3 curl procps
  g++ clang libclang-rt-14-dev libssl-dev osslsigncode zlib1g-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# A mirror caught mid-sync fails the index refresh for a while; retry, then go
# on with the indexes that did arrive: the install below fails for real if a
# package is still out of reach.
refresh_indexes() {
  for attempt in 1 2 3; do
    apt-get update -qq && return 0
    echo "install-deps: package index refresh failed (attempt $attempt), retrying" >&2
    sleep $((attempt * 5))
  done
  echo "install-deps: going on with the package indexes that did arrive" >&2
}
if [ "${#missing[@]}" -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  refresh_indexes
fi
if [ "${#missing[@]}" -gt 0 ]; then
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    # wine32 needs its i386 libraries at the very versions of the amd64 ones;
    # while the mirror's i386 index lags behind it cannot be installed. Without
    # it the tests run 64-bit builds under wine64 (scripts/wine-arch.sh).
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ "${#rest[@]}" -lt "${#missing[@]}" ] || exit 1
    echo "install-deps: wine32 cannot be installed now; going on without it" >&2
    apt-get install -y -qq --no-install-recommends "${rest[@]}"
  fi
fi

# Wine takes the charset of Unix file names from the C library's locale: the
# tests run with LC_ALL=zh_CN.UTF-8, which must exist for Chinese file names.
if ! locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# zlib's source package, for contrib/minizip. Kept outside the repository.
src_root=${ONLINE_SETUP_DEPS:-/opt/online-setup-deps}
if [ ! -f "$src_root/minizip/unzip.c" ]; then
  mkdir -p "$src_root/zlib-src"
  (cd "$src_root/zlib-src" && apt-get source --download-only zlib >/dev/null)
  dsc=$(ls "$src_root"/zlib-src/zlib_*.dsc | head -n1)
  rm -rf "$src_root/zlib-tree"
  dpkg-source --no-check -x "$dsc" "$src_root/zlib-tree" >/dev/null
  mkdir -p "$src_root/minizip"
  cp "$src_root"/zlib-tree/contrib/minizip/{unzip.c,unzip.h,zip.c,zip.h,ioapi.c,ioapi.h,iowin32.c,iowin32.h,crypt.h} "$src_root/minizip/"
fi
# The unzip module switches its traditional PKWARE decryption off by default;
# packages are password-protected, so build it with decryption on.
if grep -q '^        #define NOUNCRYPT' "$src_root/minizip/unzip.c"; then
  sed -i 's|^        #define NOUNCRYPT|        /* decryption kept on for password-protected packages */|' "$src_root/minizip/unzip.c"
fi
echo "install-deps: ok (minizip sources in $src_root/minizip)"
