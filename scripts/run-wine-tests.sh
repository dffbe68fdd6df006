#!/usr/bin/env bash
# Runs every Windows test executable of a build folder under Wine, with a private prefix and home
# inside that folder, on a private Xvfb display. Prints each executable's GoogleTest output and exits
# non-zero when any of them fails.
#   scripts/run-wine-tests.sh [BUILD_DIR]   (default: build/windows)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)

export WINEPREFIX="$build/wine/prefix"
export HOME="$build/wine/home"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
mkdir -p "$HOME"

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" >/dev/null 2>&1 || true
    fi
}
trap cleanup EXIT

# A display of our own, so dialog tests never need the user's screen.
if command -v Xvfb >/dev/null 2>&1; then
    for display in $(seq 91 130); do
        if [[ ! -e /tmp/.X11-unix/X$display && ! -e /tmp/.X$display-lock ]]; then
            Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$display"
            break
        fi
    done
fi

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "run-wine-tests: creating Wine prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # The dialog tests show Japanese labels.
    "$root/scripts/wine-japanese-fonts.sh" || true
fi

shopt -s nullglob
executables=("$build"/tests/*_tests.exe)
if [[ ${#executables[@]} -eq 0 ]]; then
    echo "run-wine-tests: no test executables in $build/tests" >&2
    exit 1
fi

failed=()
for exe in "${executables[@]}"; do
    name=$(basename "$exe")
    echo "=== $name (Wine) ==="
    (cd "$build/tests" && wine "$exe" --gtest_color=no)
    status=$?
    if [[ $status -ne 0 ]]; then
        failed+=("$name (exit $status)")
    fi
done

if [[ ${#failed[@]} -ne 0 ]]; then
    echo "run-wine-tests: FAILED: ${failed[*]}"
    exit 1
fi
echo "run-wine-tests: all ${#executables[@]} test executables passed under Wine"
