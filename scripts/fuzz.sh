#!/usr/bin/env bash
# Fuzzes the WAV reader: builds the "fuzz" preset (clang, libFuzzer, ASan + UBSan), writes the seed
# corpus with the test WAV builder and runs the fuzzer for the given number of seconds (default 60).
# Exits non-zero when the fuzzer finds a crash, a hang, a leak or a broken invariant; the input that
# did it is left in the build folder under wave-fuzz-artifacts/.
#   scripts/fuzz.sh [seconds]
# LARKSPUR_FUZZ_BUILD_DIR chooses the build folder (default build/fuzz).
set -euo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -eq 0 ]]; then
    echo "usage: scripts/fuzz.sh [seconds]" >&2
    exit 1
fi

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${LARKSPUR_FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=$(($(nproc) < 2 ? $(nproc) : 2))

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target wave_fuzz wave_fuzz_seeds

seeds=$build/wave-seeds
corpus=$build/wave-corpus
artifacts=$build/wave-fuzz-artifacts
rm -rf "$seeds"
mkdir -p "$corpus" "$artifacts"
"$build/tests/fuzz/wave_fuzz_seeds" "$seeds"

# The corpus folder collects what the fuzzer finds and keeps it for later runs in the same build
# folder; the seeds are read only. The reader must finish any input of this size in well under a second.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    "$build/tests/fuzz/wave_fuzz" "$corpus" "$seeds" \
    -max_total_time="$seconds" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
echo "fuzz.sh: no crash in $seconds s"
