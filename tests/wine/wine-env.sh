# Sourced by the Wine tests: the Wine program and the prefix of this build folder.
# Usage: source wine-env.sh BUILD_DIR
WINE=${WINE:-/usr/lib/wine/wine64}
export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
export WINEDEBUG=-all
# A UTF-8 locale: Wine makes its Unix file names in the locale's encoding, and
# under plain C it cannot name a file "Ä" at all.
export LC_ALL=C.UTF-8
if [ ! -x "$WINE" ]; then
  echo "FAIL: Wine is not installed ($WINE missing); scripts/install-deps installs it" >&2
  exit 1
fi
