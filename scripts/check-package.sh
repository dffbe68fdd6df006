#!/usr/bin/env bash
# Builds the Debian package (player only, in BUILD_DIR, default build/package) and checks it: the
# files it installs, its library dependencies, its desktop entry, and a start of the packaged
# larkspur on a private Xvfb display that Escape ends with exit code 0.
#   scripts/check-package.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/package}
cmake --preset linux-release -B "$build" -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null
rm -f "$build"/larkspur_*.deb
cmake --build "$build" -j "$(nproc)" --target package
deb=$(ls "$build"/larkspur_*.deb)

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
app_pid=""
cleanup() {
    for pid in $app_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-package: $*" >&2
    exit 1
}

listing=$(dpkg-deb -c "$deb")
for file in ./usr/bin/larkspur ./usr/bin/larkspur-cli ./usr/share/applications/larkspur.desktop \
    ./usr/share/icons/hicolor/scalable/apps/larkspur.svg ./usr/share/doc/larkspur/README.md; do
    grep -q " $file\$" <<<"$listing" || fail "$file is not in $deb"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libqt6widgets6" <<<"$depends" || fail "Depends lacks the Qt widgets library: $depends"
grep -q "libpulse0" <<<"$depends" || fail "Depends lacks the sound server's client library: $depends"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/larkspur.desktop"
"$work/root/usr/bin/larkspur-cli" --version >/dev/null

display=90
while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x400x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -e /tmp/.X11-unix/X$display ]] && break
    sleep 0.1
done
export DISPLAY=":$display"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
sleep 1
LARKSPUR_AUDIO=virtual QT_QPA_PLATFORM=xcb "$work/root/usr/bin/larkspur" 3 >"$work/larkspur.log" 2>&1 &
app_pid=$!
version=$(sed -n 's/^project(Larkspur VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Larkspur v${version//./\\.} \\(Shift: 3\\)\$" | head -n 1) ||
    fail "the packaged larkspur showed no window: $(cat "$work/larkspur.log")"
xdotool windowactivate --sync "$window" key Escape
status=0
wait "$app_pid" || status=$?
app_pid=""
[[ $status -eq 0 ]] || fail "larkspur ended with $status after Escape: $(cat "$work/larkspur.log")"
echo "check-package: $deb holds the programs, the desktop entry, the icon and the README; it starts and ends cleanly"
