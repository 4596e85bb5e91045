#!/usr/bin/env bash
# Writes an nginx configuration from nginx.conf.template.
#   render-nginx-conf.sh ROOT PORT STATE_DIR [PACKAGE_RATE] > nginx.conf
# ROOT and STATE_DIR must be absolute; STATE_DIR is created.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=${1:?site root folder}
port=${2:?port}
state=${3:?state folder}
rate=${4:-0}
case "$root$state" in *'|'*) echo "render-nginx-conf: '|' is not allowed in paths" >&2; exit 2;; esac
case "$root" in /*) ;; *) echo "render-nginx-conf: ROOT must be absolute" >&2; exit 2;; esac
case "$state" in /*) ;; *) echo "render-nginx-conf: STATE_DIR must be absolute" >&2; exit 2;; esac
[[ "$port" =~ ^[0-9]+$ ]] || { echo "render-nginx-conf: bad port '$port'" >&2; exit 2; }
[[ "$rate" =~ ^[0-9]+[kKmM]?$ ]] || { echo "render-nginx-conf: bad rate '$rate'" >&2; exit 2; }
mkdir -p "$state"
user_line=""
if [ "$(id -u)" = 0 ]; then
  # Workers keep the starting user, so they can read the site and write the state folder.
  user_line="user $(id -un) $(id -gn);"
fi
sed -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" -e "s|@STATE@|$state|g" \
    -e "s|@PACKAGE_RATE@|$rate|g" -e "s|@USER_LINE@|$user_line|g" \
    "$here/nginx.conf.template"
