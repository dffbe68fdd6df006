#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the player and runs it.
#   scripts/run.sh [SHIFT]      with a display ($DISPLAY or $WAYLAND_DISPLAY): the player window,
#                               larkspur (SHIFT: the optional spectrum shift)
#   scripts/run.sh COMMAND ...  larkspur-cli COMMAND ... (info, render, play, devices, --help, ...)
# Without a display (or with a file to play):
#   scripts/run.sh              the terminal player on its demo piece
#   scripts/run.sh FILE.wav     the terminal player on FILE.wav (options of 'larkspur-cli play' may follow)
# The terminal player plays on the default sound device; on a machine without any sound card or
# sound server it plays onto the virtual device and keeps what it played as a WAV file.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" --player
cmake --preset linux-release -B build/player -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null

# Something to play on: a sound card, or a sound server (which may have outputs of its own, such as
# network or Bluetooth ones).
has_output() {
    grep -qs '^ *[0-9]' /proc/asound/cards || [[ -n "${PULSE_SERVER:-}" ]] ||
        [[ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ]]
}

# A display and at most a shift number: the player window.
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    if [[ $# -eq 0 || ( $# -eq 1 && "$1" =~ ^[+-]?[0-9]+$ ) ]]; then
        cmake --build build/player -j "$(nproc)" --target larkspur
        if [[ -z "${LARKSPUR_AUDIO:-}" ]] && ! has_output; then
            echo "run.sh: this machine has no sound card (/proc/asound/cards lists none) and no sound server; the window plays onto the silent virtual device."
            export LARKSPUR_AUDIO=virtual
        fi
        exec "$root/build/player/app/qt/larkspur" "$@"
    fi
elif [[ $# -eq 0 ]]; then
    echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the player window cannot open;"
    echo "run.sh: playing in the terminal instead (larkspur-cli play)."
fi
cmake --build build/player -j "$(nproc)" --target larkspur-cli
cli="$root/build/player/app/cli/larkspur-cli"

case "${1:-}" in
    info | render | play | devices | help | -h | --help | --version)
        exec "$cli" "$@"
        ;;
esac

# The terminal player.
if [[ -z "${LARKSPUR_AUDIO:-}" ]] && ! has_output; then
    capture="$root/build/player/larkspur-capture.wav"
    echo "run.sh: this machine has no sound card (/proc/asound/cards lists none) and no sound server."
    echo "run.sh: playing on the virtual device instead; what it plays is written to $capture"
    status=0
    LARKSPUR_AUDIO="virtual:$capture" "$cli" play "$@" || status=$?
    if [[ -s "$capture" ]]; then
        echo "run.sh: the sound was written to $capture ($(stat -c %s "$capture") bytes)"
    fi
    exit "$status"
fi
exec "$cli" play "$@"
