#!/usr/bin/env bash
# Runs one end-to-end case of the real executable under Wine.
#   run-case.sh BUILD_DIR CASE_DIR
# A case folder holds:
#   setup.ini     the setup script laid beside the tool (absent: no setup script)
#   case.conf     shell settings (defaults below)
#   expected.txt  the debugger output exactly, a carriage return written as \r
#                 (or expected-lines.txt: lines that must each occur, where the
#                 output depends on Wine's own devices)
#   files/        anything else to lay beside the tool
# TOOL picks the build's executable (tarnvale-routed.exe sends the device calls
# that 64-bit Windows refuses a 32-bit process to the companion, which
# COMPANION=yes lays beside it). case.conf may define before_run and after_run; after_run checks what the
# run did (reg query, files) and fails the case by failing itself. The
# folder of the tool is $folder, its Windows path C:\tvcase.
# UPDATE_EXPECTED=1 writes the output as the new expected.txt (review it!).
# DIFF_DIR=FOLDER also captures the machine (tarnvale-capture) right before
# the run and after it, with the whole registry besides, and keeps the trace
# there, for tests/wine/differential.sh. WHATIF=1 with DIFF_DIR also runs
# tarnvale-sim.exe --this-machine on the script right after that capture and
# captures the machine again before the tool runs, for tests/wine/what-if.sh.
# The case fails with the reason when Wine, unshare or the prefix cannot be had.
set -euo pipefail
build=$(cd "$1" && pwd)
case_dir=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" "$build"
source "$here/case-lib.sh"

EXE=tarnvale.exe              # the file name the tool is laid under
TOOL=tarnvale.exe             # the build's executable that is laid there
COMPANION=""                  # yes: the 64-bit companion is laid beside it as <base name>64.exe
VENDOR=VELTARO                # what WMI reports; "wine" keeps Wine's own answer
VERSION=ABCDEFGH
DEBUGMODE="REG_DWORD 1"       # type and data of DebugMode; empty: no value
TESTMODE=""
ARGS=""
HOLD_MUTEX=""                 # a mutex another process holds while the tool runs
HOLD_MUTEX_SDDL=""            # its security descriptor (empty: the holder's default rights)
HELPER_AS=""                  # names under which the test helper is laid beside the tool
EXPECT_EXIT=1
[ -f "$case_dir/case.conf" ] && source "$case_dir/case.conf"

fail() { echo "FAIL $(basename "$case_dir"): $*" >&2; exit 1; }

folder="$WINEPREFIX/drive_c/tvcase"
rm -rf "$folder"
mkdir -p "$folder"
cp "$build/$TOOL" "$folder/$EXE"
[ -n "$COMPANION" ] && cp "$build/tarnvale64.exe" "$folder/${EXE%.*}64.exe"
cp "$build/tracecap.exe" "$folder/tracecap.exe"
[ -f "$case_dir/setup.ini" ] && cp "$case_dir/setup.ini" "$folder/${EXE%.*}.ini"
[ -d "$case_dir/files" ] && cp -r "$case_dir/files/." "$folder/"
for name in $HELPER_AS; do cp "$build/winhelper.exe" "$folder/$name"; done

switches='HKLM\SOFTWARE\VELTARO\Quillmark'
"$WINE" reg delete "$switches" /f >/dev/null 2>&1 || true
set_switch() {
  [ -z "$2" ] && return 0
  read -r type data <<<"$2"
  "$WINE" reg add "$switches" /v "$1" /t "$type" /d "$data" /f >/dev/null 2>&1 || fail "reg add $1 failed"
}
set_switch DebugMode "$DEBUGMODE"
set_switch TestMode "$TESTMODE"

if declare -F before_run >/dev/null; then before_run || fail "before_run failed"; fi

