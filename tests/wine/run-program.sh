#!/usr/bin/env bash
# Runs a Windows program of the build folder under Wine in the tests' prefix.
#   run-program.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
build=$1
shift
source "$(dirname "$0")/wine-env.sh" "$build"
exec "$WINE" "$@"
