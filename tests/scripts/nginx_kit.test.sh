#!/usr/bin/env bash
# The reference nginx kit as a publisher runs it: started as root, its
# workers run as the unprivileged user; it serves files with byte ranges,
# over HTTPS too with a certificate from a test authority (and a client that
# does not trust it is turned away), and logs each request's scheme and port;
# bad listen addresses, unknown worker users and unreadable certificates are
# refused when rendering.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
render=$ROOT/deploy/render-nginx-conf.sh
work=$(mktemp -d)
chmod 755 "$work"
trap '[ -f "$work/state/nginx.pid" ] && kill -QUIT "$(cat "$work/state/nginx.pid")" 2>/dev/null; sleep 0.3; rm -rf "$work"' EXIT
failures=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }
refused() { ! "$render" "$work/www" "$@" >/dev/null 2>&1; }

check "address without port refused" refused 0.0.0.0 "$work/state"
check "host name refused" refused example.com:80 "$work/state"
check "unknown worker user refused" env NGINX_USER=no-such-user-here bash -c "! '$render' '$work/www' 8080 '$work/state' >/dev/null 2>&1"
check "unreadable certificate refused" env TLS_LISTEN=8443 TLS_CERT=/nonexistent.pem TLS_KEY=/nonexistent.key \
  bash -c "! '$render' '$work/www' 8080 '$work/state' >/dev/null 2>&1"
conf=$("$render" "$work/www" 0.0.0.0:8080 "$work/state")
check "address kept in listen" grep -qF 'listen 0.0.0.0:8080;' <<<"$conf"
check "bare port listens on loopback" grep -qF 'listen 127.0.0.1:8080;' <<<"$("$render" "$work/www" 8080 "$work/state")"

if [ "$(id -u)" = 0 ]; then
  port=$((20000 + $$ % 20000))
  mkdir -p "$work/www/packages"
  head -c 100000 /dev/urandom > "$work/www/packages/p.zip"
  chmod -R a+rX "$work/www"
  # A test certificate authority and a server certificate for 127.0.0.1.
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kit Test CA" \
    -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout "$work/server.key" -out "$work/server.csr" 2>/dev/null
  openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
    -extfile <(printf 'subjectAltName=IP:127.0.0.1\n') -out "$work/server.pem" 2>/dev/null
  tls_port=$((port + 1))
  TLS_LISTEN=$tls_port TLS_CERT=$work/server.pem TLS_KEY=$work/server.key \
    "$render" "$work/www" "$port" "$work/state" > "$work/nginx.conf"
  check "rendered as root: workers as www-data" grep -qx 'user www-data www-data;' "$work/nginx.conf"
  nginx -p "$work/state" -e "$work/state/error.log" -c "$work/nginx.conf"
  sleep 0.5
  master=$(cat "$work/state/nginx.pid")
  workers=$(ps -o user= --ppid "$master" | sort -u | tr -d ' ')
  check "worker processes run as www-data (got '$workers')" test "$workers" = www-data
  got=$(curl -s -r 99990- "http://127.0.0.1:$port/packages/p.zip" | wc -c)
  check "byte range served by the unprivileged worker" test "$got" = 10
  got=$(curl -s --cacert "$work/ca.pem" -r 99990- "https://127.0.0.1:$tls_port/packages/p.zip" | wc -c)
  check "byte range served over HTTPS" test "$got" = 10
  check "HTTPS refused by a client without the test authority" \
    bash -c "! curl -s -o /dev/null 'https://127.0.0.1:$tls_port/packages/p.zip'"
  # Each request's line tells the scheme and port it came in on.
  check "access log tells plain HTTP and its port" \
    grep -q "\"GET /packages/p.zip HTTP/1.1\" 206 10 .* scheme=http port=$port\$" "$work/state/access.log"
  check "access log tells HTTPS and its port" \
    grep -q "\"GET /packages/p.zip HTTP/1.1\" 206 10 .* scheme=https port=$tls_port\$" "$work/state/access.log"
fi
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "nginx_kit: all checks passed"
