#!/usr/bin/env bash
# tarnvale-capture on the tests' Wine prefix: two captures of the same machine
# are the same text, and the simulator reads the capture as a machine
# description and runs the bundled example script on it.
#   capture.sh BUILD_DIR HOST_SIM
set -euo pipefail
build=$(cd "$1" && pwd)
sim=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" "$build"
[ -x "$sim" ] || { echo "FAIL: no simulator at $sim (build the host preset first)" >&2; exit 1; }
c="$WINEPREFIX/drive_c"
work="$build/capture-test"
rm -rf "$work" "$c/tvcapture" && mkdir -p "$work" "$c/tvcapture"
cp "$build/tarnvale-capture.exe" "$c/tvcapture/"
cp "$here/../../examples/notebook-setup/netsetup.ini" "$c/tvcapture/"
capture() {
  "$WINE" 'C:\tvcapture\tarnvale-capture.exe' --script 'C:\tvcapture\netsetup.ini' --folder 'C:\tvcapture' \
    --out "C:\\tvcapture\\$1" || { echo "FAIL: tarnvale-capture exited with $?" >&2; exit 1; }
  mv "$c/tvcapture/$1" "$work/$1"
}
# Wine starts helpers of its own (winemenubuilder and the like) that end a
# moment later, more so in a new prefix: the captures are repeated until the
# machine has settled, and two captures of a settled machine must be the same
# text. A machine that never settles fails the test.
capture first.json
same=""
for try in 1 2 3 4 5 6 7 8 9 10; do
  sleep 2
  capture second.json
  if cmp -s "$work/first.json" "$work/second.json"; then same=$try; break; fi
  mv "$work/second.json" "$work/first.json"
done
if [ -z "$same" ]; then
  diff "$work/first.json" "$work/second.json" | head -20 >&2
  echo "FAIL: ten captures in a row, each unlike the one before" >&2
  exit 1
fi
grep -q '"by": "tarnvale-capture ' "$work/first.json" || { echo "FAIL: the capture does not say what made it" >&2; exit 1; }
# An output path where someone laid a link to another file: the link is
# replaced by the capture, and the file it pointed to keeps what it held.
printf 'keep' >"$c/tvcapture/victim.txt"
ln -sf "$c/tvcapture/victim.txt" "$c/tvcapture/linked.json"
"$WINE" 'C:\tvcapture\tarnvale-capture.exe' --out 'C:\tvcapture\linked.json' >/dev/null 2>&1 ||
  { echo "FAIL: tarnvale-capture could not write over a link" >&2; exit 1; }
[ "$(cat "$c/tvcapture/victim.txt")" = keep ] || { echo "FAIL: the capture was written through the link" >&2; exit 1; }
[ ! -L "$c/tvcapture/linked.json" ] && grep -q '"by": "tarnvale-capture ' "$c/tvcapture/linked.json" ||
  { echo "FAIL: the capture is not where --out names" >&2; exit 1; }
set +e
"$sim" --machine "$work/first.json" --no-report "$here/../../examples/notebook-setup/netsetup.ini" >"$work/trace.txt" 2>"$work/sim.err"
rc=$?
set -e
# The tool's own exit code is 1 after every run; 2 would be the simulator refusing the description.
if [ "$rc" -ne 1 ]; then
  cat "$work/sim.err" >&2
  echo "FAIL: the simulator ran the capture with exit code $rc" >&2
  exit 1
fi
echo "ok: two captures of $(wc -c <"$work/first.json") bytes are the same (after $same tries); the simulator ran the example on it"
