#!/bin/bash
# lumarel-render's command line: every bad argument or unreadable movie gives one line naming
# the problem and exit code 2; --help prints the usage and exits 0; --name=value is accepted.
#   render_cli.sh LUMAREL_RENDER SAMPLES_DIR
set -u
render=$1 samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'FWS' >"$work/short.swf"
passes=0 failures=0

# case EXPECTED_CODE STDERR_TEXT ARGS... : runs the tool and checks code, and one line naming it.
case_() {
    local want=$1 text=$2
    shift 2
    "$render" "$@" >"$work/out" 2>"$work/err"
    local got=$? lines
    lines=$(wc -l <"$work/err")
    if [ "$got" = "$want" ] && { [ -z "$text" ] || { grep -qF -- "$text" "$work/err" && [ "$lines" = 1 ]; }; }; then
        passes=$((passes + 1))
    else
        failures=$((failures + 1))
        echo "FAIL: lumarel-render $* -> exit $got (wanted $want), stderr: $(cat "$work/err")"
    fi
}

case_ 2 "a folder, not a movie file" "$samples"
case_ 2 "no such file" "$work/missing.swf"
case_ 2 "can decode" "$work/short.swf"
case_ 2 "unknown option '--bogus'" --bogus "$samples/aurora.swf"
case_ 2 "--size '0x5'" --size=0x5 "$samples/aurora.swf"
case_ 0 "" --help
grep -q -- "--quality Q" "$work/out" || { failures=$((failures + 1)); echo "FAIL: --help prints no usage"; }
case_ 0 "" --frames=3 --size=64x48 "--out=$work/f.png" "$samples/aurora.swf"
[ -s "$work/f.png" ] || { failures=$((failures + 1)); echo "FAIL: --out=FILE wrote nothing"; }
case_ 2 "--wav needs a file name" --wav "" "$samples/aurora.swf"
# 15 frames of a 30 fps movie: half a second, 22050 stereo frames of 4 bytes after a 44-byte header.
case_ 0 "" --frames=15 "--wav=$work/a.wav" "$samples/aurora.swf"
[ "$(stat -c %s "$work/a.wav" 2>/dev/null)" = $((44 + 22050 * 4)) ] || {
    failures=$((failures + 1))
    echo "FAIL: --wav wrote $(stat -c %s "$work/a.wav" 2>/dev/null) bytes"
}
echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
