#!/bin/bash
# Installs what building, running and testing Lumarel needs on Debian 12, if it is missing.
# Usage: scripts/deps.sh [run|test]   (run: the native build and a display; test: everything)
set -eu
what=${1:-test}
packages=(cmake ninja-build g++ pkg-config zlib1g-dev liblzma-dev libsqlite3-dev libgtk-3-dev
          libmpg123-dev libpulse-dev libstb-dev xvfb xdotool x11-utils imagemagick fonts-noto-cjk fonts-dejavu-core adwaita-icon-theme libfreetype-dev libfontconfig-dev
          libx11-dev dpkg-dev)
if [ "$what" = test ]; then
    packages+=(libgtest-dev googletest libbenchmark-dev libcairo2-dev libagg-dev clang clang-format libclang-rt-14-dev
               g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 python3-yaswfp
               libfreetype-dev libfontconfig-dev locales ffmpeg lintian)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
echo "(a fresh machine takes several minutes here; a line every 25 packages set up)"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "${missing[@]}" |
    awk '/^Setting up / { if (++n % 25 == 0) { printf "  %d packages set up\n", n; fflush() } }
         END { printf "  %d packages set up\n", n }'
exit "${PIPESTATUS[0]}"
