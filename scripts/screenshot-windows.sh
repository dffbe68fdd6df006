#!/usr/bin/env bash
# Takes docs/larkspur-windows.png: the Windows player under Wine on a private Xvfb display, with a
# Japanese font standing in for the dialog font, a file loaded and playing on the virtual device.
# Needs the Windows build (cmake --preset windows && cmake --build --preset windows).
#   scripts/screenshot-windows.sh [BUILD_DIR] [OUTPUT.png]
#   LARKSPUR_SCREENSHOT_DPI=144 scripts/screenshot-windows.sh ...   the display at 150 % scaling
#   LARKSPUR_LANG=en scripts/screenshot-windows.sh ...              the dialog in English (default: ja)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
output=${2:-$root/docs/larkspur-windows.png}
demo="$build/tests/larkspur-dialog-demo.exe"
if [[ ! -f "$demo" ]]; then
    cmake --build "$build" --target larkspur-dialog-demo
fi

work="$build/screenshot"
mkdir -p "$work/home"
export WINEPREFIX="$work/prefix"
export HOME="$work/home"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LARKSPUR_AUDIO=${LARKSPUR_AUDIO:-virtual}
export LARKSPUR_LANG=${LARKSPUR_LANG:-ja}

xvfb_pid=""
demo_pid=""
cleanup() {
    if [[ -n "$demo_pid" ]]; then
        kill "$demo_pid" >/dev/null 2>&1 || true
    fi
    wineserver -k >/dev/null 2>&1 || true
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

# The screen grows with the display scaling, as the dialog does.
dpi=${LARKSPUR_SCREENSHOT_DPI:-96}
screen="$((1200 * dpi / 96))x$((480 * dpi / 96))"
source "$root/scripts/xvfb.sh"
start_xvfb "$screen" || { echo "Xvfb did not start" >&2; exit 1; }

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    "$root/scripts/wine-japanese-fonts.sh"
    # One virtual desktop the size of the screen: Wine draws the window frame and caption itself.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    wineserver -w
fi
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d "$screen" /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wineserver -w

# Ten seconds of a 440 Hz tone, stereo 16-bit 44.1 kHz, where a user's music would be.
music="$WINEPREFIX/drive_c/users/Public/Music"
mkdir -p "$music"
python3 - "$music/a440.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
    w.writeframes(b"".join(struct.pack("<hh", s, s) for s in
                  (int(12000 * math.sin(2 * math.pi * 440 * n / 44100)) for n in range(441000))))
PY

stop="$work/stop"
rm -f "$stop" "$work/demo.log"
wav_path='C:\users\Public\Music\a440.wav'
stop_path=$(winepath -w "$stop")
(cd "$work" && exec wine "$demo" "$wav_path" "$stop_path" 140 >"$work/demo.log" 2>&1) &
demo_pid=$!
for _ in $(seq 1 600); do
    grep -q ready "$work/demo.log" 2>/dev/null && break
    kill -0 "$demo_pid" 2>/dev/null || { cat "$work/demo.log" >&2; exit 1; }
    sleep 0.1
done
grep -q ready "$work/demo.log" || { echo "screenshot-windows: the dialog did not come up" >&2; exit 1; }
# A moment for the progress bar to move and every control to be painted.
sleep 2
mkdir -p "$(dirname "$output")"
import -window root "$work/screen.png"
# Only the dialog: cut away the plain desktop around it.
convert "$work/screen.png" -trim +repage "$output"
touch "$stop"
wait "$demo_pid" || true
demo_pid=""
echo "screenshot-windows: wrote $output ($(identify -format '%wx%h' "$output"))"
