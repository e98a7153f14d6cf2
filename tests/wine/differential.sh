#!/usr/bin/env bash
# Holds the simulator to Windows (Wine here), case by case: each end-to-end
# case runs under Wine with the machine captured right before the run and
# after it; the simulator then runs the same script on the captured machine.
# The two traces must agree line by line; the registry keys, folders and
# files the script names and the devices must end the same; and what the run
# changed anywhere in the registry (two dumps of the whole of HKLM and HKCU on
# each side, before and after) must be the same changes, apart from what
# known-differences.txt lists with its reason. Prints each case and "N of M
# cases agree"; fails on any case that differs without a listed reason on two
# runs in a row.
# WHATIF=1: the simulator's side is tarnvale-sim.exe --this-machine, run
# under Wine on the machine itself right before the tool (its prediction),
# and the machine must be as it was after it (the registry unchanged, the
# capture the same).
#   [WHATIF=1] differential.sh BUILD_DIR HOST_SIM [CASE...]
set -uo pipefail
build=$(cd "$1" && pwd)
sim=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$sim" ] || { echo "FAIL: no simulator at $sim (build the host preset first)" >&2; exit 1; }
known="$here/known-differences.txt"
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=("$here"/cases/*)
work="$build/differential"
rm -rf "$work"
mkdir -p "$work"

# The reasons of a case: "skip CASE reason", "ignore CASE|* REGEX reason",
# "mask CASE|* REGEX reason", "file CASE|* REGEX reason" (files whose path
# matches are not compared) or "regkey CASE|* REGEX reason" (changes under
# the registry keys whose upper-case path matches are not compared).
skip_reason() { awk -v c="$1" '$1 == "skip" && $2 == c { $1 = ""; $2 = ""; sub(/^ +/, ""); print; exit }' "$known"; }
ignores() { awk -v c="$1" '$1 == "ignore" && ($2 == c || $2 == "*") { print $3 }' "$known"; }
masks() { awk -v c="$1" '$1 == "mask" && ($2 == c || $2 == "*") { print $3 }' "$known"; }
unfiled() { awk -v c="$1" '$1 == "file" && ($2 == c || $2 == "*") { print $3 }' "$known"; }
unkeyed() { awk -v c="$1" '$1 == "regkey" && ($2 == c || $2 == "*") { print $3 }' "$known"; }

normalise() {  # TRACE_FILE CASE: the trace without carriage returns and without the lines listed to ignore
  local text
  text=$(tr -d '\r' <"$1")
  while IFS= read -r pattern; do
    [ -z "$pattern" ] && continue
    text=$(grep -vE -- "$pattern" <<<"$text")
  done < <(ignores "$2")
  while IFS= read -r pattern; do
    [ -z "$pattern" ] && continue
    text=$(sed -E "s/$pattern/<masked>/g" <<<"$text")
  done < <(masks "$2")
  printf '%s\n' "$text"
}

registry() {  # CAPTURE.json CASE: its registry entries, one line each, without the values the case's
  # "regkey" rules leave out (a value's subject: its key's path, a blank, its name in quotation marks, upper case)
  local rules=() p
  while IFS= read -r p; do [ -n "$p" ] && rules+=("$p"); done < <(unkeyed "$2")
  python3 -c '
import json, re, sys
rules = [re.compile(p, re.IGNORECASE) for p in sys.argv[2:] if p]
for k in json.load(open(sys.argv[1])).get("registry", []):
    values = k.get("values")
    if isinstance(values, dict):
        path = k.get("key", "").upper()
        k["values"] = {n: v for n, v in values.items()
                       if not any(r.search(path + " " + json.dumps((n or "@").upper())) for r in rules)}
    print(json.dumps(k, sort_keys=True))' "$1" "${rules[@]}"
}

files() {  # CAPTURE.json TOOL: its folders, files (size, attributes, content), links and devices, one line each;
  # not the tool's own image, for which the simulator lays a stand-in
  python3 -c '
import json, sys
c = json.load(open(sys.argv[1]))
for f in c.get("folders", []): print("folder", f)
for name, entry in sorted(c.get("files", {}).items()):
    if name.lower() != sys.argv[2].lower(): print("file", name, json.dumps(entry, sort_keys=True))
for name, target in sorted(c.get("links", {}).items()): print("link", name, target)
for d in c.get("devices", []): print("device", json.dumps(d, sort_keys=True))' "$1" "$2"
}

agree=0
ran=0
failed=0
# Runs one case under Wine and in the simulator and compares them; sets
# `differs` ("" when they agree) and `broken` (no capture or trace under Wine).
compare_case() {  # CASE_DIR DIR
  local case_dir=$1 dir=$2 name
  name=$(basename "$case_dir")
  differs=""
  broken=""
  rm -rf "$dir"
  mkdir -p "$dir"
  DIFF_DIR="$dir" WHATIF="${WHATIF:-}" bash "$here/run-case.sh" "$build" "$case_dir" >"$dir/case.log" 2>&1
  if [ ! -s "$dir/before.json" ] || [ ! -s "$dir/before-registry.txt" ] || [ ! -f "$dir/wine-trace.txt" ]; then
    broken="no capture, registry dump or trace under Wine: $(tail -3 "$dir/case.log")"
    return
  fi
  EXE=tarnvale.exe
  ARGS=""
  (source "$case_dir/case.conf" 2>/dev/null; echo "$EXE"; echo "$ARGS") >"$dir/settings" || true
  EXE=$(sed -n 1p "$dir/settings")
  ARGS=$(sed -n 2p "$dir/settings")
  pkg="$dir/package"
  mkdir -p "$pkg"
  script="$pkg/${EXE%.*}.ini"
  if [ -f "$case_dir/setup.ini" ]; then cp "$case_dir/setup.ini" "$script"; else : >"$script.absent"; fi
  [ -d "$case_dir/files" ] && cp -r "$case_dir/files/." "$pkg/"
  args=()
  [ -n "$ARGS" ] && args=(-- $ARGS)
  local wine_before="$dir/before-registry.txt" leave=() pattern
  while IFS= read -r pattern; do
    [ -n "$pattern" ] && leave+=(--leave-out "$pattern")
  done < <(unkeyed "$name")
  if [ "${WHATIF:-}" = 1 ]; then
    if [ ! -s "$dir/whatif-after.json" ] || [ ! -s "$dir/between-registry.txt" ]; then
      broken="no what-if or no capture after it: $(cat "$dir/whatif.err" 2>/dev/null | head -3)"
      return
    fi
    # What the what-if changed on the machine: nothing.
    python3 "$here/registry-changes.py" "$dir/before-registry.txt" "$dir/between-registry.txt" "${leave[@]}" \
      >"$dir/whatif-changed.txt"
    [ -s "$dir/whatif-changed.txt" ] && differs="$differs what-if-changed-the-registry"
    cmp -s <(grep -v '"by": ' "$dir/before.json") <(grep -v '"by": ' "$dir/between.json") ||
      differs="$differs what-if-changed-the-capture"
    cp "$dir/whatif-trace.txt" "$dir/sim-trace.txt"
    cp "$dir/whatif-after.json" "$dir/sim-after.json"
    cp "$dir/whatif-before-registry.txt" "$dir/sim-before-registry.txt"
    cp "$dir/whatif-after-registry.txt" "$dir/sim-after-registry.txt"
    wine_before="$dir/between-registry.txt"
  else
  "$sim" --machine "$dir/before.json" --package-folder 'C:\tvcase' --no-report --tool-bits 64 \
    --capture-after "$dir/sim-after.json" --registry-dump-before "$dir/sim-before-registry.txt" \
    --registry-dump-after "$dir/sim-after-registry.txt" "$script" "${args[@]}" >"$dir/sim-trace.txt" 2>"$dir/sim.err"
  fi
  normalise "$dir/wine-trace.txt" "$name" >"$dir/wine.cmp"
  normalise "$dir/sim-trace.txt" "$name" >"$dir/sim.cmp"
  if ! diff -u "$dir/wine.cmp" "$dir/sim.cmp" >"$dir/trace.diff"; then differs="trace"; fi
  if [ -s "$dir/after.json" ] && [ -s "$dir/sim-after.json" ]; then
    registry "$dir/after.json" "$name" >"$dir/wine-registry.txt"
    registry "$dir/sim-after.json" "$name" >"$dir/sim-registry.txt"
    diff -u "$dir/wine-registry.txt" "$dir/sim-registry.txt" >"$dir/registry.diff" || differs="$differs registry"
    files "$dir/after.json" "C:\\tvcase\\$EXE" >"$dir/wine-files.txt"
    files "$dir/sim-after.json" "C:\\tvcase\\$EXE" >"$dir/sim-files.txt"
    while IFS= read -r pattern; do
      [ -z "$pattern" ] && continue
      grep -vE -- "$pattern" "$dir/wine-files.txt" >"$dir/w.tmp"; mv "$dir/w.tmp" "$dir/wine-files.txt"
      grep -vE -- "$pattern" "$dir/sim-files.txt" >"$dir/s.tmp"; mv "$dir/s.tmp" "$dir/sim-files.txt"
    done < <(unfiled "$name")
    diff -u "$dir/wine-files.txt" "$dir/sim-files.txt" >"$dir/files.diff" || differs="$differs files"
  fi
  if [ -s "$dir/after-registry.txt" ] && [ -s "$dir/sim-after-registry.txt" ]; then
    python3 "$here/registry-changes.py" "$wine_before" "$dir/after-registry.txt" "${leave[@]}" \
      >"$dir/wine-changes.txt"
    python3 "$here/registry-changes.py" "$dir/sim-before-registry.txt" "$dir/sim-after-registry.txt" "${leave[@]}" \
      >"$dir/sim-changes.txt"
    diff -u "$dir/wine-changes.txt" "$dir/sim-changes.txt" >"$dir/changes.diff" || differs="$differs whole-registry"
  else
    differs="$differs no-registry-dump-after"
  fi
}

show_difference() {  # DIR
  sed -n '3,40p' "$1/trace.diff" "$1/registry.diff" "$1/files.diff" "$1/changes.diff" 2>/dev/null
  head -20 "$1/whatif-changed.txt" 2>/dev/null
}

for case_dir in "${cases[@]}"; do
  name=$(basename "$case_dir")
  reason=$(skip_reason "$name")
  if [ -n "$reason" ]; then
    echo "skip $name: $reason"
    continue
  fi
  compare_case "$case_dir" "$work/$name"
  # Wine on a machine it had just been installed on once gave a trace short
  # of a line in a case that agrees on every other run: a case that differs
  # runs once more, and its first difference is shown either way, so an
  # answer that changes from run to run is seen, not hidden.
  if [ -n "$differs$broken" ]; then
    first="$work/$name.first"
    rm -rf "$first"
    mv "$work/$name" "$first"
    echo "again $name: the first run ${broken:-differed ($differs)}, - Wine, + simulator:"
    show_difference "$first"
    compare_case "$case_dir" "$work/$name"
  fi
  if [ -n "$broken" ]; then
    echo "FAIL $name: $broken"
    failed=$((failed + 1))
    continue
  fi
  ran=$((ran + 1))
  if [ -z "$differs" ]; then
    echo "agree $name"
    agree=$((agree + 1))
  else
    echo "DIFFER $name ($differs), - Wine, + simulator:"
    show_difference "$work/$name"
    failed=$((failed + 1))
  fi
done
echo "$agree of $ran cases agree"
[ "$failed" -eq 0 ]
