#!/usr/bin/env bash
# The whole player under a seeded random script with faults (tests/soak), under AddressSanitizer
# and ThreadSanitizer: files good and bad, Play, slider storms, Pause, Stop, failing devices and
# object creation; it checks thread ends, stop times, control states and memory after every step.
#   scripts/soak.sh [CYCLES] [SEED]     (default 200 cycles, seed 1)
# LARKSPUR_SOAK_PRESETS chooses the builds (default "asan tsan").
set -euo pipefail

cycles=${1:-200}
seed=${2:-1}
if ! [[ $cycles =~ ^[0-9]+$ && $seed =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/soak.sh [CYCLES] [SEED]" >&2
    exit 1
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for preset in ${LARKSPUR_SOAK_PRESETS:-asan tsan}; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target soak_tests
    echo "soak.sh: $preset, $cycles cycles, seed $seed"
    LARKSPUR_SOAK_CYCLES=$cycles LARKSPUR_SOAK_SEED=$seed "build/$preset/tests/soak_tests" --gtest_color=no
done
