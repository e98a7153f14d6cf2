#!/usr/bin/env bash
# tarnvale-run under Wine, as a deployment system calls it: the exit code it
# gives for each kind of run, the CMTrace log it writes, and the trace switch
# it puts back exactly as it was.
#   runner.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh" "$build"
source "$here/case-lib.sh"

fail() { echo "FAIL runner: $*" >&2; exit 1; }

folder="$WINEPREFIX/drive_c/tvrun"
logs="$WINEPREFIX/drive_c/tvrunlogs"
switches='HKLM\SOFTWARE\VELTARO\Quillmark'
rm -rf "$folder" "$logs"
mkdir -p "$folder" "$logs"
cp "$build/tarnvale.exe" "$folder/netsetup.exe"
cp "$build/tarnvale-run.exe" "$folder/tarnvale-run.exe"
cp "$build/winhelper.exe" "$folder/winhelper.exe"

# run_tool VENDOR SCRIPT [RUNNER ARGS...]: lays SCRIPT beside the tool and runs
# the runner with WMI answering VENDOR; the runner's exit code is in $rc.
run_tool() {
  local vendor=$1 script=$2
  shift 2
  printf '%b' "$script" >"$folder/netsetup.ini"
  set +e
  unshare -m sh -c '
    mount -t tmpfs none /sys/class || exit 125
    mkdir -p /sys/class/dmi/id
    printf "%s\n" "$1" >/sys/class/dmi/id/sys_vendor
    printf "%s\n" Notebook >/sys/class/dmi/id/product_name
    printf "%s\n" ABCDEJGH >/sys/class/dmi/id/product_version
    shift
    exec "$@"' sh "$vendor" "$WINE" 'C:\tvrun\winhelper.exe' exitcode 'C:\tvrun\tarnvale-run.exe' "$@" \
    >"$build/runner.out" 2>&1
  rc=$?
  set -e
  [ $rc -eq 125 ] && fail "cannot mount a private /sys/class (unshare -m needs root)"
  # Wine gives the Unix shell the low byte of an exit code: the helper prints it whole.
  rc=$(tr -d '\r' <"$build/runner.out" | sed -n 's/^exit=//p' | tail -1)
  [ -n "$rc" ] || fail "the runner did not run: $(cat "$build/runner.out")"
  return 0
}

switch_state() { reg_value "$switches" DebugMode; }

# A log holds only well-formed CMTrace entries (after the byte-order mark).
check_log() {
  local log=$1
  [ -f "$log" ] || fail "no log at $log"
  head -c 3 "$log" | od -An -tx1 | grep -q 'ef bb bf' || fail "the log does not begin with a UTF-8 byte-order mark"
  local bad
  bad=$(tail -c +4 "$log" | tr -d '\r' | grep -cvE '^<!\[LOG\[.*\]LOG\]!><time="[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{3}" date="[0-9]{2}-[0-9]{2}-[0-9]{4}" component="[^"]*" context="" type="[123]" thread="[0-9]+" file="">$' || true)
  [ "$bad" = 0 ] || fail "$bad lines of $log are no CMTrace entry: $(tail -c +4 "$log" | tr -d '\r' | grep -vE '^<!\[LOG\[' | head -3)"
}

log="$logs/run.log"
winlog='C:\tvrunlogs\run.log'

# 1. A run that works: exit 0; every trace line is an entry; the switch absent before and after.
"$WINE" reg delete "$switches" /f >/dev/null 2>&1 || true
run_tool VELTARO '[INIT]\r\nCMD1=CHECK_VENDOR\r\nCMD2=REG_INI\r\nCMD2_SECTION=Reg\r\n[Reg]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SOFTWARE\\VELTARO\\Marker\r\nADDREG1_ENTRYNAME=Version\r\nADDREG1_VALUE=3\r\n' \
  --log "$winlog" 'C:\tvrun\netsetup.exe'
