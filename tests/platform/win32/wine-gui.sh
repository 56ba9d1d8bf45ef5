#!/bin/sh
# wine-gui.sh PREFIX WINE_RUN PROGRAM [ARGS...]
# Runs a Windows GUI program on the current X display in a Wine prefix of its own, and stops
# that prefix's wineserver afterwards. The prefix is prepared first (wine-gui-prefix.sh). A wineserver (and its desktop process) must not outlive
# the private X server it was started on: the next test, on a new display, would find a
# desktop bound to a display that is gone, and window creation would fail.
WINEPREFIX=$1
wine_run=$2
shift 2
export WINEPREFIX
WINE_RUN_LINGER=${WINE_RUN_LINGER:-5}
export WINE_RUN_LINGER
"$(dirname "$0")/wine-gui-prefix.sh" "$wine_run"
"$wine_run" "$@"
rc=$?
# Let it end by itself (it writes the registry then); force it only when it hangs.
timeout 60 wineserver -w >/dev/null 2>&1 || wineserver -k >/dev/null 2>&1
exit $rc
