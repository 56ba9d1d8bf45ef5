#!/bin/bash
# The run modes of the real program: the second instance's box, the modes that end at once,
# preview and the lock, the password request, the dialog without arguments.
source "$(dirname "$0")/lib.sh"
app=$(program Lumarel)
shots=${LUMAREL_SHOTS:-$work}

# No argument: the settings dialog comes up.
start "$app"
first=$last_pid
check "no argument opens the settings dialog" wait_window "設定" 60 >/dev/null

# A second instance shows its box and ends; the first keeps running.
start "$app" /s
second=$last_pid
box=$(wait_window "Lumarel" 30)
check "a second instance shows a box captioned with the title" test -n "$box"
screenshot "$shots/second-instance-$target.png"
press "$box" Return
check "Enter closes the box and the second instance ends with 0" exits_with 0 $second 20
check "the first instance is still running" kill -0 "$first"
check "no saver window came up" test -z "$(xdotool search --onlyvisible --name "^メインのフォーム\$" 2>/dev/null)"

# While the dialog runs, preview is refused too (the lock is held).
start "$app" /p 4711
box=$(wait_window "Lumarel" 30)
check "preview while another instance runs gets the box" test -n "$box"
press "$box" Escape
check "Escape closes that box" exits_with 0 $last_pid 20

# Cancel closes the dialog and frees the lock.
dlg=$(wait_window "設定" 5)
click_in "$dlg" 188 92
check "the dialog ends with 0 when closed" exits_with 0 $first 20

# Unrecognised arguments end at once, without a window and without the lock.
for arg in /x -Q; do
    start "$app" "$arg"
    check "$arg ends at once with 0" exits_with 0 $last_pid 20
done
if [ "$target" = linux ]; then
    "$app" --help >"$work/help.txt" 2>&1
    check "--help prints the usage and ends with 0" test $? = 0
    check "the usage names the switches" grep -q "/s" "$work/help.txt"
fi
start "$app" /p 4711
check "/p 4711 ends with 0 and no box (the lock was free)" exits_with 0 $last_pid 20
start "$app" /p 4711
check "/p released the lock again" exits_with 0 $last_pid 20

# The password request.
start "$app" /a 4711
check "/a 4711 returns 0" exits_with 0 $last_pid 30
start "$app" /a abc
pid=$last_pid
if [ "$target" = win ]; then
    box=$(wait_window "アプリケーション エラー" 30)
    check "/a abc shows the unhandled-error box" test -n "$box"
    screenshot "$shots/unhandled-$target.png"
    press "$box" Return
    check "/a abc ends with exit code 1" exits_with 1 $pid 20
else
    check "/a abc ends silently on Linux (no password facility)" exits_with 0 $pid 20
fi
finish
