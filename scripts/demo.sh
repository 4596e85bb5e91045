#!/usr/bin/env bash
# The main command: on a fresh Debian 12 machine, as root, it installs what is
# needed, builds everything, publishes a demo product on a local nginx
# (127.0.0.1:18080) and lets the real installer install it under Wine:
#   1. a complete installation, with a screenshot of the installing page;
#   2. an installation stopped during the package download (its window is
#      closed) and run again: the download resumes where it stopped (206);
#   3. the uninstaller removing what the installation made.
# The site is published the way docs/publishers.md says ("A signed site in
# one command"): a throw-away publisher key made for this run, the native
# package builder's publish, and an installer keyed with that key.
# It prints where to look after each step. Everything lives below
# build/demo/ (Wine prefix and key included); nginx and Wine are stopped at
# the end.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}

if [ "${1:-}" != "--built" ]; then
  if [ "$(id -u)" = 0 ]; then
    bash "$ROOT/scripts/install-deps.sh"
  else
    echo "demo: not root, skipping scripts/install-deps.sh (packages must be there already)"
  fi
  TARGET_ARCH=$("$ROOT/scripts/wine-arch.sh") BUILD_DIR=$BUILD bash "$ROOT/scripts/build.sh"
  if [ -z "${DISPLAY:-}" ]; then
    # One virtual display for every Windows program and the screenshot.
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --built
  fi
fi

# shellcheck source=scripts/demo-lib.sh
. "$ROOT/scripts/demo-lib.sh"
demo_init "$BUILD/demo"
demo_programs
demo_lock_port

trap demo_cleanup EXIT

demo_prefix_ready
demo_prefix_reset
demo_log "laying out the demo product and the site in $DEMO_WWW"
# Over two of the signed list's 4 MiB blocks: a stopped download resumes from
# the last whole block it verified.
DEMO_BULK_BYTES=$((9 * 1048576)) demo_layout_product "first edition"

demo_publish_signed_site

# The installer keyed with this run's public key, for this demo's server.
demo_log "building the installer keyed with $DEMO_DIR/keys/publisher-public.pem"
demo_build_keyed_installer
DEMO_SETUP_EXE=$DEMO_KEYED_SETUP_EXE
demo_layout_installer
demo_nginx_start 512k   # slow enough to see the installing page

# --- 1. a complete installation -----------------------------------------------
demo_log "running $DEMO_INSTALLER_NAME (installs into $DEMO_INSTALL_WIN by itself)"
demo_run_installer_bg
shot=$DEMO_DIR/installing.png
# nginx logs a request when it ends, so the growing package file tells when
# the download (and the installing page) is under way.
partial=$DEMO_INSTALL_UNIX/$DEMO_PACKAGE_NAME
if demo_wait_for "[ \$(demo_size '$partial') -gt 200000 ]" 90; then
  import -window root "$shot" 2>/dev/null || echo "demo: screenshot failed"
fi
demo_wait_installer 180
demo_wait_for "[ -f '$DEMO_INSTALL_UNIX/client.log' ]" 20 || true

section() { printf '\n---- %s\n' "$*"; }
section "installed files ($DEMO_INSTALL_UNIX)"
(cd "$DEMO_INSTALL_UNIX" 2>/dev/null && find . -type f | sort) || echo "(install folder missing)"
for f in Config/Agency.ini uninstall/uninstall.ini WindowsSys.ini; do
  section "$f"
  iconv -f GBK -t UTF-8 "$DEMO_INSTALL_UNIX/$f" 2>/dev/null | tr -d '\r' || echo "(missing)"
done
section "client log (the installer started the installed client)"
tr -d '\r' < "$DEMO_INSTALL_UNIX/client.log" 2>/dev/null || echo "(missing)"
section 'registry: HKCU\SOFTWARE\WindowsApp (machine identifier)'
demo_reg_export 'HKEY_CURRENT_USER\SOFTWARE\WindowsApp' 
section "registry: uninstall entry"
demo_uninstall_entry
section "shortcuts"
find "$DEMO_PREFIX/drive_c/users" "$DEMO_PREFIX/drive_c/ProgramData" -name '*.lnk' 2>/dev/null \
  | grep -aF "$DEMO_PRODUCT_NAME" | sed "s|$DEMO_PREFIX/||" || echo "(none)"
section "statistics requests (nginx access log)"
demo_access_lines /Members/UserAPI.aspx
section "package download"
demo_access_lines /packages/
section "signed site ($DEMO_WWW)"
tail -n 1 "$DEMO_DIR/publish.log"
(cd "$DEMO_WWW" && find . -name '*.sig' -o -name '*.manifest' | sort)
echo "installer's key: $(strings -el "$DEMO_SETUP_EXE" | grep -A1 -x PublisherKey | tail -n 1)"
section "screenshot of the installing page"
[ -f "$shot" ] && echo "$shot" || echo "(none)"

# --- 2. stopped during the download, then resumed ------------------------------
demo_log "second installation: stopped during the package download, then run again"
demo_nginx_rate 200k
: > "$DEMO_STATE/access.log"
demo_run_installer_bg
# Past the first block and the checkpoint after it (one every 2 s).
demo_wait_for "[ \$(demo_size '$partial') -gt 5000000 ]" 120 || echo "demo: the package download did not get past its first block"
demo_close_window "$DEMO_WINDOW_TITLE" || echo "demo: could not close the installer window"
demo_wait_installer 60
echo "stopped with $(demo_size "$partial") of $(demo_size "$DEMO_WWW/packages/$DEMO_PACKAGE_NAME") bytes on disk"
demo_nginx_rate 0
demo_run_installer_bg
demo_wait_installer 180
section "package requests of the two runs (the second asks for the rest: 206)"
demo_access_lines /packages/
section "resume cache"
for f in "$DEMO_USER_DIR/Temp/127_0_0_1_$DEMO_PORT"/*.cfg; do
  [ -f "$f" ] || continue
  echo "$f"
  iconv -f GBK -t UTF-8 "$f" 2>/dev/null | tr -d '\r' || true
done

# --- 3. the uninstaller -------------------------------------------------------
demo_log "uninstalling (silently) with the uninstaller the package installed"
demo_wine 'C:\DemoHall\uninstall\uninst.exe' '/U:C:\DemoHall\uninstall\uninstall.ini' /S >/dev/null 2>&1 || true
demo_wait_for "[ ! -d '$DEMO_INSTALL_UNIX' ]" 60 || echo "demo: the install folder is still there"
section "after uninstalling"
[ -d "$DEMO_INSTALL_UNIX" ] && echo "install folder: still there" || echo "install folder: removed"
n=$(find "$DEMO_PREFIX/drive_c" -name "$DEMO_PRODUCT_NAME*.lnk" 2>/dev/null | wc -l)
echo "shortcuts left: $n"
if [ -n "$(demo_uninstall_entry)" ]; then
  echo "uninstall entry: still there"
else
  echo "uninstall entry: removed"
fi
echo "machine identifier kept: $(demo_reg_value 'HKCU\SOFTWARE\WindowsApp' mc)"
echo
echo "demo: done. Site: $DEMO_WWW  Wine prefix: $DEMO_PREFIX  nginx log: $DEMO_STATE/access.log"
