#!/bin/bash
# Draws the program's icon (a screen with an aurora and a sun) and writes
# app/resources/lumarel.ico with 256, 48, 32 and 16 pixel pictures. Needs ImageMagick; run it
# again only to change the icon (the .ico is kept in the repository).
set -eu
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
    -fill '#14202c' -stroke '#c0c8d0' -strokewidth 10 -draw "roundrectangle 12,36 243,196 22,22" \
    -fill none -stroke '#40e0a0' -strokewidth 20 -draw "path 'M 30,150 C 80,70 130,170 226,90'" \
    -stroke '#5090ff' -strokewidth 12 -draw "path 'M 30,178 C 90,110 140,190 226,124'" \
    -fill '#ffd040' -stroke none -draw "circle 190,70 202,70" \
    -fill '#c0c8d0' -draw "rectangle 106,196 150,220" -draw "roundrectangle 72,218 184,234 6,6" \
    "PNG32:$tmp/256.png"
for s in 48 32 16; do convert "$tmp/256.png" -resize "${s}x${s}" "PNG32:$tmp/$s.png"; done
convert "$tmp/256.png" "$tmp/48.png" "$tmp/32.png" "$tmp/16.png" app/resources/lumarel.ico
echo "wrote app/resources/lumarel.ico"
