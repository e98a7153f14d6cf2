#!/usr/bin/env bash
# The release ZIP (scripts/package) unpacked into the Wine prefix: it holds
# what a release must, and from its own folder the 64-bit simulator lints
# the bundled example, runs it on an example machine and runs the what-if on
# this machine, which leaves the registry as it was.
#   release-zip.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/wine-env.sh" "$build"
version=$(sed -n 's/^project(tarnvale VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip="$root/build/package/tarnvale-$version-windows.zip"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip: scripts/package makes it"

top="tarnvale-$version-windows"
listing=$(cmake -E tar tf "$zip") || fail "cannot list $zip"
for file in package/tarnvale.exe package/tarnvale64.exe package/tarnvale-run.exe \
  tools/x86/tarnvale-sim.exe tools/x64/tarnvale-sim.exe tools/x86/tarnvale-capture.exe \
  tools/x64/tarnvale-capture.exe tools/x86/tracecap.exe tools/x64/tracecap.exe \
  examples/notebook-setup/netsetup.ini examples/machines/pv715-xp-all-devices.json docs/setup-script.md README.md; do
  grep -qxF "$top/$file" <<<"$listing" || fail "the ZIP has no $file"
done
# The tool ships as i686, its companion as x86_64: file(1) tells them apart.
unpacked="$WINEPREFIX/drive_c/tvrelease"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
cd "$unpacked/$top" || fail "no $top in the ZIP"
file package/tarnvale.exe | grep -q "PE32 executable (GUI) Intel 80386" || fail "package/tarnvale.exe is not the i686 tool"
file package/tarnvale64.exe | grep -q "PE32+ executable (console) x86-64" || fail "package/tarnvale64.exe is not x86_64"
file tools/x86/tarnvale-sim.exe | grep -q "Intel 80386" || fail "tools/x86/tarnvale-sim.exe is not i686"

sim='tools\x64\tarnvale-sim.exe'
out=$("$WINE" "$sim" lint 'examples\notebook-setup\netsetup.ini' 2>&1)
rc=$?
[ "$rc" -eq 0 ] && [ -z "$out" ] || fail "lint of the bundled example: exit code $rc: $out"
"$WINE" "$sim" --machine 'examples\machines\pv715-xp-all-devices.json' 'examples\notebook-setup\netsetup.ini' \
  >run.out 2>run.err
rc=$?
[ "$rc" -eq 1 ] && grep -q "Debug mode is enabled" run.out && grep -q "== What the run did ==" run.err ||
  fail "the bundled example on an example machine: exit code $rc: $(head -c 600 run.err)"

# The what-if on this machine changes nothing in the registry.
capture='tools\x64\tarnvale-capture.exe'
"$WINE" "$capture" --out 'C:\tvrelease\before.json' --registry-dump 'C:\tvrelease\before.txt' >/dev/null 2>&1 ||
  fail "tarnvale-capture from the ZIP failed"
"$WINE" "$sim" --this-machine --capture-out 'C:\tvrelease\here.json' 'examples\notebook-setup\netsetup.ini' \
  >whatif.out 2>whatif.err
rc=$?
"$WINE" "$capture" --out 'C:\tvrelease\after.json' --registry-dump 'C:\tvrelease\after.txt' >/dev/null 2>&1
[ "$rc" -eq 1 ] && grep -q "== What the run changed" whatif.err || fail "the what-if: exit code $rc: $(head -c 600 whatif.err)"
python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$unpacked/here.json" || fail "--capture-out wrote no description"
leave=()
while IFS= read -r pattern; do leave+=(--leave-out "$pattern"); done < <(awk '$1 == "regkey" && $2 == "*" { print $3 }' "$here/known-differences.txt")
changed=$(python3 "$here/registry-changes.py" "$unpacked/before.txt" "$unpacked/after.txt" "${leave[@]}")
[ -z "$changed" ] || fail "the what-if changed the registry: $(head -5 <<<"$changed")"
echo "ok: the release ZIP holds what it must; lint, a run and the what-if work from it"
