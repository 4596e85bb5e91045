#!/usr/bin/env bash
# Shared pieces of the demo (scripts/demo.sh) and the end-to-end tests: the
# demo product, the site nginx serves, nginx itself, a Wine prefix that keeps
# its files to itself, and running the installer and the uninstaller.
# Source it; it defines functions only. Callers set ROOT (the repository) and
# BUILD (the build folder) and call demo_init DEMO_DIR first.

DEMO_PORT=${DEMO_PORT:-18080}
DEMO_LOCK=/tmp/online-setup-$DEMO_PORT.lock
DEMO_BASE_URL="http://127.0.0.1:$DEMO_PORT"
# Identifiers carried in the installer's file name: F, A, B (standalone agency), P, PC id.
DEMO_INSTALLER_NAME=setup-F12-A345-B678-P9-1001.exe
DEMO_AGENCY=678
DEMO_INSTALL_WIN='C:\DemoHall\'
# Texts the demo agency text produces (ProductName 欢乐棋牌).
DEMO_PRODUCT_NAME='欢乐棋牌'
DEMO_GAME_NAME='欢乐棋牌游戏'
DEMO_PRODUCT_TITLE='欢乐棋牌游戏大厅'
DEMO_WINDOW_TITLE='欢乐棋牌在线安装'
DEMO_PACKAGE_NAME=hall.zip

demo_log() { printf '== %s\n' "$*"; }
demo_fail() { printf 'FAILED: %s\n' "$*" >&2; exit 1; }

# demo_init DEMO_DIR: names every folder the demo uses.
demo_init() {
  DEMO_DIR=$1
  DEMO_WWW=$DEMO_DIR/www
  DEMO_STATE=$DEMO_DIR/nginx
  DEMO_PRODUCT=$DEMO_DIR/product
  DEMO_RUN=$DEMO_DIR/run
  DEMO_HOME=$DEMO_DIR/home
  DEMO_PREFIX=$DEMO_DIR/wineprefix
  DEMO_INSTALL_UNIX=$DEMO_PREFIX/drive_c/DemoHall
  mkdir -p "$DEMO_DIR" "$DEMO_WWW" "$DEMO_STATE" "$DEMO_RUN" "$DEMO_HOME"
  demo_locale_ready
}

