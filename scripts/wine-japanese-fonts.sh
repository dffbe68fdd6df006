#!/usr/bin/env bash
# Makes the dialog font of a Wine prefix render Japanese: "MS Shell Dlg" and "MS UI Gothic" (and
# Wine's own stand-in for them) are substituted by a Japanese Gothic font installed on this machine.
# Run with WINEPREFIX set to a private prefix.
#   scripts/wine-japanese-fonts.sh
set -euo pipefail

font=""
for candidate in "IPAGothic" "Noto Sans CJK JP"; do
    if fc-list ":family=$candidate" family | grep -q .; then
        font=$candidate
        break
    fi
done
if [[ -z "$font" ]]; then
    echo "wine-japanese-fonts: no Japanese font found (install fonts-ipafont-gothic)" >&2
    exit 1
fi
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for name in "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "Tahoma"; do
    wine reg add "$key" /v "$name" /t REG_SZ /d "$font" /f >/dev/null 2>&1
done
wineserver -w
