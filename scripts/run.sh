#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the player and runs it.
#   scripts/run.sh              build, then show the command-line program's help
#   scripts/run.sh ARGS...      build, then run larkspur-cli with ARGS
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" --player
cmake --preset linux-release -B build/player -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null
cmake --build build/player -j "$(nproc)" --target larkspur-cli
if [[ $# -eq 0 ]]; then
    set -- --help
fi
exec "$root/build/player/app/cli/larkspur-cli" "$@"
