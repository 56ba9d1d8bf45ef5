#!/bin/sh
# wine-gui-prefix.sh WINE_RUN
# Prepares the Wine prefix named by $WINEPREFIX for GUI tests on a private X server (see
# wine-gui-prefix.reg): Japanese text renders (needs a CJK font known to fontconfig, e.g.
# Debian's fonts-noto-cjk), and windows do not wait for a window manager. Runs once per prefix.
set -e
wine_run=$1
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}"
marker="$WINEPREFIX/.lumarel-gui-prefix"
[ -f "$marker" ] && exit 0
tmp=$(mktemp "${TMPDIR:-/tmp}/gui-prefix.XXXXXX")
# regedit reads UTF-16 with a byte-order mark; the file in the tree is UTF-8.
printf '\377\376' > "$tmp"
iconv -f UTF-8 -t UTF-16LE "$here/wine-gui-prefix.reg" >> "$tmp"
"$wine_run" regedit /S "Z:$(printf '%s' "$tmp" | tr / '\\')" </dev/null >/dev/null 2>&1 || true
rm -f "$tmp"
timeout 60 wineserver -w >/dev/null 2>&1 || true  # the registry is written when it exits
touch "$marker"
