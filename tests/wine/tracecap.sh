#!/usr/bin/env bash
# tracecap ended while the program it reads runs: the program runs on to its
# own end, as an install must (Windows' default would kill it with its debugger).
#   tracecap.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" "$build"

fail() { echo "FAIL tracecap: $*" >&2; exit 1; }

folder="$WINEPREFIX/drive_c/tvtrace"
rm -rf "$folder"
mkdir -p "$folder"
cp "$build/tracecap.exe" "$folder/tracecap.exe"
cp "$build/winhelper.exe" "$folder/sleeper.exe"  # waits three seconds, then writes survived.txt

"$WINE" 'C:\tvtrace\tracecap.exe' 'C:\tvtrace\sleeper.exe' >/dev/null 2>&1 &
tracecap=$!
# The sleeper runs three seconds once it has started; tracecap is ended in
# the middle of them (Wine's processes show their Windows path to ps).
for _ in $(seq 100); do
  pgrep -f '^[A-Za-z]:.tvtrace.sleeper\.exe' >/dev/null && break
  sleep 0.1
done
pgrep -f '^[A-Za-z]:.tvtrace.sleeper\.exe' >/dev/null || fail "the sleeper did not start under tracecap"
sleep 1
kill -9 "$tracecap" 2>/dev/null || fail "tracecap was not running"
[ -f "$folder/survived.txt" ] && fail "the sleeper ended before tracecap was ended: the test proves nothing"
wait "$tracecap" 2>/dev/null || true
for _ in $(seq 100); do
  [ -f "$folder/survived.txt" ] && break
  sleep 0.1
done
[ -f "$folder/survived.txt" ] || fail "the program ended with tracecap: it did not write survived.txt"
echo "ok tracecap: the program runs on when tracecap is ended"
