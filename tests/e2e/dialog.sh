#!/bin/bash
# The settings dialog as a user sees it: its controls and Japanese texts, OK storing both
# values, Cancel storing nothing, the folder chooser cancelled, and a broken stored value
# reported while the dialog still opens.
source "$(dirname "$0")/lib.sh"
app=$(program Dialog)
shots=${LUMAREL_SHOTS:-$work}

# query NAME : the stored value as "TYPE DATA", or "" when there is none.
query() {
    local key='HKCU\Software\velbrook\Dialog\OPTION'
    if [ "$target" = win ]; then
        wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
            awk -v n="$1" '$1 == n { $1 = ""; sub(/^ +/, ""); sub(/ +/, " "); print }'
    else
        "${LUMAREL_REG:?}" query "$key" /v "$1" 2>/dev/null |
            awk -v n="$1" '$1 == n { t = $2; $1 = $2 = $3 = ""; sub(/^ +/, ""); print t " " $0 }'
    fi
}

# largest WINDOW... : the one of the windows with the largest area.
largest() {
    local id best="" area=0
    for id in "$@"; do
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
        if [ $((WIDTH * HEIGHT)) -gt "$area" ]; then area=$((WIDTH * HEIGHT)); best=$id; fi
    done
    echo "$best"
}

# click_button X Y : clicks a dialog button; on a loaded display server a click is now and then
# lost, so while the dialog is still there after 5 s it is clicked again (three times at most).
click_button() {
    local try i
    for ((try = 0; try < 3; try++)); do
        click_in "$dlg" "$1" "$2"
        for ((i = 0; i < 50; i++)); do
            kill -0 "$dialog_pid" 2>/dev/null || return 0
            sleep 0.1
        done
    done
}

open_dialog() {
    # A dialog left open by a failed check would hold the single-instance lock.
    [ -n "${dialog_pid:-}" ] && kill "$dialog_pid" 2>/dev/null && wait "$dialog_pid" 2>/dev/null
    start "$app" /c
    dialog_pid=$last_pid
    dlg=$(wait_window "設定" 60)
}

# First start: nothing stored; OK stores the typed folder and the ticked box.
open_dialog
check "the dialog opens" test -n "$dlg"
sleep 1
screenshot "$shots/dialog-$target.png"
eval "$(xdotool getwindowgeometry --shell "$dlg")"
check "its client area is 313 x 161" test "${WIDTH}x${HEIGHT}" = 313x161
check "nothing is stored before OK" test -z "$(query Folder)$(query Expansion)"
press "$dlg" Return Escape      # the focus is on OK, yet no button is default or cancel
sleep 1
check "Enter and Escape press no button" kill -0 "$dialog_pid"
check "and store nothing" test -z "$(query Folder)$(query Expansion)"
click_in "$dlg" 150 34          # the folder edit box
xdotool type --delay 30 "/tmp/movies 1"
click_in "$dlg" 14 64           # the check box
click_button 268 92            # OK
check "OK closes the dialog" exits_with 0 "$dialog_pid" 20
check "OK stores the ticked box as \"1\"" test "$(query Expansion)" = "REG_SZ 1"
check "OK stores the folder as typed" test "$(query Folder)" = "REG_SZ /tmp/movies 1"

# Cancel stores nothing, whatever was changed.
open_dialog
click_in "$dlg" 150 34
xdotool key ctrl+a
xdotool type --delay 30 "/elsewhere"
click_in "$dlg" 14 64
click_button 188 92            # Cancel
check "Cancel closes the dialog" exits_with 0 "$dialog_pid" 20
check "Cancel stores nothing" test "$(query Folder)|$(query Expansion)" = "REG_SZ /tmp/movies 1|REG_SZ 1"

# The folder chooser opens over the dialog; cancelling it keeps the dialog and its text.
open_dialog
before=$(xdotool search --onlyvisible --name "." 2>/dev/null | sort)
click_in "$dlg" 297 34          # "..."
chooser=""
for ((i = 0; i < 150; i++)); do  # up to 30 s: the first chooser of a session is slow to build
    [ -n "$chooser" ] && break
    [ $i = 50 ] || [ $i = 100 ] && click_in "$dlg" 297 34  # a lost click: once more
    sleep 0.2
    chooser=$(largest $(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name "." 2>/dev/null | sort)))
done
check "the folder chooser opens" test -n "$chooser"
sleep 1
screenshot "$shots/dialog-chooser-$target.png"
# Escape cancels it (Wine's chooser may take a moment before it listens to the keyboard).
for ((i = 0; i < 5; i++)); do
    xdotool getwindowname "$chooser" >/dev/null 2>&1 || break
    press "$chooser" Escape
    sleep 1
done
check "Escape cancels the chooser" bash -c "! xdotool getwindowname $chooser >/dev/null 2>&1"
sleep 1
check "the dialog stays after the chooser is cancelled" kill -0 "$dialog_pid"
click_button 268 92
check "OK after a cancelled chooser" exits_with 0 "$dialog_pid" 20
check "the folder is still the one stored before" test "$(query Folder)" = "REG_SZ /tmp/movies 1"

# A stored flag of the wrong type: the error box, then a dialog with an empty folder.
set_setting "$app" Expansion 1 REG_DWORD
start "$app" /c
dialog_pid=$last_pid
box=$(wait_window "Dialog" 60)
check_error_box "$box" "for a REG_DWORD flag while the dialog is created"
screenshot "$shots/dialog-error-$target.png"
press "$box" Return
dlg=$(wait_window "設定" 20)
check "the dialog still opens after the error" test -n "$dlg"
click_button 268 92
check "OK closes it" exits_with 0 "$dialog_pid" 20
check "OK replaces the broken flag" test "$(query Expansion)" = "REG_SZ 0"
check "and stores the empty folder (the folder was never read)" test "$(query Folder | sed 's/ *$//')" = "REG_SZ"
finish
