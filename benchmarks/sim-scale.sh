#!/usr/bin/env bash
# The simulator at the size of real driver packages and generated scripts:
# peak memory (GNU time's maximum resident set) and time of
#   - a run of the notebook-line example whose package holds a 2 GB file
#     (sparse on the host) that INSTALL_DRIVER copies (target: under 200 MB);
#   - lint and run of a generated script of about 50 MB: 64 REG_INI commands
#     of 6,500 entries each (target: under 4 times the script's size).
#   - run of the same script with its commands turned into checks that read
#     no section: the parse alone (target: under 4 times its size).
# Usage: benchmarks/sim-scale.sh BUILD_DIR   (the host build)
set -euo pipefail
sim=$(cd "$1" && pwd)/tarnvale-sim
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

peak() {  # LABEL COMMAND...: prints "LABEL: S s, M MB" and leaves the MB in $mb
  local label=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1 || true
  read -r seconds kb < <(tail -1 "$work/time")
  mb=$((kb / 1024))
  echo "$label: $seconds s, $mb MB peak"
}

mkdir -p "$work/pkg"
cp -r "$here/../examples/notebook-setup/." "$work/pkg/"
truncate -s 2G "$work/pkg/driver/firmware.bin"
peak "package with a 2 GB file, run" "$sim" --machine "$here/../examples/machines/pv715-xp-all-devices.json" \
  "$work/pkg/netsetup.ini"
echo "  ratio to the target of 200 MB: $(awk -v a="$mb" 'BEGIN {printf "%.2f", a / 200}')"

mkdir -p "$work/big"
python3 - "$work/big/netsetup.ini" <<'PY'
import sys
with open(sys.argv[1], 'w', newline='') as out:
    out.write("[INIT]\r\n")
    for c in range(1, 65):
        out.write(f"CMD{c}=REG_INI\r\nCMD{c}_SECTION=Reg{c}\r\n")
    for c in range(1, 65):
        lines = [f"[Reg{c}]\r\n", "ADDREG=6500\r\n"]
        for i in range(1, 6501):
            k = f"ADDREG{i}"
            lines.append(f"{k}_ROOT=HKLM\r\n{k}_SUBKEY=SOFTWARE\\Gen\\Part{c}\r\n{k}_ENTRYNAME=Value{i}\r\n{k}_VALUE=data {i}\r\n")
        out.write(''.join(lines))
PY
size_mb=$(( $(stat -c %s "$work/big/netsetup.ini") / 1024 / 1024 ))
peak "lint of a ${size_mb} MB script" "$sim" lint "$work/big/netsetup.ini"
echo "  ratio of peak memory to 4 times the script: $(awk -v a="$mb" -v s="$size_mb" 'BEGIN {printf "%.2f", a / (4 * s)}')"
peak "run of a ${size_mb} MB script (416,000 registry values written, no report)" "$sim" --no-report "$work/big/netsetup.ini"
echo "  ratio of peak memory to 4 times the script: $(awk -v a="$mb" -v s="$size_mb" 'BEGIN {printf "%.2f", a / (4 * s)}')"
peak "the same run with the report" "$sim" "$work/big/netsetup.ini"
echo "  ratio of peak memory to 4 times the script: $(awk -v a="$mb" -v s="$size_mb" 'BEGIN {printf "%.2f", a / (4 * s)}')"
peak "the same run with the report in JSON" "$sim" --json "$work/big/netsetup.ini"
echo "  ratio of peak memory to 4 times the script: $(awk -v a="$mb" -v s="$size_mb" 'BEGIN {printf "%.2f", a / (4 * s)}')"
mkdir -p "$work/checks"
sed 's/=REG_INI\r$/=CHECK_WOW6432\r/' "$work/big/netsetup.ini" >"$work/checks/netsetup.ini"
peak "run of the ${size_mb} MB script whose commands read no section (the parse)" "$sim" --no-report \
  "$work/checks/netsetup.ini"
echo "  ratio of peak memory to 4 times the script: $(awk -v a="$mb" -v s="$size_mb" 'BEGIN {printf "%.2f", a / (4 * s)}')"