# Wine takes the charset of Unix file names and arguments from the C library's
# locale. Without a real zh_CN.UTF-8 locale it falls back to single bytes and
# cannot create a file such as 欢乐棋牌.lnk at all (while code page 936 still
# works inside). When the machine has no such locale, one is compiled into the
# build folder and used through LOCPATH.
demo_locale_ready() {
  if locale -a 2>/dev/null | grep -qiE '^zh_CN\.utf-?8$'; then return 0; fi
  local dir=$BUILD/locale
  if [ ! -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$dir"
    (
      flock 7
      [ -f "$dir/zh_CN.UTF-8/LC_CTYPE" ] || localedef -i zh_CN -f UTF-8 "$dir/zh_CN.UTF-8" >/dev/null 2>&1 || true
    ) 7>"$dir.lock"
  fi
  if [ -f "$dir/zh_CN.UTF-8/LC_CTYPE" ]; then
    export LOCPATH=$dir
  else
    echo "demo: no zh_CN.UTF-8 locale (install 'locales'); Chinese file names will fail under Wine" >&2
  fi
}

# --- programs from the build ------------------------------------------------

demo_find_program() {  # demo_find_program NAME.exe [subfolder hint]
  local found
  found=$(find "$BUILD/tools" "$BUILD" -maxdepth 4 -type f -name "$1" -path "*${2:-}*" 2>/dev/null | head -n1)
  [ -n "$found" ] || return 1
  printf '%s\n' "$found"
}

demo_programs() {
  DEMO_SETUP_EXE=$BUILD/online_setup.exe
  DEMO_CLIENT_EXE=$BUILD/tools/demo_client/standard/main.exe
  DEMO_AGENCY_CLIENT_EXE=$BUILD/tools/demo_client/agency/main.exe
  DEMO_CLOSE_EXE=$BUILD/tools/demo_client/close_window.exe
  DEMO_UNINST_EXE=$(demo_find_program uninst.exe uninstaller || true)
  DEMO_PACKAGER_EXE=$(demo_find_program package_builder.exe || true)
  local p
  for p in "$DEMO_SETUP_EXE" "$DEMO_CLIENT_EXE" "$DEMO_AGENCY_CLIENT_EXE" "$DEMO_CLOSE_EXE"; do
    [ -f "$p" ] || demo_fail "missing $p (build first)"
  done
  [ -n "$DEMO_UNINST_EXE" ] || demo_fail "uninst.exe was not built (tools/uninstaller)"
  [ -n "$DEMO_PACKAGER_EXE" ] || demo_fail "package_builder.exe was not built (tools/package_builder)"
}

# --- Wine -------------------------------------------------------------------

demo_unix_to_win() { printf 'Z:%s\n' "$(printf '%s' "$1" | tr '/' '\\')"; }

# demo_wine PROGRAM ARGS...: runs in the demo prefix (code page 936, quiet).
demo_wine() {
  HOME=$DEMO_HOME "$ROOT/scripts/wine-run.sh" --prefix "$DEMO_PREFIX" "$@"
}

# Creates the prefix once. The user's shell folders (Desktop, Documents...)
# become real folders inside the prefix instead of links to $HOME, so nothing
# the installer makes lands outside the prefix.
demo_prefix_ready() {
  if [ ! -f "$DEMO_PREFIX/.online-setup-ready" ]; then
    demo_log "creating the Wine prefix $DEMO_PREFIX (once)"
  fi
  demo_wine cmd /c exit 0 >/dev/null 2>&1 || true
  local d link
  for d in "$DEMO_PREFIX"/drive_c/users/*/; do
    for link in "$d"*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  DEMO_USER_DIR=$(ls -d "$DEMO_PREFIX"/drive_c/users/*/ | grep -v '/Public/$' | head -n1)
  DEMO_USER_DIR=${DEMO_USER_DIR%/}
}

demo_wineserver_stop() {
  WINEPREFIX=$DEMO_PREFIX wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$DEMO_PREFIX wineserver -w >/dev/null 2>&1 || true
}

# Forgets every trace of earlier demo installations in the prefix: the install
# folder, shortcuts, the uninstall entry, the machine identifier, the resume
# cache and the agency program in the temporary folder.
demo_prefix_reset() {
  demo_wineserver_stop
  rm -rf "$DEMO_INSTALL_UNIX"
  find "$DEMO_PREFIX/drive_c" -name "$DEMO_PRODUCT_NAME*.lnk" -delete 2>/dev/null || true
  find "$DEMO_PREFIX/drive_c" -depth -type d -name "$DEMO_GAME_NAME" -exec rm -rf {} + 2>/dev/null || true
  rm -rf "$DEMO_USER_DIR/Temp/127_0_0_1_$DEMO_PORT" "$DEMO_USER_DIR/Temp/main.exe" \
         "$DEMO_USER_DIR"/Temp/wpk*.tmp "$DEMO_USER_DIR"/Temp/uninst-*.exe
  demo_reg_import "[-HKEY_CURRENT_USER\\SOFTWARE\\WindowsApp]" \
    "[-$DEMO_UNINSTALL_KEY\\$DEMO_GAME_NAME]"
}

# The uninstall entries of the machine (the installer adds one per game).
DEMO_UNINSTALL_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

# demo_reg_import LINE...: applies .reg lines. The file is UTF-16, so key
# names in Chinese reach the registry intact (command-line arguments may not).
demo_reg_import() {
  local file=$DEMO_DIR/import.reg
  { printf '\xff\xfe'
    { printf 'Windows Registry Editor Version 5.00\r\n\r\n'
      printf '%s\r\n' "$@"; } | iconv -f UTF-8 -t UTF-16LE; } > "$file"
  demo_wine regedit /s "$(demo_unix_to_win "$file")" >/dev/null 2>&1 || true
}

