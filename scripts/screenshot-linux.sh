#!/usr/bin/env bash
# Makes docs/larkspur-linux.png: the Qt dialog under a private Xvfb display (with a small window
# manager for the frame), a 30 s test tone loaded through "..." and playing on the virtual device.
#   scripts/screenshot-linux.sh [BUILD_DIR] [OUTPUT.png]
#   LARKSPUR_LANG=en scripts/screenshot-linux.sh ...            the window in English (default: ja)
#   LARKSPUR_SCREENSHOT_DPI=144 scripts/screenshot-linux.sh ...  the display at 150 % scaling
# BUILD_DIR defaults to build/player and is built when it has no larkspur yet. Needs xvfb, openbox,
# xdotool, imagemagick, sox and fonts-noto-cjk (scripts/install-deps.sh installs them).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/player}
output=${2:-$root/docs/larkspur-linux.png}
if [[ ! -x "$build/app/qt/larkspur" ]]; then
    cmake --preset linux-release -B "$build" -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j 2 --target larkspur
fi

export LARKSPUR_LANG=${LARKSPUR_LANG:-ja}
dpi=${LARKSPUR_SCREENSHOT_DPI:-96}
source "$root/scripts/xvfb.sh"
begin_x_session

sox -n -r 44100 -b 16 -c 2 "$work/larkspur-demo.wav" synth 30 sine 440 sine 660 vol 0.5

start_xvfb "$((1000 * dpi / 96))x$((380 * dpi / 96))" "$work/xvfb.log" -dpi "$dpi" -br || { echo "Xvfb did not start" >&2; exit 1; }
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
sleep 1

LARKSPUR_AUDIO=virtual QT_QPA_PLATFORM=xcb QT_FONT_DPI=$dpi "$build/app/qt/larkspur" >"$work/larkspur.log" 2>&1 &
app_pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Larkspur v' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"

# A point of the template (dialog units) in the window.
click_at() {
    xdotool mousemove --window "$window" $(($1 * WIDTH / 547)) $(($2 * HEIGHT / 133)) click 1
}

click_at 224 26 # "..."
sleep 2
xdotool type --delay 10 "$work/larkspur-demo.wav"
xdotool key Return
sleep 1
click_at 65 115 # Play
sleep 1
# The speed slider one page down (a click below the handle), then ten steps down: position 140.
click_at 261 100
xdotool key --repeat 10 --delay 20 Down
sleep 1
import -window root "$work/screen.png"
mkdir -p "$(dirname "$output")"
convert "$work/screen.png" -trim +repage "$output"

# Escape ends the program while it plays; it must end cleanly.
xdotool windowactivate --sync "$window" key Escape
status=0
wait "$app_pid" || status=$?
app_pid=""
if [[ $status -ne 0 ]]; then
    echo "screenshot-linux: larkspur ended with $status" >&2
    cat "$work/larkspur.log" >&2
    exit 1
fi
echo "screenshot-linux: wrote $output"
