#!/usr/bin/env bash
# Writes an nginx configuration from nginx.conf.template.
#   render-nginx-conf.sh ROOT [ADDRESS:]PORT STATE_DIR [PACKAGE_RATE] > nginx.conf
# ROOT and STATE_DIR must be absolute; STATE_DIR is created. A bare PORT
# listens on 127.0.0.1 only; give an address (0.0.0.0:8080, [::]:8080) to
# serve others. Started as root, nginx runs its workers as $NGINX_USER
# (default www-data), which must be able to read ROOT.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:?site root folder}
port=${2:?port}
state=${3:?state folder}
rate=${4:-0}
case "$root$state" in *'|'*) echo "render-nginx-conf: '|' is not allowed in paths" >&2; exit 2;; esac
case "$root" in /*) ;; *) echo "render-nginx-conf: ROOT must be absolute" >&2; exit 2;; esac
case "$state" in /*) ;; *) echo "render-nginx-conf: STATE_DIR must be absolute" >&2; exit 2;; esac
if [[ "$port" =~ ^[0-9]+$ ]]; then
  listen=127.0.0.1:$port
elif [[ "$port" =~ ^([0-9.]+|\[[0-9A-Fa-f:]+\]):[0-9]+$ ]]; then
  listen=$port
else
  echo "render-nginx-conf: bad address '$port' (PORT or ADDRESS:PORT)" >&2; exit 2
fi
[[ "$rate" =~ ^[0-9]+[kKmM]?$ ]] || { echo "render-nginx-conf: bad rate '$rate'" >&2; exit 2; }
mkdir -p "$state"
user_line=""
if [ "$(id -u)" = 0 ]; then
  # The master needs root only to bind and open its logs; workers, which talk
  # to the network, run unprivileged.
  worker=${NGINX_USER:-www-data}
  [[ "$worker" =~ ^[A-Za-z_][A-Za-z0-9_.-]*$ ]] && id -u "$worker" >/dev/null 2>&1 ||
    { echo "render-nginx-conf: no such user '$worker' (set NGINX_USER)" >&2; exit 2; }
  user_line="user $worker $(id -gn "$worker");"
fi
sed -e "s|@ROOT@|$root|g" -e "s|@LISTEN@|$listen|g" -e "s|@STATE@|$state|g" \
    -e "s|@PACKAGE_RATE@|$rate|g" -e "s|@USER_LINE@|$user_line|g" \
    "$here/nginx.conf.template"
