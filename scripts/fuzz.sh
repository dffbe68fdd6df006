#!/usr/bin/env bash
# Fuzzes with the libFuzzer targets of the "asan" preset (clang, ASan + UBSan, the build the asan
# test stage uses): writes the seed corpus with the test WAV builder and runs the fuzzer for the
# given number of seconds (default 60).
#   wave    any bytes as a WAV file through the reader (the default)
#   chain   settings + a WAV file through reader, stereo, converter, volume and quantiser
#   decoder any bytes as a sound file through the decoder reader (seeds: tiny files of each coding
#           the ffmpeg tool encodes)
#   all     all three side by side, each for the whole time (on two cores)
# Exits non-zero when the fuzzer finds a crash, a hang, a leak or a broken invariant; the input that
# did it is left in the build folder under TARGET-fuzz-artifacts/.
#   scripts/fuzz.sh [wave|chain|all] [seconds]      (scripts/fuzz.sh SECONDS fuzzes the reader)
#   scripts/fuzz.sh [wave|chain|all] --runs N       a number of executions instead of a time
# LARKSPUR_FUZZ_BUILD_DIR chooses the build folder (default build/asan).
set -euo pipefail

target=wave
if [[ ${1:-} == wave || ${1:-} == chain || ${1:-} == decoder || ${1:-} == all ]]; then
    target=$1
    shift
fi
limit=(-max_total_time="${1:-60}")
if [[ ${1:-} == --runs ]]; then
    [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [wave|chain|decoder|all] [seconds | --runs N]" >&2; exit 1; }
    limit=(-runs="$2")
elif ! [[ ${1:-60} =~ ^[0-9]+$ ]] || [[ ${1:-60} -eq 0 ]]; then
    echo "usage: scripts/fuzz.sh [wave|chain|decoder|all] [seconds | --runs N]" >&2
    exit 1
fi

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${LARKSPUR_FUZZ_BUILD_DIR:-$root/build/asan}
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
targets=("$target")
[[ $target == all ]] && targets=(wave chain decoder)

cmake --preset asan -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/%/_fuzz}" wave_fuzz_seeds

# decoder_seeds FOLDER: a tenth of a second of a tone in every coding the decoder reader takes,
# small enough for the fuzzer's input size.
decoder_seeds() {
    local folder=$1 recipe
    mkdir -p "$folder"
    for recipe in "flac:-c:a flac" "mp3:-c:a libmp3lame -b:a 32k" "m4a:-c:a aac -b:a 32k" "ogg:-c:a libvorbis" \
        "opus:-c:a libopus -b:a 16k" "alac.m4a:-c:a alac" "aiff:-c:a pcm_s16be" "wv:-c:a wavpack" \
        "ulaw.wav:-c:a pcm_mulaw" "adpcm.wav:-c:a adpcm_ms"; do
        ffmpeg -nostdin -v error -y -f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.1" \
            ${recipe#*:} "$folder/seed.${recipe%%:*}"
    done
}

# fuzz TARGET: one fuzzer run.
fuzz() {
    local target=$1
    local seeds=$build/$target-seeds corpus=$build/$target-corpus artifacts=$build/$target-fuzz-artifacts
    rm -rf "$seeds"
    mkdir -p "$corpus" "$artifacts"
    if [[ $target == chain ]]; then
        "$build/tests/fuzz/wave_fuzz_seeds" --chain "$seeds"
    elif [[ $target == decoder ]]; then
        decoder_seeds "$seeds"
    else
        "$build/tests/fuzz/wave_fuzz_seeds" "$seeds"
    fi
    # The corpus folder collects what the fuzzer finds and keeps it for later runs in the same build
    # folder; the seeds are read only. Either target must finish any input of this size in well
    # under a second.
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
        "$build/tests/fuzz/${target}_fuzz" "$corpus" "$seeds" \
        "${limit[@]}" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 || return 1
    echo "fuzz.sh: $target: no crash (${limit[*]})"
}

if [[ ${#targets[@]} -eq 1 ]]; then
    fuzz "$target"
    exit
fi
# Side by side, each into its own log, shown when both have ended.
pids=()
for one in "${targets[@]}"; do
    fuzz "$one" >"$build/$one-fuzz.log" 2>&1 &
    pids+=($!)
done
status=0
for index in "${!targets[@]}"; do
    if ! wait "${pids[$index]}"; then
        status=1
        echo "fuzz.sh: ${targets[$index]} FAILED; its log:"
        cat "$build/${targets[$index]}-fuzz.log"
    else
        tail -n 12 "$build/${targets[$index]}-fuzz.log"
    fi
done
exit $status
