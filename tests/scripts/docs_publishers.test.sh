#!/usr/bin/env bash
# docs/publishers.md can be followed as written: its INI examples carry no
# text after a value that the profile functions would keep, and the programs
# it names are where it says they are in a build folder.
set -euo pipefail
ROOT=${SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
BUILD=${BUILD_DIR:-$ROOT/build}
failures=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }

# Value lines of ```ini blocks (and of the brand file) that hold ';' or '#'.
commented_values() {
  awk '/^```ini/ {ini=1; next} /^```/ {ini=0} ini && /=/ && /[;#]/ {print FILENAME ": " $0}' \
    "$ROOT/docs/publishers.md" "$ROOT/README.md"
  grep -nE '^[a-z_]+ *=.*[;]' "$ROOT/res/art/brand.ini" || true
}
check "INI examples without comments after values" test -z "$(commented_values)"
n_ini=$(grep -c '^```ini' "$ROOT/docs/publishers.md")
check "INI examples present ($n_ini)" test "$n_ini" -ge 4

# The publish settings example: every [site] key and the agency keys it shows
# are ones `package_builder publish` reads.
site_keys=$(awk '/^```ini/ {ini=1; n++; next} /^```/ {ini=0} ini && /^\[site\]/ {site=1}
  ini && site && /^[a-z_]+=/ {sub(/=.*/, ""); print} ini && /^\[setup\]/ {site=0}' "$ROOT/docs/publishers.md")
unknown=""
for key in $site_keys program text; do
  grep -qF "\"$key\"" "$ROOT/tools/package_builder/publish_settings.cpp" || unknown="$unknown $key"
done
check "publish settings keys known to the builder ($(echo $site_keys | wc -w))" test -z "$unknown" -a -n "$site_keys"

for path in online_setup.exe tools/package_builder/package_builder.exe tools/uninstaller/uninst.exe; do
  grep -qF "build-prod/$path" "$ROOT/docs/publishers.md" || { echo "FAIL docs do not name build-prod/$path"; failures=$((failures + 1)); }
  check "built where the docs say: $path" test -f "$BUILD/$path"
done
[ "$failures" = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "docs_publishers: all checks passed"
