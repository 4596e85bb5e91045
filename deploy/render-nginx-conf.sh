#!/usr/bin/env bash
# Writes an nginx configuration from nginx.conf.template.
#   render-nginx-conf.sh ROOT [ADDRESS:]PORT STATE_DIR [PACKAGE_RATE] > nginx.conf
# ROOT and STATE_DIR must be absolute; STATE_DIR is created. A bare PORT
# listens on 127.0.0.1 only; give an address (0.0.0.0:8080, [::]:8080) to
# serve others. Started as root, nginx runs its workers as $NGINX_USER
# (default www-data), which must be able to read ROOT.
# HTTPS as well: TLS_LISTEN=[ADDRESS:]PORT TLS_CERT=/abs/fullchain.pem
# TLS_KEY=/abs/key.pem serve the same site over TLS on that port.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:?site root folder}
port=${2:?port}
state=${3:?state folder}
rate=${4:-0}
case "$root$state" in *'|'*) echo "render-nginx-conf: '|' is not allowed in paths" >&2; exit 2;; esac
case "$root" in /*) ;; *) echo "render-nginx-conf: ROOT must be absolute" >&2; exit 2;; esac
case "$state" in /*) ;; *) echo "render-nginx-conf: STATE_DIR must be absolute" >&2; exit 2;; esac
listen_address() {  # PORT -> 127.0.0.1:PORT; ADDRESS:PORT as given
  if [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "127.0.0.1:$1"
  elif [[ "$1" =~ ^([0-9.]+|\[[0-9A-Fa-f:]+\]):[0-9]+$ ]]; then
    echo "$1"
  else
    echo "render-nginx-conf: bad address '$1' (PORT or ADDRESS:PORT)" >&2; return 2
  fi
}
listen=$(listen_address "$port") || exit 2
tls_lines=""
if [ -n "${TLS_LISTEN:-}${TLS_CERT:-}${TLS_KEY:-}" ]; then
  tls_listen=$(listen_address "${TLS_LISTEN:-}") || exit 2
  for f in "${TLS_CERT:-}" "${TLS_KEY:-}"; do
    case "$f" in /*) ;; *) echo "render-nginx-conf: TLS_CERT and TLS_KEY must be absolute paths" >&2; exit 2;; esac
    case "$f" in *'|'*|*';'*|*' '*) echo "render-nginx-conf: blanks, ';' and '|' are not allowed in '$f'" >&2; exit 2;; esac
    [ -r "$f" ] || { echo "render-nginx-conf: cannot read $f" >&2; exit 2; }
  done
  tls_lines="listen $tls_listen ssl; ssl_certificate $TLS_CERT; ssl_certificate_key $TLS_KEY; ssl_protocols TLSv1.2 TLSv1.3;"
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
sed -e "s|@ROOT@|$root|g" -e "s|@LISTEN@|$listen|g" -e "s|@TLS_LINES@|$tls_lines|g" -e "s|@STATE@|$state|g" \
    -e "s|@PACKAGE_RATE@|$rate|g" -e "s|@USER_LINE@|$user_line|g" \
    "$here/nginx.conf.template"
