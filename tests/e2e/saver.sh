#!/bin/bash
# The saver as a user sees it: where the movie stands (centred or fitted), black elsewhere,
# which input ends the show and which does not, a broken movie reported while the show goes
# on, and the lock free again afterwards.
source "$(dirname "$0")/lib.sh"
app=$(program Saver)
shots=${LUMAREL_SHOTS:-$work}
movies="$here/movies"
red="224,48,32"
green="32,192,64"
blue="32,64,224"
black="0,0,0"

folder() {  # folder NAME FILES... : a movie folder with copies of the given movies
    local dir="$work/$1"
    shift
    mkdir -p "$dir"
    for f in "$@"; do cp "$movies/$f" "$dir/"; done
    echo "$dir"
}

# show X Y WHAT : starts the show with the pointer at X, Y (sets $saver) and checks that the
# movie comes up.
show() {
    xdotool mousemove "$1" "$2"
    start "$app" /s
    saver=$last_pid
    check "the $3 movie plays" wait_movie 30 >/dev/null
}

# Wait until the screen's centre shows one of the movie colours; prints it.
wait_movie() {
    local limit=$1 i c
    for ((i = 0; i < limit * 4; i++)); do
        screenshot "$work/now.png"
        c=$(pixel "$work/now.png" 512 384)
        if [ "$c" = "$red" ] || [ "$c" = "$green" ] || [ "$c" = "$blue" ]; then echo "$c"; return 0; fi
        sleep 0.25
    done
    return 1
}

# --- centred at its own size, a broken movie in the folder, the sequence going on.
dir=$(folder centred 1-red.swf 2-short.swf 3-green.swf)
set_setting "$app" Folder "$(native_path "$dir")"
set_setting "$app" Expansion 0
xdotool mousemove 512 384
start "$app" /s
saver=$last_pid
seen_red=0 seen_green=0 seen_box=0 checked_place=0
for ((round = 0; round < 120; round++)); do
    box=$(wait_window "Saver" 0 2>/dev/null)
    if [ -n "$box" ] && [ $seen_box = 0 ]; then
        seen_box=1
        screenshot "$shots/saver-error-$target.png"
        press "$box" Return
        continue
    fi
    screenshot "$work/now.png"
    c=$(pixel "$work/now.png" 512 384)
    [ "$c" = "$red" ] && seen_red=1
    [ "$c" = "$green" ] && seen_green=1
    if [ $checked_place = 0 ] && { [ "$c" = "$red" ] || [ "$c" = "$green" ]; }; then
        checked_place=1
        cp "$work/now.png" "$shots/saver-centred-$target.png"
        # 550 x 400 on 1024 x 768 stands at 237, 184.
        check "the movie's top left corner is at 237, 184" \
            test "$(pixel "$work/now.png" 237 184)" = "$c"
        check "black left of and above the movie" \
            test "$(pixel "$work/now.png" 236 184)$(pixel "$work/now.png" 237 183)" = "$black$black"
        check "the movie's bottom right corner is at 786, 583" \
            test "$(pixel "$work/now.png" 786 583)" = "$c"
        check "black right of and below the movie" \
            test "$(pixel "$work/now.png" 787 583)$(pixel "$work/now.png" 786 584)" = "$black$black"
        check "black in the screen's corners" \
            test "$(pixel "$work/now.png" 0 0)$(pixel "$work/now.png" 1023 767)" = "$black$black"
    fi
    [ $seen_red = 1 ] && [ $seen_green = 1 ] && [ $seen_box = 1 ] && break
    sleep 0.25
done
[ $checked_place = 0 ] && cp "$work/now.png" "$shots/saver-last-seen-$target.png"
check "the movie was seen on the screen" test $checked_place = 1
check "the short movie is reported in the error box" test $seen_box = 1
check "the show goes on through both good movies" test "$seen_red$seen_green" = 11
check "the saver is still running" kill -0 "$saver"
win=$(wait_window "メインのフォーム" 5)
press "$win" a
check "a key ends the show with exit code 0" exits_with 0 "$saver" 20
start "$app" /p 1
check "the lock is free afterwards" exits_with 0 "$last_pid" 20