holder_pid=""
cleanup() { [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT
if [ -n "$HOLD_MUTEX" ]; then
  ready="$build/wine-holder.out"
  rm -f "$ready"
  "$WINE" "$build/winhelper.exe" mutex "$HOLD_MUTEX" 20000 ${HOLD_MUTEX_SDDL:+"$HOLD_MUTEX_SDDL"} >"$ready" 2>&1 &
  holder_pid=$!
  for _ in $(seq 100); do grep -q ready "$ready" 2>/dev/null && break; sleep 0.1; done
  grep -q ready "$ready" || fail "the mutex holder did not start: $(cat "$ready")"
fi

capture=()
if [ -n "${DIFF_DIR:-}" ]; then
  mkdir -p "$DIFF_DIR"
  rm -f "$DIFF_DIR"/before.json "$DIFF_DIR"/after.json "$DIFF_DIR"/*-registry.txt "$DIFF_DIR"/wine-trace.txt
  cp "$build/tarnvale-capture.exe" "$WINEPREFIX/drive_c/tvcapture.exe"
  # The Wine cases run the x86_64 build of the tool: the machine as it sees it.
  capture=("$WINE" 'C:\tvcapture.exe' --script "C:\\tvcase\\${EXE%.*}.ini" --tool-bits 64)
fi
# The what-if, and the capture that shows it changed nothing, as one command
# line for the shell inside the private mount namespace.
WHATIF_STEP=""
if [ -n "${DIFF_DIR:-}" ] && [ "${WHATIF:-}" = 1 ]; then
  rm -rf "$WINEPREFIX/drive_c/tvwhatif" "$DIFF_DIR"/whatif-* "$DIFF_DIR"/between*
  mkdir -p "$WINEPREFIX/drive_c/tvwhatif"
  cp "$build/tarnvale-sim.exe" "$WINEPREFIX/drive_c/tvwhatif/"
  w='C:\tvwhatif'
  WHATIF_STEP="'$WINE' '$w\tarnvale-sim.exe' --this-machine --tool-bits 64 --capture-out '$w\described.json' \
    --capture-after '$w\after.json' --registry-dump-before '$w\before-registry.txt' \
    --registry-dump-after '$w\after-registry.txt' --report '$w\report.txt' 'C:\tvcase\\${EXE%.*}.ini' \
    ${ARGS:+-- $ARGS} >'$DIFF_DIR/whatif-trace.txt' 2>'$DIFF_DIR/whatif.err'; echo \$? >'$DIFF_DIR/whatif-rc.txt'
    '$WINE' 'C:\tvcapture.exe' --script 'C:\tvcase\\${EXE%.*}.ini' --tool-bits 64 --out 'C:\tvbetween.json' \
    --registry-dump 'C:\tvbetween-registry.txt' >/dev/null 2>&1"
fi
export WHATIF_STEP
run=("$WINE" 'C:\tvcase\tracecap.exe' "C:\\tvcase\\$EXE")
[ -n "$ARGS" ] && run+=($ARGS)
out="$build/wine-case.out"
set +e
if [ "$VENDOR" = wine ]; then
  [ ${#capture[@]} -gt 0 ] && "${capture[@]}" --out 'C:\tvbefore.json' --registry-dump 'C:\tvbefore-registry.txt' >/dev/null 2>&1
  [ -n "$WHATIF_STEP" ] && sh -c "$WHATIF_STEP"
  "${run[@]}" >"$out" 2>"$out.err"
  rc=$?
else
  # Wine builds the firmware table that WMI reads from /sys/class/dmi/id; a
  # private mount namespace gives the tool the maker and model it should see.
  unshare -m sh -c '
    mount -t tmpfs none /sys/class || exit 125
    mkdir -p /sys/class/dmi/id
    printf "%s\n" "$1" >/sys/class/dmi/id/sys_vendor
    printf "%s\n" Notebook >/sys/class/dmi/id/product_name
    printf "%s\n" "$2" >/sys/class/dmi/id/product_version
    # The capture sees the machine the tool is about to see.
    [ -n "$3" ] && "$4" "$3" --script "$5" --tool-bits 64 --out "C:\\tvbefore.json" \
      --registry-dump "C:\\tvbefore-registry.txt" >/dev/null 2>&1
    [ -n "$WHATIF_STEP" ] && sh -c "$WHATIF_STEP"
    shift 5
    exec "$@"' sh "$VENDOR" "$VERSION" "${capture[1]:-}" "$WINE" "${capture[3]:-}" "${run[@]}" >"$out" 2>"$out.err"
  rc=$?
  [ $rc -eq 125 ] && fail "cannot mount a private /sys/class (unshare -m needs root): $(cat "$out.err")"
fi
set -e

if [ -n "${DIFF_DIR:-}" ]; then
  cp "$out" "$DIFF_DIR/wine-trace.txt"
  "${capture[@]}" --out 'C:\tvafter.json' --registry-dump 'C:\tvafter-registry.txt' >/dev/null 2>&1 || true
  for what in before.json after.json before-registry.txt after-registry.txt between.json between-registry.txt; do
    mv "$WINEPREFIX/drive_c/tv$what" "$DIFF_DIR/$what" 2>/dev/null || true
  done
  if [ -n "$WHATIF_STEP" ]; then
    for what in described.json after.json before-registry.txt after-registry.txt report.txt; do
      mv "$WINEPREFIX/drive_c/tvwhatif/$what" "$DIFF_DIR/whatif-$what" 2>/dev/null || true
    done
  fi
fi
# The folder made for a generated INF has a random GUID in its name.
actual=$(sed -E 's/\r/\\r/g; s/Tarnvale\.[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}/Tarnvale.{GUID}/g' "$out")
if [ "${UPDATE_EXPECTED:-}" = 1 ] && [ ! -f "$case_dir/expected-lines.txt" ]; then printf '%s\n' "$actual" >"$case_dir/expected.txt"; fi
if [ -f "$case_dir/expected-lines.txt" ]; then
  while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$actual" || { echo "$actual" >&2; fail "no line: $line"; }
  done <"$case_dir/expected-lines.txt"
else
  expected=$(cat "$case_dir/expected.txt")
  if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    fail "debugger output differs (- expected, + actual)"
  fi
fi
[ "$rc" -eq "$EXPECT_EXIT" ] || fail "exit code $rc, expected $EXPECT_EXIT; stderr: $(head -c 2000 "$out.err")"
if declare -F after_run >/dev/null; then after_run || fail "after_run: what the run left is not what was expected"; fi
echo "ok $(basename "$case_dir")"
