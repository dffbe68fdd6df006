#!/usr/bin/env bash
# Fuzzes one target: builds the "fuzz" preset (clang, libFuzzer, ASan + UBSan), writes the seed
# corpus with the test WAV builder and runs the fuzzer for the given number of seconds (default 60).
#   wave    any bytes as a WAV file through the reader (the default)
#   chain   settings + a WAV file through reader, stereo, converter, volume and quantiser
# Exits non-zero when the fuzzer finds a crash, a hang, a leak or a broken invariant; the input that
# did it is left in the build folder under TARGET-fuzz-artifacts/.
#   scripts/fuzz.sh [wave|chain] [seconds]      (scripts/fuzz.sh SECONDS fuzzes the reader)
#   scripts/fuzz.sh [wave|chain] --runs N       a number of executions instead of a time
# LARKSPUR_FUZZ_BUILD_DIR chooses the build folder (default build/fuzz).
set -euo pipefail

target=wave
if [[ ${1:-} == wave || ${1:-} == chain ]]; then
    target=$1
    shift
fi
limit=(-max_total_time="${1:-60}")
if [[ ${1:-} == --runs ]]; then
    [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [wave|chain] [seconds | --runs N]" >&2; exit 1; }
    limit=(-runs="$2")
elif ! [[ ${1:-60} =~ ^[0-9]+$ ]] || [[ ${1:-60} -eq 0 ]]; then
    echo "usage: scripts/fuzz.sh [wave|chain] [seconds | --runs N]" >&2
    exit 1
fi

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${LARKSPUR_FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=$(($(nproc) < 2 ? $(nproc) : 2))

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target "${target}_fuzz" wave_fuzz_seeds

seeds=$build/$target-seeds
corpus=$build/$target-corpus
artifacts=$build/$target-fuzz-artifacts
rm -rf "$seeds"
mkdir -p "$corpus" "$artifacts"
if [[ $target == chain ]]; then
    "$build/tests/fuzz/wave_fuzz_seeds" --chain "$seeds"
else
    "$build/tests/fuzz/wave_fuzz_seeds" "$seeds"
fi

# The corpus folder collects what the fuzzer finds and keeps it for later runs in the same build
# folder; the seeds are read only. Either target must finish any input of this size in well under a
# second.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    "$build/tests/fuzz/${target}_fuzz" "$corpus" "$seeds" \
    "${limit[@]}" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
echo "fuzz.sh: $target: no crash (${limit[*]})"
