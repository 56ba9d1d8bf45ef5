#!/bin/sh
# messagebox_check.sh TEST_EXE SCREENSHOT.png RUNNER... (e.g. wine-gui.sh PREFIX wine-run.sh)
# Runs TEST_EXE --messagebox (a plain Japanese message box captioned "LumarelBoxTest") on the
# current X display, waits for the box, saves a screenshot, presses Enter and expects the
# program to end by itself with exit code 0. Needs xdotool and imagemagick's import.
exe=$1
shot=$2
shift 2
"$@" "$exe" --messagebox &
pid=$!
win=""
for _ in $(seq 1 300); do                     # up to 30 s (a new Wine prefix is slow)
    win=$(xdotool search --name LumarelBoxTest 2>/dev/null | head -n 1)
    [ -n "$win" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$win" ]; then
    echo "message box did not appear" >&2
    kill "$pid" 2>/dev/null
    exit 1
fi
sleep 1                                       # let it paint
import -window root "$shot" || echo "screenshot failed" >&2
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || xdotool windowfocus "$win" >/dev/null 2>&1
xdotool key Return
for _ in $(seq 1 100); do                     # up to 10 s for Enter to close it
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "Enter did not close the message box" >&2
    kill "$pid" 2>/dev/null
    exit 1
fi
wait "$pid"
exit $?
