#!/usr/bin/env bash
# Makes the dialog font of a Wine prefix render Japanese: "MS Shell Dlg" and "MS UI Gothic" (and
# Wine's own stand-in for them) are substituted by a Japanese Gothic font installed on this machine.
# Run with WINEPREFIX set to a private prefix.
#   scripts/wine-japanese-fonts.sh
set -euo pipefail

font=""
for candidate in "IPAPGothic" "IPAGothic" "Noto Sans CJK JP"; do
    if fc-list ":family=$candidate" family | grep -q .; then
        font=$candidate
        break
    fi
done
if [[ -z "$font" ]]; then
    echo "wine-japanese-fonts: no Japanese font found (install fonts-ipafont-gothic)" >&2
    exit 1
fi
file=$(basename "$(fc-match -f '%{file}' "$font")")
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
for name in "MS UI Gothic"; do
    wine reg add "$key\FontSubstitutes" /v "$name" /t REG_SZ /d "$font" /f >/dev/null 2>&1
done
# Wine maps "MS Shell Dlg" to Tahoma by its locale on every start; the Japanese glyphs then come
# through font linking, as on Windows. A proportional Japanese font keeps the kana as narrow as the
# dialog's own font would draw them.
for name in "Tahoma" "Microsoft Sans Serif"; do
    wine reg add "$key\FontLink\SystemLink" /v "$name" /t REG_MULTI_SZ /d "$file,$font" /f >/dev/null 2>&1
done
wineserver -w