# --- on the black area around a centred movie. The window coming up under the pointer is the
# first of the six mouse moves that end the show (as on Windows), a move onto the movie counts
# like any other, so the fifth real move ends it; a left click on the black area ends it too.
dir=$(folder black 1-red.swf)
set_setting "$app" Folder "$(native_path "$dir")"
set_setting "$app" Expansion 0
if [ "$target" = linux ]; then
    show 40 40 centred
    for p in "42 40" "512 384" "514 384" "516 384"; do xdotool mousemove $p; sleep 0.3; done
    check "four moves, one of them onto the movie, leave the show running" kill -0 "$saver"
    xdotool mousemove 518 384
    check "the fifth ends it" exits_with 0 "$saver" 20
fi
show 40 40 centred
xdotool click 1
check "a left click on the black area around the movie ends the show" exits_with 0 "$saver" 20

# --- a compressed movie larger than the screen, fitting off: shown at its own 1200 x 900 (read
# from the compressed stream), centred and cut at the screen's edges; the window stays the
# screen's size.
dir=$(folder big 4-big-blue.swf)
set_setting "$app" Folder "$(native_path "$dir")"
show 512 384 large
screenshot "$shots/saver-large-$target.png"
check "the large movie covers the whole screen" \
    test "$(pixel "$work/now.png" 0 0)$(pixel "$work/now.png" 1023 767)" = "$blue$blue"
win=$(wait_window "メインのフォーム" 5)
eval "$(xdotool getwindowgeometry --shell "$win" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
check "the saver window keeps the screen's size (${WIDTH:-?} x ${HEIGHT:-?})" test "${WIDTH:-0}x${HEIGHT:-0}" = 1024x768
press "$win" a
check "a key ends it" exits_with 0 "$saver" 20

# --- a broken stored flag: reported while the saver window is created, in a box centred on the
# screen; the window then comes up black.
set_setting "$app" Expansion 1 REG_DWORD
start "$app" /s
saver=$last_pid
box=$(wait_window "Saver" 30)
check_error_box "$box" "while the saver window is created"
press "$box" Escape
check "Escape closes the error box" gone "Saver" 10
win=$(wait_window "メインのフォーム" 10)
press "$win" a
check "a key ends that show too" exits_with 0 "$saver" 20

# --- fitted to the screen; a left click over the movie does not end it, a right click does.
dir=$(folder fitted 1-red.swf)
set_setting "$app" Folder "$(native_path "$dir")"
set_setting "$app" Expansion 1
show 512 384 fitted
screenshot "$shots/saver-fitted-$target.png"
# 550 x 400 shown all: 1024 x 745 from y = 11.
check "fitted: the movie spans the screen's width" \
    test "$(pixel "$work/now.png" 0 384)$(pixel "$work/now.png" 1023 384)" = "$red$red"
check "fitted: black bars above and below" \
    test "$(pixel "$work/now.png" 512 3)$(pixel "$work/now.png" 512 764)" = "$black$black"
xdotool click 1
sleep 2
check "a left click over the movie does not end the show" kill -0 "$saver"
xdotool click 3
check "a right click over the movie ends it with exit code 0" exits_with 0 "$saver" 20

# --- no movies: black; only a movement of 3 pixels on both axes ends it.
dir=$(folder empty)
set_setting "$app" Folder "$(native_path "$dir")"
set_setting "$app" Expansion 0
xdotool mousemove 100 300
start "$app" /s
saver=$last_pid
check "the saver window comes up" wait_window "メインのフォーム" 30 >/dev/null
sleep 1
screenshot "$shots/saver-empty-$target.png"
check "an empty folder gives an all-black screen" test "$(convert "$shots/saver-empty-$target.png" -format '%[fx:maxima.r+maxima.g+maxima.b]' info:)" = 0
for x in 110 140 180 230 300 400 520 660 800 950 1000; do
    xdotool mousemove "$x" 300
    sleep 0.1
done
sleep 1
check "a purely horizontal movement never ends the show" kill -0 "$saver"
xdotool mousemove 1003 303
check "a diagonal movement of 3 pixels ends it" exits_with 0 "$saver" 20
finish
