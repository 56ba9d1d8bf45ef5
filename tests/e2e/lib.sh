# Helpers for the end-to-end tests: run the real program (natively, or the Windows build under
# Wine) on the private Xvfb display that scripts/with-xvfb.sh started, and look at the screen
# the way a user would.
#   LUMAREL_TARGET=linux|win   LUMAREL_EXE=path to lumarel or lumarel.scr
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
target=${LUMAREL_TARGET:?}
exe=${LUMAREL_EXE:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/lumarel-e2e.XXXXXX")
failures=0
passes=0
pids=()

cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    if [ "$target" = win ]; then WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT

if [ "$target" = win ]; then
    # A prefix of our own per test script: its registry starts empty and nothing leaks between runs.
    export WINEPREFIX=$work/wineprefix
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    "$root/cmake/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1
    [ -n "${LUMAREL_WINE_FONTS:-}" ] && "$LUMAREL_WINE_FONTS" >/dev/null 2>&1
else
    # A private configuration folder: the hive of these tests is their own.
    export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
fi

# A copy of the program under a name of the test's choosing (the name decides the settings key
# and the title of its boxes).
program() {
    local name=$1
    if [ "$target" = win ]; then
        cp "$exe" "$work/$name.scr"
        echo "$work/$name.scr"
    else
        cp "$exe" "$work/$name"
        echo "$work/$name"
    fi
}

# run PROGRAM ARGS... : in the foreground; prints nothing, returns the exit code.
run() {
    if [ "$target" = win ]; then
        wine "$@" >/dev/null 2>&1
    else
        "$@" >/dev/null 2>&1
    fi
}

# start PROGRAM ARGS... : in the background; sets $last_pid.
start() {
    if [ "$target" = win ]; then
        wine "$@" >/dev/null 2>&1 &
    else
        "$@" >/dev/null 2>&1 &
    fi
    last_pid=$!
    pids+=("$last_pid")
}

# wait_window NAME [SECONDS] : prints the id of a visible window whose title is NAME (windows
# too small to be seen, such as a hidden application window, do not count).
wait_window() {
    local name=$1 limit=${2:-30} i id w h
    for ((i = 0; i <= limit * 5; i++)); do
        for id in $(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
            w=${WIDTH:-0} h=${HEIGHT:-0}
            if [ "$w" -ge 20 ] && [ "$h" -ge 20 ]; then echo "$id"; return 0; fi
        done
        [ "$i" -lt $((limit * 5)) ] && sleep 0.2
    done
    return 1
}

# gone NAME [SECONDS] : true once no visible window titled NAME is left (within SECONDS).
gone() {
    local i
    for ((i = 0; i < ${2:-10} * 5; i++)); do
        wait_window "$1" 0 >/dev/null || return 0
        sleep 0.2
    done
    return 1
}

# exits_with CODE PID SECONDS : true when the process ends within SECONDS with exit code CODE.
# (It must run in this shell, not in a command substitution, to be able to wait for the child.)
exits_with() {
    local want=$1 pid=$2 limit=$3 i
    for ((i = 0; i < limit * 10; i++)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            wait "$pid"
            local got=$?
            [ "$got" = "$want" ] || echo "     (exit code $got)"
            [ "$got" = "$want" ]
            return
        fi
        sleep 0.1
    done
    echo "     (still running after ${limit}s)"
    return 1
}

screenshot() { import -window root "$1" 2>/dev/null; }

# set_setting PROGRAM NAME VALUE [TYPE] : a value (REG_SZ unless TYPE says otherwise) in the
# program's OPTION section.
set_setting() {
    local base key type=${4:-REG_SZ}
    base=$(basename "$1")
    key="HKCU\\Software\\velbrook\\${base%.*}\\OPTION"
    if [ "$target" = win ]; then
        wine reg add "$key" /v "$2" /t "$type" /d "$3" /f >/dev/null 2>&1
    else
        "${LUMAREL_REG:?}" add "$key" /v "$2" /t "$type" /d "$3" >/dev/null
    fi
}

# native_path DIR : the folder as the program under test spells it.
native_path() {
    if [ "$target" = win ]; then
        printf 'Z:%s' "${1//\//\\}"
    else
        printf '%s' "$1"
    fi
}

# centred WINDOW : true when the window stands in the middle of the 1024 x 768 screen (within 20
# pixels: the caption bar Wine draws is not part of the geometry xdotool reports).
centred() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    local dx=$(( X + WIDTH / 2 - 512 )) dy=$(( Y + HEIGHT / 2 - 384 ))
    [ "${dx#-}" -le 20 ] && [ "${dy#-}" -le 20 ] || { echo "     (at $X, $Y, $WIDTH x $HEIGHT)"; return 1; }
}

# check_error_box BOX WHEN : the box came up, centred on the screen.
check_error_box() {
    check "an error box comes up $2" test -n "$1"
    check "the box raised $2 stands centred" centred "$1"
}

# press WINDOW KEYS... : focuses the window and types the keys (real key events, which every
# toolkit accepts; events sent to a window directly are ignored by some).
press() {
    local id=$1
    shift
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key "$@"
}

# click_in WINDOW X Y : a left click at client position X, Y of the window.
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# pixel FILE X Y : the colour there as "r,g,b" (0-255).
pixel() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}

check() {  # check DESCRIPTION CONDITION...
    local what=$1
    shift
    if "$@"; then
        passes=$((passes + 1))
        echo "ok   - $what"
    else
        failures=$((failures + 1))
        echo "FAIL - $what"
    fi
}

finish() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