[ $rc -eq 0 ] || fail "a run that works: exit code $rc: $(cat "$build/runner.out") $(cat "$log" 2>/dev/null)"
check_log "$log"
grep -q 'component="netsetup" context="" type="1"' "$log" || fail "no trace line of the tool in the log"
grep -q '<!\[LOG\[AddDelRegFromIni:End\]LOG\]!>' "$log" || fail "the trace line AddDelRegFromIni:End is not an entry"
grep -q '<!\[LOG\[tarnvale-run 1\.[0-9.]* runs C:\\tvrun\\netsetup.exe' "$log" || fail "no first entry naming the runner and the tool"
grep -q '<!\[LOG\[CMD2=REG_INI \[Reg\]: ran\]LOG\]!>' "$log" || fail "no run summary in the log"
grep -q '<!\[LOG\[tarnvale-run exits with 0: ' "$log" || fail "no last entry with the exit code"
grep -q 'tarnvale-run-event\|tarnvale-run.tarnvale-run' "$log" && fail "a run event leaked into the log as text"
[ -z "$(switch_state)" ] || fail "DebugMode is '$(switch_state)' after the run; it was absent"
"$WINE" reg query "$switches" >/dev/null 2>&1 && fail "the switch key the runner made is still there"
[ "$(reg_value 'HKLM\SOFTWARE\VELTARO\Marker' Version)" = "REG_SZ 3" ] || fail "the script's value was not written"
# Every line the tool traced is one entry: the same run under tracecap gives as many lines.
cp "$build/tracecap.exe" "$folder/tracecap.exe"
"$WINE" reg add "$switches" /v DebugMode /t REG_DWORD /d 1 /f >/dev/null
traced=$(unshare -m sh -c '
    mount -t tmpfs none /sys/class || exit 125
    mkdir -p /sys/class/dmi/id
    echo VELTARO >/sys/class/dmi/id/sys_vendor
    echo Notebook >/sys/class/dmi/id/product_name
    echo ABCDEJGH >/sys/class/dmi/id/product_version
    exec "$@"' sh "$WINE" 'C:\tvrun\tracecap.exe' 'C:\tvrun\netsetup.exe' | grep -c '^netsetup:' || true)
"$WINE" reg delete "$switches" /f >/dev/null 2>&1 || true
entries=$(grep -c 'component="netsetup"' "$log")
[ "$traced" -gt 12 ] && [ "$entries" = "$traced" ] || fail "the log has $entries entries of the tool; tracecap read $traced lines"
echo "ok runner: a run that works ($entries trace lines, $entries entries)"

# 2. A switch that was 0 before is 0 after; a failing command gives 1603, with a type-3 entry.
"$WINE" reg add "$switches" /v DebugMode /t REG_DWORD /d 0 /f >/dev/null
run_tool VELTARO '[INIT]\r\nCMD1=COPY_FOLDERS\r\nCMD1_SECTION=C\r\n[C]\r\nFOLDER=1\r\nFOLDER1_SRC=C:\\tvgone\r\nFOLDER1_DEST=C:\\tvcopy\r\n' \
  --log "$winlog" 'C:\tvrun\netsetup.exe'
[ $rc -eq 1603 ] || fail "a failing command: exit code $rc, expected 1603"
grep -q 'Error CopyFolders C:\\tvgone->C:\\tvcopy\]LOG\]!>.*type="3"' "$log" || fail "the failure line is not an error entry"
[ "$(switch_state)" = "REG_DWORD 0x0" ] || fail "DebugMode is '$(switch_state)' after the run; it was 0"
echo "ok runner: a failing command gives 1603; a switch of 0 stays 0"
"$WINE" reg delete "$switches" /f >/dev/null 2>&1 || true

# 3. A machine check that stops the run gives 4.
run_tool "Other Maker" '[INIT]\r\nCMD1=CHECK_VENDOR\r\nCMD2=CHECK_MODEM\r\n' --log "$winlog" 'C:\tvrun\netsetup.exe'
[ $rc -eq 4 ] || fail "a machine check that stops: exit code $rc, expected 4"
grep -q '<!\[LOG\[Error check Vendor Other Maker\]LOG\]!>.*type="2"' "$log" || fail "the check line is not a warning entry"
echo "ok runner: a machine check that stops gives 4"

# 4. Another copy holds the mutex: 1618, nothing ran.
ready="$build/runner-holder.out"
rm -f "$ready"
# Made as a copy of the tool makes it: owned by Administrators, open to them and LocalSystem.
"$WINE" 'C:\tvrun\winhelper.exe' mutex netsetup.exe 20000 'O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)' >"$ready" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q ready "$ready" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$ready" || fail "the mutex holder did not start"
run_tool VELTARO '[INIT]\r\nCMD1=CHECK_VENDOR\r\n' --log "$winlog" 'C:\tvrun\netsetup.exe'
kill $holder 2>/dev/null || true
wait $holder 2>/dev/null || true
[ $rc -eq 1618 ] || fail "another copy running: exit code $rc, expected 1618"
echo "ok runner: another copy running gives 1618"

# 5. The tool is not there: 1, and the log says so.
run_tool VELTARO '[INIT]\r\n' --log "$winlog" 'C:\tvrun\absent.exe'
[ $rc -eq 1 ] || fail "a missing tool: exit code $rc, expected 1"
grep -q 'tarnvale-run exits with 1: the tool C:\\tvrun\\absent.exe is not there' "$log" || fail "the log does not say the tool is missing"
echo "ok runner: a missing tool gives 1, and the log says why"

# 6. A log past 1 MB becomes .lo_ and a new one is begun; runs are appended.
entries_before=$(grep -c 'tarnvale-run exits with' "$log")
head -c 1100000 /dev/zero | tr '\0' 'x' >"$log"
run_tool VELTARO '[INIT]\r\nCMD1=CHECK_VENDOR\r\n' --log "$winlog" 'C:\tvrun\netsetup.exe'
[ $rc -eq 0 ] || fail "the run after a full log: exit code $rc"
[ -f "$logs/run.lo_" ] || fail "the full log was not kept as run.lo_"
[ "$(stat -c %s "$logs/run.lo_")" -ge 1100000 ] || fail "run.lo_ is not the old log"
check_log "$log"
[ "$(grep -c 'tarnvale-run exits with' "$log")" = 1 ] || fail "the new log does not hold one run"
[ "$entries_before" -ge 4 ] || fail "runs were not appended to one log ($entries_before)"
echo "ok runner: a log past 1 MB is rotated to .lo_"

# 7. Without --log the log goes to %WINDIR%\Logs\Tarnvale\<tool>.log.
# (Wine's prefix names the folder "logs": Windows' names ignore case.)
windows_logs=$(find "$WINEPREFIX/drive_c/windows" -maxdepth 1 -iname logs | head -1)
[ -n "$windows_logs" ] && rm -rf "$windows_logs/Tarnvale"
run_tool VELTARO '[INIT]\r\nCMD1=CHECK_VENDOR\r\n' 'C:\tvrun\netsetup.exe'
[ $rc -eq 0 ] || fail "default log: exit code $rc"
windows_logs=$(find "$WINEPREFIX/drive_c/windows" -maxdepth 1 -iname logs | head -1)
check_log "$windows_logs/Tarnvale/netsetup.log"
echo "ok runner: the default log is %WINDIR%\\Logs\\Tarnvale\\netsetup.log"

# 8. A run after which Windows has files to replace at its next start: 3010.
pending='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
"$WINE" reg delete "$pending" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
run_tool VELTARO '[INIT]\r\nCMD1=REG_INI\r\nCMD1_SECTION=R\r\n[R]\r\nADDREG=1\r\nADDREG1_ROOT=HKLM\r\nADDREG1_SUBKEY=SYSTEM\\CurrentControlSet\\Control\\Session Manager\r\nADDREG1_ENTRYNAME=PendingFileRenameOperations\r\nADDREG1_FLAGS=0x00010000\r\nADDREG1_VALUE=\\??\\C:\\tvrun\\old.dll\r\n' \
  --log "$winlog" 'C:\tvrun\netsetup.exe'
"$WINE" reg delete "$pending" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
[ $rc -eq 3010 ] || fail "files to replace at the next start: exit code $rc, expected 3010: $(tail -c 600 "$log")"
echo "ok runner: files waiting for the next start give 3010"

# 9. A runner ended outright (a deployment system's time-out kills it) left
# the switch on, with its record of how it was: the next run puts it back.
"$WINE" reg add "$switches" /v DebugMode /t REG_DWORD /d 1 /f >/dev/null
"$WINE" reg add "$switches" /v DebugModeBeforeTarnvaleRun /t REG_BINARY /d 01040000000000000000 /f >/dev/null
run_tool VELTARO '[INIT]\r\nCMD1=CHECK_VENDOR\r\n' --log "$winlog" 'C:\tvrun\netsetup.exe'
[ $rc -eq 0 ] || fail "the run after an ended runner: exit code $rc"
grep -q 'an earlier tarnvale-run was ended before it put the trace switch back' "$log" || fail "the recovery is not logged"
[ "$(switch_state)" = "REG_DWORD 0x0" ] || fail "DebugMode is '$(switch_state)'; the ended runner's record said 0"
[ -z "$(reg_value "$switches" DebugModeBeforeTarnvaleRun)" ] || fail "the record of the ended runner is still there"
"$WINE" reg delete "$switches" /f >/dev/null 2>&1 || true
echo "ok runner: a runner that was ended outright is mended by the next"
