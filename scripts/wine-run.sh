#!/usr/bin/env bash
# Runs a Windows program under Wine the way the tests expect it:
# a prefix inside the build folder, ANSI code page 936, quiet Wine, a display.
#   wine-run.sh --prefix DIR program.exe [args...]
# The prefix is 32-bit where this machine runs wine32, else 64-bit
# (scripts/wine-arch.sh); the test build is made for the same architecture.
set -u
prefix=""
if [ "${1:-}" = "--prefix" ]; then prefix=$2; shift 2; fi
[ -n "$prefix" ] || prefix=${WINEPREFIX:-$PWD/wineprefix}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
here=$(cd "$(dirname "$0")" && pwd)
if [ "$("$here/wine-arch.sh")" = i686 ]; then
  export WINEARCH=win32
  wine=wine
else
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  wine=/usr/lib/wine/wine64
fi

# Song-style glyphs for the window's texts: it asks for "宋体" (SimSun) at 12
# and 14 px, which Wine otherwise draws with a sans-serif font squeezed to
# half width. AR PL UMing (fonts-arphic-uming) is found through fontconfig.
# Message boxes and dialogs draw with "MS Shell Dlg" (2), which Wine maps to
# SimSun and Tahoma without following SimSun's substitute: they then come out
# in a blurred 12 px fallback where 目 reads as 月. The same Song font keeps
# their Chinese texts legible.
set_up_fonts() {
  local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' name
  for name in 宋体 SimSun "MS Shell Dlg" "MS Shell Dlg 2"; do
    "$wine" reg add "$key" /v "$name" /t REG_SZ /d "AR PL UMing CN" /f >/dev/null 2>&1 || return 1
  done
}

# The fonts' mark names its version, so that older prefixes get the newer set.
fonts_mark=$WINEPREFIX/.online-setup-fonts-2
if [ ! -f "$WINEPREFIX/.online-setup-ready" ] || [ ! -f "$fonts_mark" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.online-setup-ready" ]; then
      "$wine" wineboot -i >/dev/null 2>&1
      wineserver -w
      # Wine links the user's Desktop, Documents and the like to $HOME; the
      # tests create shortcuts there, so give the prefix folders of its own.
      for link in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
      done
      touch "$WINEPREFIX/.online-setup-ready"
    fi
    # Its own mark, so that prefixes made before it get the fonts as well.
    if [ ! -f "$fonts_mark" ]; then
      set_up_fonts && touch "$fonts_mark"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# A 64-bit only Wine "runs" a 32-bit program by failing to load it and
# ending with 0, which would pass for success: refuse it here.
pe_magic() {  # 267 for a 32-bit program image, 523 for a 64-bit one
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$at" ] && od -An -tu2 -j$((at + 24)) -N2 "$1" 2>/dev/null | tr -d ' '
}
if [ "$WINEARCH" = win64 ] && [ -f "${1:-}" ] && [ "$(pe_magic "$1")" = 267 ]; then
  echo "wine-run: $1 is a 32-bit program and this Wine runs only 64-bit ones" >&2
  exit 1
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$@"
fi
exec "$wine" "$@"
