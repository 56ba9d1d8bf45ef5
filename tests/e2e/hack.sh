#!/bin/bash
# The program as the desktop screen-saver daemon's display hack: it plays into a window it is
# given (by -window-id, or XSCREENSAVER_WINDOW) at that window's size as it changes, and a
# SIGTERM ends it at once.
source "$(dirname "$0")/lib.sh"
if [ "$target" = win ] || [ -z "${LUMAREL_XWINDOW:-}" ]; then
    echo "ok   - # skip: display hacks are an X11 feature"
    exit 0
fi
app=$(program Hack)
shots=${LUMAREL_SHOTS:-$work}
green="32,192,64"
black="0,0,0"
mkdir -p "$work/movies"
cp "$here/movies/3-green.swf" "$work/movies/"

# wait_pixel X Y COLOUR SECONDS : until the screen shows COLOUR at X, Y.
wait_pixel() {
    local i
    for ((i = 0; i < $4 * 4; i++)); do
        screenshot "$work/now.png"
        [ "$(pixel "$work/now.png" "$1" "$2")" = "$3" ] && return 0
        sleep 0.25
    done
    return 1
}

# gone_within PID MS : the process has ended within MS milliseconds.
gone_within() {
    local i
    for ((i = 0; i < $2 / 10; i++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.01
    done
    return 1
}

coproc XWIN { "$LUMAREL_XWINDOW" 320 240; }
read -r id <&"${XWIN[0]}"
pids+=("$XWIN_PID")
check "a window to play into" test -n "$id"

start "$app" -window-id "$id" --folder "$work/movies" --fit
hack=$last_pid
check "the movie plays in the window" wait_pixel 160 120 "$green" 30
screenshot "$shots/hack-$target.png"
echo "150 100" >&"${XWIN[1]}"
# 550 x 400 fitted to 150 x 100: 137.5 x 100, black columns of 6 pixels on each side.
check "after a resize it fills the new size" wait_pixel 75 50 "$green" 10
check "fitted to it: black at the sides" test "$(pixel "$work/now.png" 2 50)" = "$black"
kill -TERM "$hack"
check "SIGTERM ends it within 200 ms" gone_within "$hack" 200

# As the daemon starts its hacks: -root, its own window named in the variable.
XSCREENSAVER_WINDOW=$id start "$app" -root --folder "$work/movies" --no-fit
hack=$last_pid
check "with -root, XSCREENSAVER_WINDOW names the window drawn into" wait_pixel 75 50 "$green" 30
kill -INT "$hack"
check "SIGINT ends it too" gone_within "$hack" 200
exec {XWIN[1]}>&-
finish