# demo_reg_export KEY: the key and everything below it as UTF-8 .reg text
# (empty when the key does not exist).
demo_reg_export() {
  local file=$DEMO_DIR/export.reg
  rm -f "$file"
  demo_wine regedit /e "$(demo_unix_to_win "$file")" "$1" >/dev/null 2>&1 || true
  [ -f "$file" ] && iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
  return 0
}

# --- the demo product and the site ------------------------------------------

utf8_to_gbk() { iconv -f UTF-8 -t GBK; }

# demo_layout_product [EXTRA_TEXT]: the folder the package is built from.
demo_layout_product() {
  local note=${1:-first edition}
  rm -rf "$DEMO_PRODUCT"
  mkdir -p "$DEMO_PRODUCT/uninstall" "$DEMO_PRODUCT/Config" "$DEMO_PRODUCT/data"
  cp "$DEMO_CLIENT_EXE" "$DEMO_PRODUCT/main.exe"
  cp "$DEMO_UNINST_EXE" "$DEMO_PRODUCT/uninstall/uninst.exe"
  printf '[client]\r\ntitle=%s\r\n' "$DEMO_PRODUCT_TITLE" | utf8_to_gbk > "$DEMO_PRODUCT/Config/client.ini"
  printf 'Demo hall client (%s)\r\n' "$note" > "$DEMO_PRODUCT/Config/readme.txt"
  # Bulk, so that a slowed download can be interrupted part-way.
  head -c "${DEMO_BULK_BYTES:-3145728}" /dev/urandom > "$DEMO_PRODUCT/data/assets.bin"
}

# demo_build_package: DEMO_PRODUCT -> DEMO_WWW/packages/hall.zip
demo_build_package() {
  mkdir -p "$DEMO_WWW/packages"
  local out=$DEMO_DIR/$DEMO_PACKAGE_NAME.new
  rm -f "$out"
  demo_wine "$DEMO_PACKAGER_EXE" build "$(demo_unix_to_win "$DEMO_PRODUCT")" "$(demo_unix_to_win "$out")" \
    >"$DEMO_DIR/package_builder.log" 2>&1 || { cat "$DEMO_DIR/package_builder.log" >&2; demo_fail "package_builder failed"; }
  [ -s "$out" ] || demo_fail "package_builder wrote no package"
  mv -f "$out" "$DEMO_WWW/packages/$DEMO_PACKAGE_NAME"
}

# demo_publish_signed_site: DEMO_PRODUCT -> DEMO_WWW, as docs/publishers.md's
# "A signed site in one command": the native package builder, a publisher key
# made for this run only (DEMO_DIR/keys), the site signed with it.
demo_publish_signed_site() {
  local builder=$DEMO_DIR/builder
  cmake -S "$ROOT/tools/package_builder/native" -B "$builder" -DCMAKE_CXX_COMPILER=g++ >"$DEMO_DIR/builder.log" 2>&1 &&
    cmake --build "$builder" >>"$DEMO_DIR/builder.log" 2>&1 || { tail -n 30 "$DEMO_DIR/builder.log" >&2; demo_fail "native package builder"; }
  rm -rf "$DEMO_DIR/keys"
  "$builder/package_builder" keygen "$DEMO_DIR/keys" >/dev/null || demo_fail "keygen"
  printf '<html><body><h1>Demo agreement</h1></body></html>\n' > "$DEMO_DIR/treaty.html"
  cat > "$DEMO_DIR/site.ini" <<INI
[site]
download_server=$DEMO_BASE_URL
package=$DEMO_PACKAGE_NAME
release=$(date +%s)
agreement=treaty.html

[setup]
gamename=$DEMO_GAME_NAME
exefilename=main.exe
ProductTitle=$DEMO_PRODUCT_TITLE
size=50
urlAgreement=$DEMO_BASE_URL/Treaty.aspx
uninstname=uninst.exe
Publisher=演示发行商
Contact=演示客服

[agency $DEMO_AGENCY]
ProductName=$DEMO_PRODUCT_NAME
DomainName=$DEMO_BASE_URL
program=$DEMO_AGENCY_CLIENT_EXE
INI
  rm -rf "$DEMO_WWW"
  "$builder/package_builder" publish "$DEMO_PRODUCT" "$DEMO_WWW" --settings "$DEMO_DIR/site.ini" \
    --key "$DEMO_DIR/keys/publisher-private.pem" >"$DEMO_DIR/publish.log" 2>&1 ||
    { cat "$DEMO_DIR/publish.log" >&2; demo_fail "publish"; }
}

