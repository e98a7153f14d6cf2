#!/usr/bin/env bash
# The 64-bit companion under Wine, started by hand: it refuses a command line
# without an operation with its usage and exit code 87, and for an operation
# that Wine does not implement (the property change of a device: Wine's
# SetupDiSetClassInstallParamsW is a stub) it exits with Wine's failure, which
# is what the tool then takes for its own call's.
#   companion.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/wine-env.sh" "$build"
fail() { echo "FAIL companion: $*" >&2; exit 1; }

set +e
usage=$("$WINE" "$build/tarnvale64.exe" 2>&1)
rc=$?
set -e
[ $rc -eq 87 ] || fail "no operation: exit code $rc, expected 87"
grep -q "runs no setup script" <<<"$usage" || fail "no operation: no usage text: $usage"

"$WINE" "$build/winhelper.exe" rmdev 'TARNVALE\TEST_COMPANION2' >/dev/null 2>&1 || true
id=$("$WINE" "$build/winhelper.exe" mkdev '{4D36E96D-E325-11CE-BFC1-08002BE10318}' 'TARNVALE\TEST_COMPANION2' 2>/dev/null | tr -d '\r')
[ -n "$id" ] || fail "the helper made no device"
set +e
"$WINE" "$build/tarnvale64.exe" property-change "$id" 2 2 0 >/dev/null 2>&1
rc=$?
"$WINE" "$build/tarnvale64.exe" remove "$id" >/dev/null 2>&1
removed=$?
set -e
"$WINE" "$build/winhelper.exe" rmdev 'TARNVALE\TEST_COMPANION2' >/dev/null 2>&1 || true
[ $rc -ne 0 ] || fail "property-change under Wine: exit code 0, expected Wine's failure"
[ $removed -eq 0 ] || fail "remove: exit code $removed"
echo "ok companion: usage 87, property-change gives Wine's failure ($rc, low byte), remove 0"
