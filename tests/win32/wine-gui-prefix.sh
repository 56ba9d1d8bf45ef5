#!/bin/sh
# wine-cjk-fonts.sh WINE_RUN
# Makes Japanese text render in the Wine prefix named by $WINEPREFIX (see wine-cjk-fonts.reg;
# needs a CJK font known to fontconfig, e.g. Debian's fonts-noto-cjk). Runs once per prefix.
set -e
wine_run=$1
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?}"
marker="$WINEPREFIX/.lumarel-cjk-fonts"
[ -f "$marker" ] && exit 0
tmp=$(mktemp "${TMPDIR:-/tmp}/cjk-fonts.XXXXXX")
# regedit reads UTF-16 with a byte-order mark; the file in the tree is UTF-8.
printf '\377\376' > "$tmp"
iconv -f UTF-8 -t UTF-16LE "$here/wine-cjk-fonts.reg" >> "$tmp"
"$wine_run" regedit /S "Z:$(printf '%s' "$tmp" | tr / '\\')" </dev/null >/dev/null 2>&1 || true
rm -f "$tmp"
timeout 60 wineserver -w >/dev/null 2>&1 || true  # the registry is written when it exits
touch "$marker"
