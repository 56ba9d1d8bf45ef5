#!/bin/sh
# reg_add_values.sh TEST_EXE WINE_RUN
# Odd values set up with `wine reg add` under the key of a copy of TEST_EXE named regadd.exe,
# then read by the store in that copy (test ExecutableKeyPath.ReadsWhatRegAddWrote).
set -u
exe=$1
wine_run=$2
dir=$(mktemp -d)
key='HKCU\Software\velbrook\regadd'
trap '"$wine_run" reg delete "$key" /f >/dev/null 2>&1; rm -rf "$dir"' EXIT
cp "$exe" "$dir/regadd.exe" || exit 1
failed=0
# expect NAME TYPE DATA [NAME TYPE DATA] -- EXPECTED
check() {
    "$wine_run" reg delete "$key" /f >/dev/null 2>&1
    while [ "$1" != -- ]; do
        "$wine_run" reg add "$key\OPTION" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 || {
            echo "reg add $1 failed"; failed=1; }
        shift 3
    done
    shift
    if ! LUMAREL_REG_EXPECT="$1" "$wine_run" "$dir/regadd.exe" \
            --gtest_filter=ExecutableKeyPath.ReadsWhatRegAddWrote >"$dir/out" 2>&1; then
        cat "$dir/out"; echo "case failed: $1"; failed=1
    fi
}
check Expansion REG_DWORD 1 -- "flag:type-error"
check Expansion REG_MULTI_SZ 1 -- "flag:type-error"
check Expansion REG_SZ "  1" Folder REG_EXPAND_SZ '%TEMP%\swf' -- 'flag:true folder:%TEMP%\swf'
check Expansion REG_SZ "" Folder REG_SZ "" -- "flag:false folder:"
check Expansion REG_SZ "0x10" Folder REG_BINARY 4100 -- "flag:true folder:type-error"
check Expansion REG_SZ "1 " -- "flag:false folder:"
# A REG_DWORD Expansion is replaced by the next write.
"$wine_run" reg delete "$key" /f >/dev/null 2>&1
"$wine_run" reg add "$key\OPTION" /v Expansion /t REG_DWORD /d 0 /f >/dev/null 2>&1
LUMAREL_KEYPATH_WRITE=1 LUMAREL_REG_EXPECT="flag:type-error" "$wine_run" "$dir/regadd.exe" \
    --gtest_filter=ExecutableKeyPath.ReadsWhatRegAddWrote >/dev/null 2>&1 || { echo "write case"; failed=1; }
"$wine_run" reg query "$key\OPTION" /v Expansion 2>&1 | tr -d '\r' | grep -Eq 'Expansion +REG_SZ +1$' ||
    { echo "Expansion not replaced by a REG_SZ"; failed=1; }
exit $failed