# demo_build_keyed_installer: the installer keyed with DEMO_DIR/keys'
# public key, for this demo's server; sets DEMO_KEYED_SETUP_EXE.
demo_build_keyed_installer() {
  (cd "$ROOT" && TARGET_ARCH=$("$ROOT/scripts/wine-arch.sh") BUILD_DIR="$DEMO_DIR/build-keyed" \
    BUILD_TARGETS=online_setup bash scripts/build.sh -DPUBLISHER_KEY_FILE="$DEMO_DIR/keys/publisher-public.pem" \
    -DDOWNLOAD_SERVER_URL="$DEMO_BASE_URL" -DAGENCY_TEXT_SERVER_URL="$DEMO_BASE_URL") \
    >"$DEMO_DIR/build-keyed.log" 2>&1 || { tail -n 30 "$DEMO_DIR/build-keyed.log" >&2; demo_fail "keyed installer build"; }
  DEMO_KEYED_SETUP_EXE=$DEMO_DIR/build-keyed/online_setup.exe
}

# demo_layout_site: setup description, agency text, update list, agreement,
# agency main program.
demo_layout_site() {
  mkdir -p "$DEMO_WWW/uploads/txt/Agency" "$DEMO_WWW/update" "$DEMO_WWW/Image/Agency_$DEMO_AGENCY"
  utf8_to_gbk > "$DEMO_WWW/uploads/online_setup.txt" <<TXT
[setup]
gamename=$DEMO_GAME_NAME
exefilename=main.exe
ProductTitle=$DEMO_PRODUCT_TITLE
size=50
urlAgreement=$DEMO_BASE_URL/Treaty.aspx
uninstname=uninst.exe
Publisher=演示发行商
Contact=演示客服

[config]
1.0=$DEMO_BASE_URL/update/list.ini
other=$DEMO_BASE_URL/update/list.ini
TXT
  utf8_to_gbk > "$DEMO_WWW/uploads/txt/Agency/Agency_$DEMO_AGENCY.txt" <<TXT
[BaseInfo]
Enable=1
ProductName=$DEMO_PRODUCT_NAME
DomainName=$DEMO_BASE_URL
TXT
  cat > "$DEMO_WWW/update/list.ini" <<TXT
[list0]
action=3
srcfile=$DEMO_BASE_URL/packages/$DEMO_PACKAGE_NAME
destfile=$DEMO_PACKAGE_NAME
cmd=DEC
AgencyExeURL=$DEMO_BASE_URL
TXT
  printf '<html><body><h1>Demo agreement</h1></body></html>\n' > "$DEMO_WWW/Treaty.aspx"
  cp "$DEMO_AGENCY_CLIENT_EXE" "$DEMO_WWW/Image/Agency_$DEMO_AGENCY/main.exe"
}

# demo_layout_installer: the installer under its agency name, with the side
# configuration that installs into C:\DemoHall\ without waiting for a click.
demo_layout_installer() {
  rm -rf "$DEMO_RUN"
  mkdir -p "$DEMO_RUN"
  cp "$DEMO_SETUP_EXE" "$DEMO_RUN/$DEMO_INSTALLER_NAME"
  printf '[onlinesetup_config]\r\nenable=1\r\nautorun=1\r\nsetup_path_mode=2\r\nsetup_path=%s\r\ndel_otherfile=0\r\n' \
    "$DEMO_INSTALL_WIN" > "$DEMO_RUN/tovrel_onlinesetup.ini"
}

# --- nginx --------------------------------------------------------------------

