#!/usr/bin/env bash
# Makes the Wine prefix of a build folder, once; later runs reuse it.
set -euo pipefail
build=$(cd "$1" && pwd)
source "$(dirname "$0")/wine-env.sh" "$build"
if [ ! -f "$WINEPREFIX/.tarnvale-ready" ]; then
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot could not make $WINEPREFIX" >&2; exit 1; }
  # No display here: Wine's null graphics driver gives windows that are never drawn.
  "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  "$WINE" wineboot -u >/dev/null 2>&1 || true
  "$(dirname "$WINE")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
  touch "$WINEPREFIX/.tarnvale-ready"
fi
echo "prefix ready: $WINEPREFIX"
