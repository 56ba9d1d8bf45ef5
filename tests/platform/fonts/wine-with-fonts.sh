#!/bin/sh
# wine-with-fonts.sh PREFIX SOURCE_DIR PROGRAM.exe [ARGS...]
# Runs a Windows test program in a Wine prefix whose Japanese fonts are linked in.
set -e
WINEPREFIX="$1"; src="$2"; shift 2
export WINEPREFIX
if [ ! -f "$WINEPREFIX/.lumarel-fonts" ]; then
    WINE_RUN_LINGER=1 "$src/cmake/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
    "$src/scripts/wine-fonts.sh"
    touch "$WINEPREFIX/.lumarel-fonts"
fi
exec "$src/cmake/wine-run.sh" "$@"
