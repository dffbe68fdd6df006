#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs Larkspur's whole test suite:
#   linux    native debug build, every test through CTest
#   asan     AddressSanitizer + UBSan build, every test
#   tsan     ThreadSanitizer build, every test
#   windows  MinGW-w64 cross build, every test executable under Wine
#   fuzz     the WAV reader and playback-chain fuzzers for a minute each
#   layers   no #include crosses a forbidden line between subsystems and platforms
#   package  the Debian package: its files, dependencies and a start under Xvfb
# Choose stages with LARKSPUR_TEST_STAGES="linux windows" (default: all of them).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/scripts/install-deps.sh" || { echo "test.sh: installing dependencies failed" >&2; exit 1; }

stages=${LARKSPUR_TEST_STAGES:-"layers linux asan tsan windows fuzz package"}
jobs=$(nproc)
passed=()
failed=()

run_stage() {
    local name=$1
    shift
    echo
    echo "=== stage $name ==="
    local started=$SECONDS
    if "$@"; then
        passed+=("$name")
        echo "=== stage $name passed in $((SECONDS - started)) s ==="
    else
        failed+=("$name")
        echo "=== stage $name FAILED after $((SECONDS - started)) s ==="
    fi
}

native_stage() {
    local preset=$1
    cmake --preset "$preset" >/dev/null &&
        cmake --build --preset "$preset" -j "$jobs" &&
        ctest --preset "$preset" -j "$jobs" || return 1
    # The sanitizer builds also run the player soak for a while.
    if [[ $preset == asan || $preset == tsan ]]; then
        LARKSPUR_SOAK_CYCLES=${LARKSPUR_SOAK_CYCLES:-200} "$root/build/$preset/tests/soak_tests" --gtest_color=no
    fi
}

windows_stage() {
    cmake --preset windows >/dev/null &&
        cmake --build --preset windows -j "$jobs" &&
        "$root/scripts/run-wine-tests.sh" "$root/build/windows" &&
        cmake --build --preset windows --target package &&
        "$root/scripts/check-windows-package.sh" "$root/build/windows"
}

fuzz_stage() {
    if [[ -x "$root/scripts/fuzz.sh" ]]; then
        "$root/scripts/fuzz.sh" wave 60 && "$root/scripts/fuzz.sh" chain 60
    else
        echo "no fuzz targets yet"
    fi
}

for stage in $stages; do
    case $stage in
    linux | asan | tsan) run_stage "$stage" native_stage "$stage" ;;
    windows) run_stage windows windows_stage ;;
    fuzz) run_stage fuzz fuzz_stage ;;
    layers) run_stage layers "$root/scripts/check-layers.sh" ;;
    package) run_stage package "$root/scripts/check-package.sh" ;;
    *) echo "test.sh: unknown stage '$stage'" >&2; failed+=("$stage") ;;
    esac
done

echo
echo "passed stages: ${passed[*]:-none}"
echo "failed stages: ${failed[*]:-none}"
echo "stages: ${#passed[@]} passed, ${#failed[@]} failed"
[[ ${#failed[@]} -eq 0 ]]
