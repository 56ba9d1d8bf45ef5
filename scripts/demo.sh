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
# A build tree of its own: the test trees keep their options.
build="$out/demo-build"
echo "Building the program in $build (a few minutes the first time)..."
cmake -S . -B "$build" -G Ninja -DLUMAREL_TESTS=OFF >/dev/null
ninja -C "$build" -j"${JOBS:-2}" lumarel lumarel-reg >/dev/null
mkdir -p "$out/demo"
cp "$build/app/lumarel" "$out/demo/lumarel-demo"
fit=0
[ "${1:-}" = "--fit" ] && fit=1
key='HKCU\Software\velbrook\lumarel-demo\OPTION'
"$build/tools/reg/lumarel-reg" add "$key" /v Folder /t REG_SZ /d "$PWD/samples" >/dev/null
"$build/tools/reg/lumarel-reg" add "$key" /v Expansion /t REG_SZ /d "$fit" >/dev/null

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
