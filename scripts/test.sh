#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs Larkspur's whole test suite. `scripts/test.sh --list` prints
# the stages and what each runs; LARKSPUR_TEST_STAGES="linux windows" chooses some of them (default:
# all, in the order listed). Four builds serve every stage: linux (also packaged), asan (also the
# fuzz targets), tsan and windows; they compile one after another in the background while the
# stages before them run their tests. A compiler cache (ccache) is used when installed;
# CCACHE_DISABLE=1 turns it off.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The stages, one row each: name | build it tests (empty: none) | the function that runs it | its
# --list line. The order puts the light tests (sound in real time, the soaks, Wine) beside the builds
# that follow them, and the ones that keep both cores busy (fuzzing, packaging) last, when nothing is
# left to build. A new stage is one row here and its function below.
stage_table=(
    "layers||layers_stage|no #include crosses a forbidden line between subsystems and platforms"
    "asan|asan|sanitizer_stage asan|clang build at -O1 with AddressSanitizer + UBSan: every test through CTest, then the player soak (LARKSPUR_SOAK_CYCLES, default 200); it builds the fuzz targets too"
    "tsan|tsan|sanitizer_stage tsan|gcc build at -O1 with ThreadSanitizer: every test through CTest, then the player soak"
    "windows|windows|windows_stage|MinGW-w64 cross build: every test executable under Wine through CTest, then the ZIP and its check"
    "linux|linux|linux_stage|gcc build at -O2 (the one the package stage packages): every test through CTest, the ALSA and sound-server tests included"
    "package|linux|package_stage|the Debian package of the linux build: its files, licence, manual pages, lintian, and a start under Xvfb"
    "fuzz||fuzz_stage|the WAV reader, playback-chain and decoder-reader fuzzers of the asan build, a minute each, side by side"
)
# stage_field NAME COLUMN: one column of a stage's row (1 name, 2 build, 3 function, 4 description).
stage_field() {
    local row
    for row in "${stage_table[@]}"; do
        if [[ ${row%%|*} == "$1" ]]; then
            cut -d '|' -f "$2" <<<"$row"
            return
        fi
    done
}
all_stages=$(for row in "${stage_table[@]}"; do printf '%s ' "${row%%|*}"; done)
all_stages=${all_stages% }
describe() { stage_field "$1" 4; }

if [[ ${1:-} == --list ]]; then
    for stage in $all_stages; do
        printf '%-8s %s\n' "$stage" "$(describe "$stage")"
    done
    exit 0
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/test.sh [--list]   (LARKSPUR_TEST_STAGES chooses stages)" >&2
    exit 2
fi

stages=${LARKSPUR_TEST_STAGES:-$all_stages}
for stage in $stages; do
    case " $all_stages " in
    *" $stage "*) ;;
    *) echo "test.sh: unknown stage '$stage' (scripts/test.sh --list names them)" >&2; exit 2 ;;
    esac
done

# LARKSPUR_SKIP_INSTALL=1 leaves the machine as it is (for repeated runs; the first needs root).
if [[ ${LARKSPUR_SKIP_INSTALL:-0} != 1 ]]; then
    "$root/scripts/install-deps.sh" || { echo "test.sh: installing dependencies failed" >&2; exit 1; }
fi

# The compiler cache, when present, for builds configured from here on. Paths below the clone are
# hashed relative to it, so a second clone of the same sources hits the cache too.
if command -v ccache >/dev/null 2>&1 && [[ -z ${CMAKE_CXX_COMPILER_LAUNCHER:-} ]]; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
    # The builds use precompiled headers, which ccache caches only with these.
    export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
fi

jobs=$(nproc)
soak_cycles=${LARKSPUR_SOAK_CYCLES:-200}
passed=()
failed=()
timings=()

# The builds the chosen stages test, each once. The fuzz stage uses the asan build's fuzz targets when
# that build runs, and builds its own otherwise; the package stage packages the linux build.
builds=()
for stage in $stages; do
    build=$(stage_field "$stage" 2)
    if [[ -n $build && " ${builds[*]} " != *" $build "* ]]; then
        builds+=("$build")
    fi
done

