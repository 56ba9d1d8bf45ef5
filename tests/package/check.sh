#!/bin/bash
# The Debian package as the install rules make it: it holds every file they name (the program
# and tools, the hack link pointing at the program, the daemon's configuration, the desktop
# entry, the manual pages), its dependencies are derived, and lintian finds no error in it.
# Usage: tests/package/check.sh BUILD_DIR
set -u
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/lumarel-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check DESCRIPTION CONDITION...
    if "${@:2}"; then echo "ok   - $1"; else echo "FAIL - $1"; failures=$((failures + 1)); fi
}

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/lumarel_*.deb)
dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}' >"$work/files"
for f in ./usr/bin/lumarel ./usr/bin/lumarel-render ./usr/bin/lumarel-reg \
    "./usr/libexec/xscreensaver/lumarel -> ../../bin/lumarel" \
    ./usr/share/xscreensaver/config/lumarel.xml ./usr/share/applications/lumarel.desktop \
    ./usr/share/man/man1/lumarel.1.gz ./usr/share/man/man1/lumarel-render.1.gz \
    ./usr/share/man/man1/lumarel-reg.1.gz ./usr/share/doc/lumarel/copyright; do
    check "the package holds $f" grep -qxF "$f" "$work/files"
done
depends=$(dpkg-deb -f "$deb" Depends)
check "its dependencies come from the binaries (libgtk-3-0, libx11-6)" \
    test -n "$(echo "$depends" | grep libgtk-3-0 | grep libx11-6)"
check "the desktop entry is valid" bash -c "! command -v desktop-file-validate >/dev/null || desktop-file-validate '$(dirname "$0")/../../app/linux/lumarel.desktop'"
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
status=$?
grep -v "root privileges" "$work/lintian.log"
check "lintian reports no errors" test "$status" -eq 0
echo "$failures failed"
[ "$failures" -eq 0 ]
