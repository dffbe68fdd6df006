#!/usr/bin/env bash
# Installs every Debian package Larkspur needs. Idempotent: when everything is present it changes
# nothing and needs no network.
#   scripts/install-deps.sh            everything: native build, tests, benchmarks, fuzzing, Windows cross build + Wine
#                                      (Wine's Media Foundation decodes through the 64-bit GStreamer plug-ins;
#                                      the decoder tests' files are made with ffmpeg)
#   scripts/install-deps.sh --player   only what building and running the player natively needs
#   scripts/install-deps.sh --only PACKAGE...   just those packages (for scripts that need a few)
set -euo pipefail

player=(build-essential cmake ninja-build pkg-config qt6-base-dev libasound2-dev libpulse-dev fonts-noto-cjk
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev)
everything=("${player[@]}"
    googletest libbenchmark-dev clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 xvfb xauth
    pulseaudio pulseaudio-utils libasound2-plugins tmux fonts-ipafont-gothic imagemagick
    libsoxr-dev libsamplerate0-dev libfftw3-dev sox python3
    desktop-file-utils dpkg-dev file xdotool openbox x11-utils lintian ccache dbus playerctl
    ffmpeg gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav)

if [[ "${1:-}" == "--player" ]]; then
    wanted=("${player[@]}")
elif [[ "${1:-}" == "--only" ]]; then
    wanted=("${@:2}")
else
    wanted=("${everything[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all ${#wanted[@]} packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
