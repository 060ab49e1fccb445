#!/usr/bin/env bash
# Builds the Windows package (scripts/build-windows.sh), runs every test
# under wine, then unpacks the zip into an empty folder and runs kxhost.exe
# from there on the example farm, with no search path, so a DLL missing from
# the zip is caught.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
bash scripts/build-windows.sh
source scripts/windows-env.sh
log=$(mktemp)
unpacked=$(mktemp -d)
trap 'rm -rf "$log" "$unpacked"' EXIT
status=0
# A wine process now and then dies while starting up on a loaded machine; a
# test gets one more run, and one that fails twice fails.
ctest --test-dir build-win --output-on-failure -j2 --repeat until-pass:2 2>&1 | tee "$log" || status=1

zip=$(ls build-win/package/kxNotifyKXMessage64-*-win64.zip)
unzip -q "$zip" -d "$unpacked"
folder=$(ls -d "$unpacked"/*/)
echo "windows: package $(basename "$zip"), $(stat -c %s "$zip") bytes:"
(cd "$unpacked" && find . -type f | sort | sed 's/^\.\//  /')
package_checks=0
package_failed=0
run_packaged() {
  package_checks=$((package_checks + 1))
  echo "windows: kxhost.exe $* (from the unpacked zip)"
  if ! (cd "$folder" && env -u WINEPATH "$KX_WINE" ./kxhost.exe "$@"); then
    package_failed=$((package_failed + 1))
    echo "windows: kxhost.exe $* FAILED"
  fi
}
# The module finds the runtime library under the name a server ships it by.
package_checks=$((package_checks + 1))
if [ -f "$folder/kxShared.dll" ] && [ ! -e "$folder/libkxShared.dll" ]; then
  echo "windows: the zip holds kxShared.dll"
else
  package_failed=$((package_failed + 1))
  echo "windows: the zip does not hold kxShared.dll (or still holds libkxShared.dll)"
fi
run_packaged info
run_packaged notify examples/farm.json --job examples/jobs.json
run_packaged check
[ "$package_failed" -eq 0 ] || status=1

# The closing line: ctest's cases and the package checks.
read -r failed total < <(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
failed=${failed:-0}; total=${total:-0}
skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log" || true)
[ "$total" -gt 0 ] || status=1
echo "windows: $((total - failed - skipped)) of $total tests passed under wine ($skipped skipped)," \
     "$((package_checks - package_failed)) of $package_checks package checks passed, $((SECONDS - start)) s"
exit $status
