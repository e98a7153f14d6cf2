#!/usr/bin/env bash
# Times the real executable under Wine against yardsticks, as ratios in one run:
#   start-up: tarnvale.exe on a setup script with no command, against a GUI
#             program of the same toolchain that makes one WMI query (target 1.1);
#   copy:     INSTALL_DRIVER's copy of a driver package of FILES files (SIZE MB
#             in all) against cp -r of the same tree on the same disk (target 1.25).
# Usage: benchmarks/wine-bench.sh BUILD_DIR [RUNS] [FILES] [SIZE_MB]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-15}
files=${3:-2000}
size_mb=${4:-200}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/wine/wine-env.sh" "$build"
bash "$here/../tests/wine/make-prefix.sh" "$build" >/dev/null
c="$WINEPREFIX/drive_c"
rm -rf "$c/tvbench" && mkdir -p "$c/tvbench"
cp "$build/tarnvale.exe" "$build/wmi_probe.exe" "$c/tvbench/"
printf '[INIT]\r\n' >"$c/tvbench/tarnvale.ini"
"$WINE" reg delete 'HKLM\SOFTWARE\VELTARO\Quillmark' /f >/dev/null 2>&1 || true
"$(dirname "$WINE")/wineserver" -p 60 2>/dev/null || true  # keep it warm between runs

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }

for _ in 1 2; do time_ms "$WINE" 'C:\tvbench\tarnvale.exe' >/dev/null; time_ms "$WINE" 'C:\tvbench\wmi_probe.exe' >/dev/null; done
tool=(); probe=()
for _ in $(seq "$runs"); do
  tool+=("$(time_ms "$WINE" 'C:\tvbench\tarnvale.exe')")
  probe+=("$(time_ms "$WINE" 'C:\tvbench\wmi_probe.exe')")
done
t=$(printf '%s\n' "${tool[@]}" | median); p=$(printf '%s\n' "${probe[@]}" | median)
echo "start-up: tarnvale ${t} ms, one-WMI-query GUI program ${p} ms, ratio $(awk -v a="$t" -v b="$p" 'BEGIN {printf "%.2f", a / b}') (target 1.10), median of $runs"

# The copy: a package of many files beside the tool, copied by INSTALL_DRIVER.
pkg="$c/tvbench/pkg" && rm -rf "$pkg" && mkdir -p "$pkg"
per_file=$(( size_mb * 1024 * 1024 / files ))
for i in $(seq "$files"); do
  d="$pkg/d$(( i % 20 ))"; mkdir -p "$d"
  head -c "$per_file" /dev/urandom >"$d/f$i.bin"
done
cp "$build/tarnvale.exe" "$pkg/"
printf '[INIT]\r\nCMD1=INSTALL_DRIVER\r\nCMD1_SECTION=Drv\r\n[Drv_VISTA]\r\nDESTDIR=TarnvaleBench\r\n' >"$pkg/tarnvale.ini"
sync
copy_start=$(date +%s%N)
"$WINE" 'C:\tvbench\pkg\tarnvale.exe' >/dev/null 2>&1 || true
copy_end=$(date +%s%N)
tool_copy=$(( (copy_end - copy_start) / 1000000 - 20000 ))  # INSTALL_DRIVER then waits 20 s by design
rm -rf "$c/tvbench/cp-copy"; sync
cp_ms=$(time_ms cp -r "$pkg" "$c/tvbench/cp-copy")
echo "copy: INSTALL_DRIVER ${tool_copy} ms (its 20 s wait taken off), cp -r ${cp_ms} ms, ratio $(awk -v a="$tool_copy" -v b="$cp_ms" 'BEGIN {printf "%.2f", a / b}') (target 1.25), $files files, $size_mb MB"
rm -rf "$pkg" "$c/tvbench/cp-copy" "$c/Program Files/TarnvaleBench"
