#!/usr/bin/env bash
# Builds the linux-release preset and prints, in one run, the converter table (realtime factors
# and set-up times, the two resampler yardsticks beside ours), the transform table and the player
# table (CPU per thread, peak memory, Play -> first sound). Benchmarks, not tests: run it on a
# quiet machine; other load only ever makes the numbers worse.
#   scripts/bench.sh [--seconds S]     S: seconds of sound per player case (default 4)
# LARKSPUR_BENCH_JOBS sets the build's parallel jobs (default: the processor count).
set -euo pipefail

seconds=4
if [[ $# -gt 0 ]]; then
    if [[ $# -ne 2 || $1 != --seconds || ! $2 =~ ^[0-9]+([.][0-9]+)?$ ]]; then
        echo "usage: scripts/bench.sh [--seconds S]" >&2
        exit 1
    fi
    seconds=$2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Google Benchmark builds the tables; without the two resampler packages or FFTW their columns show
# "-" (all three are yardsticks only, linked into the benchmarks and nothing else).
wanted=(build-essential cmake ninja-build pkg-config libbenchmark-dev libsoxr-dev libsamplerate0-dev libfftw3-dev googletest)
missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "bench.sh: installing ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo_cmd=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "${LARKSPUR_BENCH_JOBS:-$(nproc)}" \
    --target converter_bench transform_bench player_bench
bench=build/linux-release/bench
# The tables' own reporters colour their lines whatever the flags say; plain text reads better in logs.
plain() { sed 's/\x1b\[[0-9;]*m//g'; }

echo
echo "=== Converter (realtime factor = seconds of input converted per CPU second, one core)"
"$bench/converter_bench" --benchmark_color=false | plain
echo
echo "=== Transforms"
"$bench/transform_bench" --benchmark_color=false | plain
echo
echo "=== Player"
"$bench/player_bench" --seconds "$seconds"
