#!/usr/bin/env bash
# tarnvale-sim.exe, the script authors' simulator and linter for Windows,
# under Wine against the Linux build of the same sources: for every example
# script on every example machine the same trace, report (text and JSON, on
# standard error and in --report files) and exit code; for every setup
# script under examples/ and tests/ the same lint output in text, JSON and
# SARIF and the same exit code; and the same again for a package whose
# folder and script names hold a blank and letters outside ASCII. Paths are
# given relative to the same folder on both sides.
#   sim-exe.sh BUILD_DIR HOST_SIM
set -uo pipefail
build=$(cd "$1" && pwd)
sim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/wine-env.sh" "$build"
[ -x "$sim" ] || { echo "FAIL: no simulator at $sim (build the host preset first)" >&2; exit 1; }
exe="$build/tarnvale-sim.exe"
[ -f "$exe" ] || { echo "FAIL: no $exe" >&2; exit 1; }
work="$build/sim-exe"
rm -rf "$work" && mkdir -p "$work"
compared=0
failed=0

# same LABEL ARGS...: runs both builds with ARGS from the current folder;
# standard output, standard error, the files named by --report and the exit
# codes must be the same bytes.
same() {
  local label=$1
  shift
  local report="" i
  local args=("$@")
  for ((i = 0; i < ${#args[@]}; ++i)); do
    [ "${args[i]}" = --report ] && report=${args[i + 1]}
  done
  "$sim" "${args[@]}" >"$work/linux.out" 2>"$work/linux.err"
  local linux=$?
  [ -n "$report" ] && mv "$report" "$work/linux.report"
  "$WINE" "$exe" "${args[@]}" >"$work/windows.out" 2>"$work/windows.err"
  local windows=$?
  [ -n "$report" ] && mv "$report" "$work/windows.report"
  compared=$((compared + 1))
  local what=""
  [ "$linux" = "$windows" ] || what="exit code $linux on Linux, $windows on Windows"
  for stream in out err report; do
    [ -f "$work/linux.$stream" ] || continue
    cmp -s "$work/linux.$stream" "$work/windows.$stream" || what="$what; standard $stream differs"
  done
  if [ -n "$what" ]; then
    failed=$((failed + 1))
    echo "DIFFER $label: ${what#; }"
    for stream in out err report; do
      [ -f "$work/linux.$stream" ] && diff "$work/linux.$stream" "$work/windows.$stream" | head -8
    done
  fi
  rm -f "$work"/linux.* "$work"/windows.*
}

cd "$root" || exit 1
for script in examples/*/*.ini; do
  for machine in examples/machines/*.json; do
    name="$(basename "$script") on $(basename "$machine")"
    same "$name" --machine "$machine" --report "$work/report.txt" "$script"
    same "$name --json" --machine "$machine" --json --report "$work/report.json" "$script"
  done
done
# The other options of a run, on the example that uses every keyword.
example=examples/notebook-setup/netsetup.ini
vista=examples/machines/pv715-vista64-all-devices.json
same "--twice" --machine "$vista" --twice "$example"
same "--stop-after" --machine "$vista" --stop-after 40 --capture-after "$work/stopped.json" "$example"
mv "$work/stopped.json" "$work/stopped-windows.json" 2>/dev/null
same "--fail-on" --machine examples/machines/pv715-xp-no-modem.json --fail-on stop,failure --no-report "$example"
same "--companion" --machine "$vista" --companion --tool-bits 64 --package-folder 'D:\Pakete\Netz' "$example" -- /s
same "no such machine" --machine examples/machines/none.json "$example"
while IFS= read -r script; do
  for format in text json sarif; do same "lint $format $script" lint --format "$format" "$script"; done
done < <(find examples tests -name '*.ini' | sort)

# A package in a folder named with a blank and non-ASCII letters, the script
# too, given relative to the folder above it.
package="$work/Paket für Ünïcode"
mkdir -p "$package"
cp -r examples/notebook-setup/. "$package/"
mv "$package/netsetup.ini" "$package/Netz einrichten ä.ini"
cd "$work" || exit 1
same "the package with a blank and non-ASCII letters" --machine "$root/examples/machines/pv715-xp-all-devices.json" \
  --report "Bericht ö.txt" "Paket für Ünïcode/Netz einrichten ä.ini"
same "lint of it" lint --format sarif "Paket für Ünïcode/Netz einrichten ä.ini"
same "a script that is not there" lint "Paket für Ünïcode/fehlt ß.ini"
same "a path from the root" lint --format json "$root/examples/scripts/notebook-check.ini"

# In a console (Wine makes one for a terminal; script(1) gives it one) the
# text goes through WriteConsoleW: every letter shows, whatever the console's
# code page, where bytes written to the console would be read in that code page.
command -v script >/dev/null || { echo "FAIL: no script(1) (util-linux) to give Wine a terminal" >&2; exit 1; }
shown=$(script -qec "'$WINE' '$exe' lint 'Paket für Ünïcode/fehlt ß.ini'" /dev/null 2>&1)
compared=$((compared + 1))
if ! grep -qF "Paket für Ünïcode/fehlt ß.ini" <<<"$shown"; then
  failed=$((failed + 1))
  echo "DIFFER in a console the name does not show: $(cat -v <<<"$shown" | head -3)"
fi

echo "$((compared - failed)) of $compared runs agree"
[ "$failed" -eq 0 ]
