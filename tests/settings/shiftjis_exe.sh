#!/bin/sh
# shiftjis_exe.sh TEST_EXE WINE_RUN
# Runs a copy of TEST_EXE named 表示.scr under Wine in a Japanese locale (ANSI code page 932),
# lets it write both settings under the key named after itself, and checks them with
# `wine reg query`. Uses the ja_JP.UTF-8 locale, made with localedef when it is not installed.
set -u
exe=$1
wine_run=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/表示.scr" || exit 1
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# Wine takes the code page from the Unix locale, and decodes file names with its character
# set: without the locale, 表 would not even reach the program. Build it privately if needed.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    mkdir -p "$dir/locale"
    localedef -i ja_JP -f UTF-8 "$dir/locale/ja_JP.UTF-8" 2>/dev/null || { echo "cannot make ja_JP.UTF-8"; exit 1; }
    export LOCPATH="$dir/locale"
fi
key='HKCU\Software\velbrook\表示'
"$wine_run" reg delete "$key" /f >/dev/null 2>&1
LUMAREL_KEYPATH_WRITE=1 LUMAREL_EXPECT_TRAIL_5C=1 \
    "$wine_run" "$dir/表示.scr" --gtest_filter='ExecutableKeyPath.*' || exit 1
out=$("$wine_run" reg query "$key\OPTION" 2>&1 | tr -d '\r')
echo "$out"
"$wine_run" reg delete "$key" /f >/dev/null 2>&1
echo "$out" | grep -Eq 'Expansion +REG_SZ +1$' || { echo "Expansion missing"; exit 1; }
echo "$out" | grep -Eq 'Folder +REG_SZ +C:\\Movies$' || { echo "Folder missing"; exit 1; }
