#!/usr/bin/env bash
# tarnvale-sim.exe under Wine against its yardsticks, as ratios in one run:
#   what-if:  tarnvale-sim.exe --this-machine on the bundled example against
#             tarnvale-capture.exe describing the same machine for the same
#             script (target at most 1.5);
#   lint:     tarnvale-sim.exe lint of the bundled example under Wine against
#             the Linux build's lint of it plus Wine's start of a program that
#             does nothing (target at most 1.5).
# Runs interleaved, GAP seconds apart (0.3); the medians compared.
# Usage: benchmarks/sim-exe-bench.sh BUILD_DIR HOST_SIM [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
sim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
runs=${3:-15}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
source "$here/../tests/wine/wine-env.sh" "$build"
bash "$here/../tests/wine/make-prefix.sh" "$build" >/dev/null
c="$WINEPREFIX/drive_c/tvsimbench"
rm -rf "$c" && mkdir -p "$c"
cp -r "$root/examples/notebook-setup/." "$c/"
cp "$build/tarnvale-sim.exe" "$build/tarnvale-capture.exe" "$build/winhelper.exe" "$c/"
"$(dirname "$WINE")/wineserver" -p 60 2>/dev/null || true  # keep it warm between runs

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

script='C:\tvsimbench\netsetup.ini'
capture=("$WINE" 'C:\tvsimbench\tarnvale-capture.exe' --script "$script" --out 'C:\tvsimbench\machine.json')
whatif=("$WINE" 'C:\tvsimbench\tarnvale-sim.exe' --this-machine --report 'C:\tvsimbench\report.txt' "$script")
wine_lint=("$WINE" 'C:\tvsimbench\tarnvale-sim.exe' lint "$script")
linux_lint=("$sim" lint "$root/examples/notebook-setup/netsetup.ini")
empty=("$WINE" 'C:\tvsimbench\winhelper.exe' nothing)
for _ in 1 2; do time_ms "${whatif[@]}" >/dev/null; time_ms "${capture[@]}" >/dev/null; done
gap=${GAP:-0.3}
a=(); b=(); l=(); h=(); e=()
for _ in $(seq "$runs"); do
  sleep "$gap"; a+=("$(time_ms "${capture[@]}")")
  sleep "$gap"; b+=("$(time_ms "${whatif[@]}")")
  sleep "$gap"; l+=("$(time_ms "${wine_lint[@]}")")
  sleep "$gap"; h+=("$(time_ms "${linux_lint[@]}")")
  sleep "$gap"; e+=("$(time_ms "${empty[@]}")")
done
ma=$(printf '%s\n' "${a[@]}" | median); mb=$(printf '%s\n' "${b[@]}" | median)
ml=$(printf '%s\n' "${l[@]}" | median); mh=$(printf '%s\n' "${h[@]}" | median); me=$(printf '%s\n' "${e[@]}" | median)
echo "what-if: tarnvale-sim.exe --this-machine median ${mb} ms, tarnvale-capture.exe median ${ma} ms," \
  "ratio $(ratio "$mb" "$ma"); target at most 1.5; $runs runs each, interleaved, ${gap} s apart"
echo "lint: under Wine median ${ml} ms, the Linux build ${mh} ms + Wine's start of an empty program ${me} ms," \
  "ratio $(ratio "$ml" "$((mh + me))"); target at most 1.5"
