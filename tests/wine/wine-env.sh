# Sourced by the Wine tests: the Wine program and the prefix of this build folder.
# Usage: source wine-env.sh BUILD_DIR
WINE=${WINE:-/usr/lib/wine/wine64}
export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
export WINEDEBUG=-all
export LC_ALL=C
if [ ! -x "$WINE" ]; then
  echo "FAIL: Wine is not installed ($WINE missing); scripts/install-deps installs it" >&2
  exit 1
fi
