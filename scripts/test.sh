#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs Larkspur's whole test suite. `scripts/test.sh --list` prints
# the stages and what each runs; LARKSPUR_TEST_STAGES="linux windows" chooses some of them (default:
# all, in the order listed). Four builds serve every stage: linux (also packaged), asan (also the
# fuzz targets), tsan and windows. A compiler cache (ccache) is used when installed;
# CCACHE_DISABLE=1 turns it off.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all_stages="layers linux asan tsan windows fuzz package"
describe() {
    case $1 in
    layers) echo "no #include crosses a forbidden line between subsystems and platforms" ;;
    linux) echo "gcc build at -O2 (the one the package stage packages): every test through CTest, the ALSA and sound-server tests included" ;;
    asan) echo "clang build at -O1 with AddressSanitizer + UBSan: every test through CTest, then the player soak (LARKSPUR_SOAK_CYCLES, default 200); it builds the fuzz targets too" ;;
    tsan) echo "gcc build at -O1 with ThreadSanitizer: every test executable that runs threads (all but wave_tests) through CTest, then the player soak" ;;
    windows) echo "MinGW-w64 cross build: every test executable under Wine, then the ZIP and its check" ;;
    fuzz) echo "the WAV reader and playback-chain fuzzers of the asan build, a minute each, side by side" ;;
    package) echo "the Debian package of the linux build: its files, licence, manual pages, lintian, and a start under Xvfb" ;;
    esac
}

if [[ ${1:-} == --list ]]; then
    for stage in $all_stages; do
        printf '%-8s %s\n' "$stage" "$(describe "$stage")"
    done
    exit 0
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/test.sh [--list]   (LARKSPUR_TEST_STAGES chooses stages)" >&2
    exit 2
fi

"$root/scripts/install-deps.sh" || { echo "test.sh: installing dependencies failed" >&2; exit 1; }

# The compiler cache, when present, for builds configured from here on. Paths below the clone are
# hashed relative to it, so a second clone of the same sources hits the cache too.
if command -v ccache >/dev/null 2>&1 && [[ -z ${CMAKE_CXX_COMPILER_LAUNCHER:-} ]]; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
    # The test executables use precompiled headers, which ccache caches only with these.
    export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
fi

stages=${LARKSPUR_TEST_STAGES:-$all_stages}
jobs=$(nproc)
soak_cycles=${LARKSPUR_SOAK_CYCLES:-200}
passed=()
failed=()
timings=()

run_stage() {
    local name=$1
    shift
    echo
    echo "=== stage $name: $(describe "$name") ==="
    local started=$SECONDS
    if "$@"; then
        passed+=("$name")
        echo "=== stage $name passed in $((SECONDS - started)) s ==="
    else
        failed+=("$name")
        echo "=== stage $name FAILED after $((SECONDS - started)) s ==="
    fi
    timings+=("$name $((SECONDS - started)) s")
}

configure() {
    cmake --preset "$1" >/dev/null
}

linux_stage() {
    configure linux &&
        cmake --build --preset linux -j "$jobs" &&
        ctest --preset linux -j "$jobs"
}

# The sanitizer builds run their tests, then the player soak for a while.
sanitizer_stage() {
    local preset=$1
    configure "$preset" &&
        cmake --build --preset "$preset" -j "$jobs" &&
        ctest --preset "$preset" -j "$jobs" || return 1
    echo "test.sh: $preset soak, $soak_cycles cycles"
    LARKSPUR_SOAK_CYCLES=$soak_cycles "$root/build/$preset/tests/soak_tests" --gtest_color=no
}

windows_stage() {
    configure windows &&
        cmake --build --preset windows -j "$jobs" &&
        "$root/scripts/run-wine-tests.sh" "$root/build/windows" &&
        cmake --build --preset windows --target package &&
        "$root/scripts/check-windows-package.sh" "$root/build/windows"
}

# Both fuzzers at once, one core each, each for its minute.
fuzz_stage() {
    "$root/scripts/fuzz.sh" all 60
}

for stage in $stages; do
    case $stage in
    linux) run_stage linux linux_stage ;;
    asan | tsan) run_stage "$stage" sanitizer_stage "$stage" ;;
    windows) run_stage windows windows_stage ;;
    fuzz) run_stage fuzz fuzz_stage ;;
    layers) run_stage layers "$root/scripts/check-layers.sh" ;;
    package) run_stage package "$root/scripts/check-package.sh" "$root/build/linux" ;;
    *) echo "test.sh: unknown stage '$stage' (scripts/test.sh --list names them)" >&2; failed+=("$stage") ;;
    esac
done

echo
echo "stage times: $(IFS=,; echo "${timings[*]:-none}" | sed 's/,/, /g'), total ${SECONDS} s"
echo "passed stages: ${passed[*]:-none}"
echo "failed stages: ${failed[*]:-none}"
echo "stages: ${#passed[@]} passed, ${#failed[@]} failed"
[[ ${#failed[@]} -eq 0 ]]