# The builds run one after another in the background, in the idle scheduling class: while a stage's
# tests run, the next build takes only the processor time they leave, so the real-time tests are not
# starved and most of the compiling hides behind them. Each build's output goes to a log, printed
# when it fails. The Wine prefix is made the same way while the builds compile.
progress=$root/build/test-run
rm -rf "$progress"
mkdir -p "$progress"
# logged NAME COMMAND...: runs the command into NAME.log, then writes "STATUS SECONDS" to NAME.done.
logged() {
    local name=$1 started=$SECONDS
    shift
    "$@" >"$progress/$name.log" 2>&1
    echo "$? $((SECONDS - started))" >"$progress/$name.tmp"
    mv "$progress/$name.tmp" "$progress/$name.done"
}
build_preset() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}
# in_background COMMAND...: in the idle class and a process group of its own, so that an interrupted
# run stops the compilers too.
background=()
in_background() {
    set -m
    (
        chrt --idle -p 0 "$BASHPID" >/dev/null 2>&1 || renice -n 19 -p "$BASHPID" >/dev/null 2>&1
        "$@"
    ) &
    background+=($!)
    set +m
}
stop_background() {
    local pid
    for pid in "${background[@]}"; do
        kill -- -"$pid" >/dev/null 2>&1
    done
}
trap stop_background EXIT
trap 'exit 130' INT TERM

build_chain() {
    local preset
    for preset in "${builds[@]}"; do
        logged "$preset" build_preset "$preset"
    done
}
[[ ${#builds[@]} -gt 0 ]] && in_background build_chain
[[ " $stages " == *" windows "* ]] && in_background logged wine-prefix "$root/scripts/run-wine-tests.sh" --prefix-only
build_times=()
declare -A reported=()

running() {
    local pid
    for pid in "${background[@]}"; do
        kill -0 "$pid" 2>/dev/null && return 0
    done
    return 1
}

# await NAME: waits for a background job; fails, with its log, when the job failed.
await() {
    local name=$1 done_file=$progress/$1.done rc seconds
    until [[ -e $done_file ]]; do
        if ! running && [[ ! -e $done_file ]]; then
            echo "test.sh: the background jobs stopped before $name was done" >&2
            return 1
        fi
        sleep 1
    done
    read -r rc seconds <"$done_file"
    if [[ -n ${reported[$name]:-} ]]; then
        [[ $rc -eq 0 ]] || echo "test.sh: $name failed (its log is printed above)"
        return "$rc"
    fi
    reported[$name]=1
    build_times+=("$name $seconds s")
    if [[ $rc -ne 0 ]]; then
        echo "test.sh: $name failed after $seconds s; from its log ($progress/$name.log):"
        if grep -q '^FAILED:' "$progress/$name.log"; then
            sed -n '/^FAILED:/,$p' "$progress/$name.log" | head -n 200
        else
            tail -n 60 "$progress/$name.log"
        fi
        return 1
    fi
    echo "test.sh: $name done in $seconds s (log: $progress/$name.log)"
}

# await_build PRESET: the build of a preset this run builds.
await_build() {
    [[ " ${builds[*]} " == *" $1 "* ]] || return 0
    await "$1"
}

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

linux_stage() {
    await_build linux &&
        ctest --preset linux -j "$jobs"
}

# The sanitizer builds run their tests, then the player soak for a while.
sanitizer_stage() {
    local preset=$1
    await_build "$preset" &&
        ctest --preset "$preset" -j "$jobs" || return 1
    echo "test.sh: $preset soak, $soak_cycles cycles"
    LARKSPUR_SOAK_CYCLES=$soak_cycles "$root/build/$preset/tests/soak_tests" --gtest_color=no
}

windows_stage() {
    await_build windows && await wine-prefix &&
        ctest --preset windows &&
        cmake --build --preset windows --target package &&
        "$root/scripts/check-windows-package.sh" "$root/build/windows"
}

# The three fuzzers at once, on the two cores, each for its minute.
fuzz_stage() {
    await_build asan &&
        "$root/scripts/fuzz.sh" all 60
}

package_stage() {
    await_build linux &&
        "$root/scripts/check-package.sh" "$root/build/linux"
}

layers_stage() {
    "$root/scripts/check-layers.sh"
}

for stage in $stages; do
    # The function's name and its arguments, split on purpose.
    # shellcheck disable=SC2046
    run_stage "$stage" $(stage_field "$stage" 3)
done

echo
echo "stage times: $(IFS=,; echo "${timings[*]:-none}" | sed 's/,/, /g'), total ${SECONDS} s"
echo "background times (beside the stages' tests): $(IFS=,; echo "${build_times[*]:-none}" | sed 's/,/, /g')"
echo "passed stages: ${passed[*]:-none}"
echo "failed stages: ${failed[*]:-none}"
echo "stages: ${#passed[@]} passed, ${#failed[@]} failed"
[[ ${#failed[@]} -eq 0 ]]
