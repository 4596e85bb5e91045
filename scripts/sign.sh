#!/usr/bin/env bash
# Signs an installer with Authenticode (osslsigncode, SHA-256), in place.
# Sign online_setup.exe once, then copy and rename it for each agency: the
# signature covers the file's content, not its name, so every renamed copy
# carries it.
#
#   scripts/sign.sh -c CERT.pem -k KEY.pem [options] online_setup.exe
#   scripts/sign.sh -P CERT.p12 [options] online_setup.exe
# Options:
#   -p FILE   password of the key or the PKCS#12 file, read from FILE
#   -n NAME   description shown in the signature (default: the file's name)
#   -i URL    publisher's web address shown in the signature
#   -t URL    RFC 3161 time-stamp server (keeps the signature valid after the
#             certificate expires; needs the network)
#   -C FILE   CA certificates to verify the result against before it replaces
#             the original
# The file is replaced only when signing (and the verification, with -C)
# succeeded; otherwise it is left as it was. Exit 0 signed, 1 failed, 2 usage.
set -euo pipefail
usage() { sed -n '7,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
cert='' key='' p12='' passfile='' name='' url='' tsa='' cafile=''
while getopts 'c:k:P:p:n:i:t:C:h' opt; do
  case $opt in
    c) cert=$OPTARG ;; k) key=$OPTARG ;; P) p12=$OPTARG ;; p) passfile=$OPTARG ;;
    n) name=$OPTARG ;; i) url=$OPTARG ;; t) tsa=$OPTARG ;; C) cafile=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# = 1 ] || usage
exe=$1
if [ -n "$p12" ]; then
  [ -z "$cert$key" ] || { echo "sign: give -P or -c/-k, not both" >&2; exit 2; }
  identity=(-pkcs12 "$p12")
else
  [ -n "$cert" ] && [ -n "$key" ] || usage
  identity=(-certs "$cert" -key "$key")
fi
command -v osslsigncode >/dev/null || { echo "sign: osslsigncode is not installed (apt-get install osslsigncode)" >&2; exit 1; }
for f in "$exe" ${cert:+"$cert"} ${key:+"$key"} ${p12:+"$p12"} ${passfile:+"$passfile"} ${cafile:+"$cafile"}; do
  [ -r "$f" ] || { echo "sign: cannot read $f" >&2; exit 1; }
done

args=(sign "${identity[@]}" -h sha256 -n "${name:-$(basename "$exe")}")
[ -z "$passfile" ] || args+=(-readpass "$passfile")
[ -z "$url" ] || args+=(-i "$url")
[ -z "$tsa" ] || args+=(-ts "$tsa")
# Written beside the original, so the final move cannot cross file systems.
tmp=$(mktemp "$exe.signing.XXXXXX")
trap 'rm -f "$tmp"' EXIT
rm -f "$tmp"
if ! osslsigncode "${args[@]}" -in "$exe" -out "$tmp" >"$tmp.log" 2>&1; then
  cat "$tmp.log" >&2; rm -f "$tmp.log"
  echo "sign: signing $exe failed; the file is unchanged" >&2
  exit 1
fi
rm -f "$tmp.log"
if [ -n "$cafile" ] && ! osslsigncode verify -in "$tmp" -CAfile "$cafile" >/dev/null 2>&1; then
  echo "sign: the signed file does not verify against $cafile; $exe is unchanged" >&2
  exit 1
fi
chmod --reference="$exe" "$tmp"
mv -f "$tmp" "$exe"
echo "sign: signed $exe"