# Holds the port's lock until the calling shell exits (the UI tests use it too).
demo_lock_port() {
  exec 8>"$DEMO_LOCK"
  flock -w 900 8 || demo_fail "port $DEMO_PORT stays locked ($DEMO_LOCK)"
}

# demo_nginx_start [PACKAGE_RATE]
demo_nginx_start() {
  demo_nginx_stop   # one left behind by an interrupted earlier run of ours
  "$ROOT/deploy/render-nginx-conf.sh" "$DEMO_WWW" "$DEMO_PORT" "$DEMO_STATE" "${1:-0}" > "$DEMO_STATE/nginx.conf"
  : > "$DEMO_STATE/access.log"
  nginx -p "$DEMO_STATE" -e "$DEMO_STATE/error.log" -c "$DEMO_STATE/nginx.conf" \
    || demo_fail "nginx did not start (see $DEMO_STATE/error.log)"
  local i
  for i in $(seq 50); do
    curl -fsS -o /dev/null "$DEMO_BASE_URL/uploads/online_setup.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  demo_fail "nginx does not answer on $DEMO_PORT"
}

# demo_nginx_rate RATE: changes the package rate limit of the running nginx.
demo_nginx_rate() {
  "$ROOT/deploy/render-nginx-conf.sh" "$DEMO_WWW" "$DEMO_PORT" "$DEMO_STATE" "$1" > "$DEMO_STATE/nginx.conf"
  kill -HUP "$(cat "$DEMO_STATE/nginx.pid")"
  sleep 1  # old workers finish, new ones take the new limit
}

demo_nginx_stop() {
  [ -f "$DEMO_STATE/nginx.pid" ] || return 0
  local pid
  pid=$(cat "$DEMO_STATE/nginx.pid" 2>/dev/null || true)
  [ -n "$pid" ] || return 0
  # Only the nginx started with this demo's configuration (a stale pid file
  # may name an unrelated process by now).
  if ! tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -qF "$DEMO_STATE/nginx.conf"; then
    rm -f "$DEMO_STATE/nginx.pid"
    return 0
  fi
  kill -QUIT "$pid" 2>/dev/null || true
  local i
  for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -TERM "$pid" 2>/dev/null
  rm -f "$DEMO_STATE/nginx.pid"
}

# --- downloads that never hang (killed runs, silent or failing endpoints) ------

# demo_kill_installer: ends the installer's Windows process at once, the way
# Task Manager does (TerminateProcess: nothing is stored on the way out).
demo_kill_installer() {
  demo_wine taskkill /F /IM "$DEMO_INSTALLER_NAME" >/dev/null 2>&1 || true
  demo_wait_installer 60
}

# demo_nginx_patch SED_EXPR...: applies sed expressions to the running
# nginx's configuration (as rendered by demo_nginx_rate) and reloads it.
demo_nginx_patch() {
  local expr args=(-e '')
  for expr in "$@"; do args+=(-e "$expr"); done
  "$ROOT/deploy/render-nginx-conf.sh" "$DEMO_WWW" "$DEMO_PORT" "$DEMO_STATE" 0 |
    sed "${args[@]}" > "$DEMO_STATE/nginx.conf"
  kill -HUP "$(cat "$DEMO_STATE/nginx.pid")"
  sleep 1
}

# demo_blackhole_start: a local port that accepts connections and never
# answers; its port in DEMO_BLACKHOLE_PORT. demo_blackhole_stop ends it.
demo_blackhole_start() {
  DEMO_BLACKHOLE_PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(64)
held = []
while True:
    held.append(s.accept()[0])
' "$DEMO_BLACKHOLE_PORT" >/dev/null 2>&1 &
  DEMO_BLACKHOLE_PID=$!
  sleep 0.3
}
demo_blackhole_stop() {
  [ -n "${DEMO_BLACKHOLE_PID:-}" ] && kill "$DEMO_BLACKHOLE_PID" 2>/dev/null || true
  DEMO_BLACKHOLE_PID=
}

# Lines of the access log for a path (prefix match on the request path).
demo_access_lines() { grep -aF "\"GET $1" "$DEMO_STATE/access.log" || true; }

