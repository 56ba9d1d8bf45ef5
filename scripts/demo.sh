#!/bin/bash
# Plays the bundled sample movies full screen with the native build.
# A copy of the program under its own name keeps its own settings key, so your own settings
# stay untouched. With a display it runs until you press a key or move the mouse; without
# one it runs under a private Xvfb for a few seconds and saves screenshots to out/demo/.
# Usage: scripts/demo.sh [--fit]
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh run
out=${OUT:-out}
cmake -S . -B "$out/linux" -G Ninja -DLUMAREL_TESTS=OFF >/dev/null
ninja -C "$out/linux" -j"${JOBS:-2}" lumarel lumarel-reg >/dev/null
mkdir -p "$out/demo"
cp "$out/linux/app/lumarel" "$out/demo/lumarel-demo"
fit=0
[ "${1:-}" = "--fit" ] && fit=1
key='HKCU\Software\velbrook\lumarel-demo\OPTION'
"$out/linux/tools/reg/lumarel-reg" add "$key" /v Folder /t REG_SZ /d "$PWD/samples" >/dev/null
"$out/linux/tools/reg/lumarel-reg" add "$key" /v Expansion /t REG_SZ /d "$fit" >/dev/null

if [ -n "${DISPLAY:-}" ]; then
    exec "$out/demo/lumarel-demo" /s
fi
scripts/with-xvfb.sh -s 1280x720x24 bash -c '
    "$1/lumarel-demo" /s & pid=$!
    for i in 1 2 3 4 5 6; do
        sleep 2
        import -window root "$1/screen-$i.png" 2>/dev/null || true
    done
    xdotool key Escape; sleep 1; kill $pid 2>/dev/null; wait $pid 2>/dev/null
    echo "screenshots: $1/screen-*.png"
' _ "$PWD/$out/demo"
