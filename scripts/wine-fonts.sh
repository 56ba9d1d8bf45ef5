#!/bin/bash
# Lets a Wine prefix show Japanese text in every box and dialog: Wine's own UI fonts have no
# Japanese glyphs, so the usual UI faces are linked to a CJK font of the system (Debian's
# fonts-noto-cjk), the way a Windows system links its UI fonts to its Japanese ones.
# Usage: WINEPREFIX=... scripts/wine-fonts.sh
set -u
link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
target='NotoSansCJK-Regular.ttc,Noto Sans CJK JP'
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" \
            "MS UI Gothic" "Lucida Sans Unicode"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d "$target" /f >/dev/null 2>&1
done
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in "ＭＳ Ｐゴシック" "MS PGothic" "ＭＳ ゴシック" "MS Gothic" "MS UI Gothic"; do
    wine reg add "$subst" /v "$face" /t REG_SZ /d "Noto Sans CJK JP" /f >/dev/null 2>&1
done
wineserver -w
