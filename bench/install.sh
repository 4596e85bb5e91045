#!/usr/bin/env bash
# Installation benchmark: time to play on a 300 Mbit/s line. A product of
# INSTALL_MIB MiB (default 1100, random bytes in a few large files and many
# small ones in folders of 50) is published as a signed site on the local
# nginx with the package limited to 300 Mbit/s, and installed from the start
# of the installer (which starts by itself after its one-second auto-start
# timer) to the start of the installed client:
#   overlapped: the keyed installer, which extracts as the verified blocks
#               arrive;
#   sequential: the unkeyed installer on the same site, which downloads the
#               whole package, then extracts it (the path every installation
#               took before, and still takes without block digests);
#   bare:       curl fetching the package alone at the same rate.
# For each installer run it prints the time, the peak disk use of the install
# folder (against package + installed files + 64 MiB) and the installer's
# peak resident memory above what it held when the download began (against
# 64 MiB). Every installed byte is compared with the product. Last line:
# "install: ratio X (target <= 1.10)" with X = overlapped time / bare time.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
INSTALL_MIB=${INSTALL_MIB:-1100}
RATE=36621k  # nginx's k is 1024 bytes: 300 Mbit/s = 37,500,000 bytes/s
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/bench-install"
demo_programs
demo_lock_port
trap 'demo_cleanup; rm -rf "$DEMO_PRODUCT" "$DEMO_WWW" "$DEMO_DIR/bare.zip"' EXIT
UNKEYED_SETUP_EXE=$DEMO_SETUP_EXE

now() { date +%s.%N; }
mib() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1048576 }'; }

demo_prefix_ready
demo_prefix_reset
demo_log "laying out a product of $INSTALL_MIB MiB"
demo_layout_product "bench"
rm -f "$DEMO_PRODUCT/data/assets.bin"
for i in 1 2 3 4; do
  head -c $((INSTALL_MIB * 1048576 / 5)) /dev/urandom > "$DEMO_PRODUCT/data/big$i.bin"
done
# The small ones in folders of 50, as a game's assets are laid out. (Wine
# reads a whole folder to create each new file in it, case-blind, so
# thousands of files in one folder would measure that instead.)
mkdir -p "$DEMO_PRODUCT/data/small"
head -c $((INSTALL_MIB * 1048576 / 5)) /dev/urandom |
  split -b 65536 -a 5 - "$DEMO_PRODUCT/data/small/s"
(cd "$DEMO_PRODUCT/data/small" && i=0 && for f in s*; do
  d=$(printf 'f%03d' $((i / 50))); mkdir -p "$d"; mv "$f" "$d/"; i=$((i + 1)); done)

demo_log "publishing the signed site"
demo_publish_signed_site
package=$DEMO_WWW/packages/$DEMO_PACKAGE_NAME
[ -f "$package" ] || package=$(find "$DEMO_WWW" -name "$DEMO_PACKAGE_NAME" | head -n1)
package_bytes=$(stat -c %s "$package")
product_bytes=$(du -sb --apparent-size "$DEMO_PRODUCT" | cut -f1)
package_url=$DEMO_BASE_URL${package#"$DEMO_WWW"}

demo_log "building the keyed installer"
demo_build_keyed_installer
KEYED_SETUP_EXE=$DEMO_KEYED_SETUP_EXE
demo_nginx_start "$RATE"
# One Wine server for every run: its start-up is not the installer's.
WINEPREFIX=$DEMO_PREFIX wineserver -p 2>/dev/null || true  # already up: fine

# install NAME EXE: one installation from a clean prefix; sets took, disk, mem.
install() {
  demo_prefix_reset
  WINEPREFIX=$DEMO_PREFIX wineserver -p 2>/dev/null || true  # already up: fine
  DEMO_SETUP_EXE=$2
  demo_layout_installer
  rm -f "$DEMO_STATE/samples"
  local t0 t1 rss base="" peak_rss=0 peak_disk=0 d
  t0=$(now)
  # BENCH_TRACE=1: the installer's trace with times, in installer.out.
  if [ -n "${BENCH_TRACE:-}" ]; then WINEDEBUG=-all,+timestamp,+debugstr demo_run_installer_bg; else demo_run_installer_bg; fi
  local gone=0
  while [ ! -f "$DEMO_INSTALL_UNIX/client.log" ]; do
    # The client it started may write its log a moment after the installer ends.
    kill -0 "$DEMO_INSTALLER_PID" 2>/dev/null || gone=$((gone + 1))
    [ "$gone" -lt 50 ] || break
    # Files come and go while du walks the folder: take its total anyway.
    d=$( (du -sb "$DEMO_INSTALL_UNIX" 2>/dev/null || true) | tail -n1 | cut -f1)
    [ "${d:-0}" -gt "$peak_disk" ] && peak_disk=$d
    # The installer is the largest of the processes that carry its name.
    rss=$(for p in $(pgrep -f "$DEMO_INSTALLER_NAME"); do
      awk '/VmRSS/ { print $2 * 1024 }' "/proc/$p/status" 2>/dev/null || true; done | sort -n | tail -n1)
    rss=${rss:-0}
    # The download's start: what the installer holds before it.
    [ -z "$base" ] && [ -e "$DEMO_INSTALL_UNIX/$DEMO_PACKAGE_NAME" ] && base=$rss
    [ "$rss" -gt "$peak_rss" ] && peak_rss=$rss
    sleep 0.2
  done
  t1=$(now)
  demo_wait_installer 600
  [ -f "$DEMO_INSTALL_UNIX/client.log" ] || demo_fail "$1: the installed client did not start"
  diff -rq "$DEMO_PRODUCT/data" "$DEMO_INSTALL_UNIX/data" >/dev/null || demo_fail "$1: installed files differ"
  took=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  disk=$peak_disk
  mem=$(( peak_rss - ${base:-$peak_rss} ))
  echo "$1: ${took} s, peak disk $(mib "$disk") MiB (package + files + 64 MiB = $(mib $((package_bytes + product_bytes + 64 * 1048576))) MiB), peak memory +$(mib "$mem") MiB above the download's start"
}

demo_log "package $(mib "$package_bytes") MiB, product $(mib "$product_bytes") MiB, line 300 Mbit/s"
t0=$(now)
curl -fsS -o "$DEMO_DIR/bare.zip" "$package_url"
bare=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
rm -f "$DEMO_DIR/bare.zip"
echo "bare transfer: $bare s"

install sequential "$UNKEYED_SETUP_EXE"
seq_took=$took seq_disk=$disk
install overlapped "$KEYED_SETUP_EXE"
[ -z "${BENCH_TRACE:-}" ] || cp "$DEMO_DIR/installer.out" "$DEMO_DIR/overlapped.trace"
limit=$((package_bytes + product_bytes + 64 * 1048576))
[ "$disk" -le "$limit" ] || echo "install: overlapped peak disk over package + files + 64 MiB"
[ "$mem" -lt $((64 * 1048576)) ] || echo "install: overlapped peak memory 64 MiB or more above the download's start"
echo "sequential: ratio $(awk -v a="$seq_took" -v b="$bare" 'BEGIN { printf "%.2f", a / b }'), peak disk $(mib "$seq_disk") MiB"
echo "install: ratio $(awk -v a="$took" -v b="$bare" 'BEGIN { printf "%.2f", a / b }') (target <= 1.10)"
