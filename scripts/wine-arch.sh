#!/usr/bin/env bash
# Prints the Windows architecture the Wine on this machine can run: "i686"
# when 32-bit Linux programs (and so wine32) execute here, else "x86_64"
# (kernels without IA-32 emulation answer ENOEXEC for every i386 program, and
# Wine then runs only 64-bit Windows programs). ONLINE_SETUP_ARCH overrides.
set -u
if [ -n "${ONLINE_SETUP_ARCH:-}" ]; then echo "$ONLINE_SETUP_ARCH"; exit 0; fi
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
