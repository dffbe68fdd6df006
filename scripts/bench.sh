#!/usr/bin/env bash
# Builds the linux-release preset and prints, in one run, the converter table (realtime factors
# and set-up times, the two resampler yardsticks beside ours), the render table (the whole offline
# chain of larkspur-cli render --bits 16 against the converter alone), the transform table (FFTW
# beside our kernels) and the player table (CPU per thread against the floor of its 1 ms waits, peak
# memory, Play -> first sound). Benchmarks, not tests: run it on a quiet machine; other load only
# ever makes the numbers worse.
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
wanted=(build-essential cmake ninja-build pkg-config libbenchmark-dev libsoxr-dev libsamplerate0-dev libfftw3-dev googletest
    sox)
"$root/scripts/install-deps.sh" --only "${wanted[@]}"

cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "${LARKSPUR_BENCH_JOBS:-$(nproc)}" \
    --target converter_bench transform_bench player_bench larkspur-cli
bench=build/linux-release/bench
cli=build/linux-release/app/cli/larkspur-cli
# The tables' own reporters colour their lines whatever the flags say; plain text reads better in logs.
plain() { sed 's/\x1b\[[0-9;]*m//g'; }

echo
echo "=== Converter (realtime factor = seconds of input converted per CPU second, one core)"
converter_table=$(mktemp)
trap 'rm -f "$converter_table"' EXIT
"$bench/converter_bench" --benchmark_color=false | plain | tee "$converter_table"
echo

# The whole chain offline: 60 s stereo inputs (made once with sox), rendered to a 16-bit file at the
# converter table's rates and speeds (x2.52 is the slider's top, x2.5198), best CPU time of three.
echo "=== Render (larkspur-cli render --bits 16 of 60 s to a file; realtime factor as above)"
inputs=$bench/render-inputs
mkdir -p "$inputs"
printf '%-18s %12s %12s %10s\n' conversion render converter "render/conv"
TIMEFORMAT='%U %S'
for case_line in "44.1k->48k x1:44100:48000:120" "44.1k->48k x2.52:44100:48000:280" \
    "48k->384k x2.52:48000:384000:280" "8k->384k x0.5:8000:384000:0" "8k->384k x2.52:8000:384000:280" \
    "192k->48k x2.52:192000:48000:280"; do
    IFS=: read -r name rate device position <<<"$case_line"
    input=$inputs/sines-$rate.wav
    [[ -f $input ]] || sox -n -r "$rate" -b 16 -c 2 "$input" synth 60 sine 440 sine 1234.5 vol 0.5
    best=
    for _ in 1 2 3; do
        cpu=$({ time "$cli" render "$input" "$inputs/out.wav" --rate "$device" --position "$position" \
            --bits 16 >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        best=$(awk -v a="$cpu" -v b="${best:-$cpu}" 'BEGIN { print (a < b ? a : b) }')
    done
    converter=$(awk -v n="$name" '/^realtime factor/ { f = 1 } /^set-up time/ { f = 0 }
        f && index($0, n " ") == 1 { v = $3 } END { print v }' "$converter_table")
    awk -v n="$name" -v t="$best" -v c="${converter:-0}" 'BEGIN {
        r = 60 / t; printf "%-18s %12.1f %12.1f %9.2fx\n", n, r, c, (c > 0 ? r / c : 0) }'
done
rm -f "$inputs/out.wav"
echo
echo "=== Transforms"
"$bench/transform_bench" --benchmark_color=false | plain
echo
echo "=== Player"
"$bench/player_bench" --seconds "$seconds"
