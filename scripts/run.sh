#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the player and runs it.
#   scripts/run.sh [SHIFT]      with a display ($DISPLAY or $WAYLAND_DISPLAY): build and start the
#                               player window, larkspur (SHIFT: the optional spectrum shift)
#   scripts/run.sh ARGS...      without a display: build the command-line program and run
#                               larkspur-cli with ARGS (its help when there are none)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" --player
cmake --preset linux-release -B build/player -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    cmake --build build/player -j "$(nproc)" --target larkspur
    exec "$root/build/player/app/qt/larkspur" "$@"
fi
echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the player window cannot open;" >&2
echo "run.sh: running the command-line program larkspur-cli instead." >&2
cmake --build build/player -j "$(nproc)" --target larkspur-cli
if [[ $# -eq 0 ]]; then
    set -- --help
fi
exec "$root/build/player/app/cli/larkspur-cli" "$@"