# --- running the installer and the uninstaller -------------------------------

# demo_run_installer_bg: starts the installer; sets DEMO_INSTALLER_PID.
demo_run_installer_bg() {
  (cd "$DEMO_RUN" && exec env HOME="$DEMO_HOME" "$ROOT/scripts/wine-run.sh" --prefix "$DEMO_PREFIX" \
      "$DEMO_RUN/$DEMO_INSTALLER_NAME") >"$DEMO_DIR/installer.out" 2>&1 &
  DEMO_INSTALLER_PID=$!
}

# demo_wait_installer SECONDS: waits for the installer process; fails on time-out.
demo_wait_installer() {
  local limit=$1 waited=0
  while kill -0 "$DEMO_INSTALLER_PID" 2>/dev/null; do
    if [ "$waited" -ge $((limit * 10)) ]; then
      kill "$DEMO_INSTALLER_PID" 2>/dev/null || true
      demo_fail "the installer did not finish within ${limit}s"
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  wait "$DEMO_INSTALLER_PID" 2>/dev/null || true
}

# demo_wait_for CONDITION SECONDS: polls a shell condition.
demo_wait_for() {
  local cond=$1 limit=$2 waited=0
  until eval "$cond"; do
    [ "$waited" -lt $((limit * 10)) ] || return 1
    sleep 0.1
    waited=$((waited + 1))
  done
}

# demo_close_window TITLE: WM_CLOSE to the window with that title. The title
# travels as GBK hex: Wine may decode UTF-8 arguments with another charset.
demo_close_window() {
  local hex
  hex=$(printf '%s' "$1" | utf8_to_gbk | od -An -tx1 | tr -d ' \n')
  demo_wine "$DEMO_CLOSE_EXE" /wait:20000 "/hex:$hex" >/dev/null 2>&1
}

# Registry value, as reg query prints it (last field of the value's line).
demo_reg_value() {  # demo_reg_value KEY VALUE
  demo_wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1=""; $2=""; sub(/^ +/, ""); print }'
}

# Value of an INI key in a GBK file, printed in UTF-8.
demo_ini_value() {  # demo_ini_value FILE SECTION KEY
  iconv -f GBK -t UTF-8 "$1" 2>/dev/null | tr -d '\r' | awk -v s="[$2]" -v k="$3" '
    /^\[/ { in_section = ($0 == s); next }
    in_section { i = index($0, "="); if (i > 0 && substr($0, 1, i - 1) == k) { print substr($0, i + 1); exit } }'
}

# demo_reg_query KEY: "reg query KEY /s" in UTF-8 (KEY in ASCII).
demo_reg_query() {
  demo_wine reg query "$1" /s 2>/dev/null | tr -d '\r' | { iconv -f GBK -t UTF-8 2>/dev/null || cat; }
}

# Size of a file, 0 when missing.
demo_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

# The demo game's uninstall entry as "reg query" prints it (values readable,
# REG_EXPAND_SZ included); empty when there is none.
demo_uninstall_entry() {
  demo_reg_query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' |
    awk -v k="Uninstall\\\\$DEMO_GAME_NAME" '
      /^HKEY/ { on = (substr($0, length($0) - length(k) + 1) == k); if (on) print; next }
      on && NF { print }'
}

# Stops what a demo or test run started (nginx, the Wine server); used as the
# EXIT trap of the scripts that source this file.
demo_cleanup() {
  demo_nginx_stop
  demo_wineserver_stop
}

# Starts the installer, lets the package download begin below the install
# folder, then closes the window: an interrupted installation to resume.
demo_install_and_stop() {
  : > "$DEMO_STATE/access.log"
  demo_run_installer_bg
  demo_wait_for "[ \$(demo_size '$DEMO_INSTALL_UNIX/$DEMO_PACKAGE_NAME') -gt 400000 ]" 120 ||
    demo_fail "the package download did not start"
  demo_close_window "$DEMO_WINDOW_TITLE" || echo "     (closing the window failed; the installer may not stop)"
  demo_wait_installer 60
}
