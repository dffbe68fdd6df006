#!/usr/bin/env bash
# Runs the threaded test executables many times each with two busy loops beside them, so that a test
# that passes only while its threads are scheduled promptly fails here instead of at random in CI.
#
#   scripts/stress.sh [--runs N] [--busy-nice N] [--filter PATTERN] [--list] [--build DIR ...]
#                     [EXECUTABLE-NAME ...]
#
#   --runs N          runs of each executable (default 30)
#   --build DIR       a build folder to take executables from; repeatable (default: build/linux,
#                     build/tsan and build/windows, those that hold test executables). Its kind comes
#                     from its CMakeCache: native, a sanitizer build (run with its test preset's
#                     environment, TSAN_OPTIONS for ThreadSanitizer) or a MinGW build (run under Wine)
#   --busy-nice N     niceness of the two busy loops (default 0, the tests' own; the Wine tests run at
#                     nice -10, so -10 loads them as hard as the native ones)
#   --filter PATTERN  only these tests of each executable (GTEST_FILTER, e.g. '*Thread*'), for
#                     the slow builds (TSan, Wine) where whole executables take minutes a run
#   --list            prints what would run, and runs nothing
#   EXECUTABLE-NAME   e.g. conversion_tests (or conversion); default: every threaded executable of
#                     each build, which is every test executable but wave_tests (as the tsan stage)
#
# Native and sanitizer executables run through ctest (ctest --test-dir DIR -R ^NAME$), so each gets
# the environment tests/CMakeLists.txt gives it: linux_tests runs inside scripts/with-pulse-server.sh
# (as ctest's linux_sound_server_tests), alsa_tests and qt_tests with their variables. Windows
# executables run through scripts/run-wine-tests.sh, one executable a run (LARKSPUR_WINE_TESTS), with
# its Wine prefix, Xvfb display and PulseAudio sink. Runs go one after another; the busy loops are
# started here and killed by their PIDs at the end, also when interrupted.
#
# Every failing run's whole output is kept in build/stress/TIME-PID/BUILD/NAME.RUN.log (passing runs'
# logs are deleted); at the end a table of runs and failures per executable, then for each failure
# its log's path, the failing tests and their GoogleTest output (or the log's end when the run hung
# or crashed). Exit status 0 when every run passed, 1 when any failed, 2 for a wrong command line.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage() {
    sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'
}

runs=30
busy_nice=0
filter=""
list_only=""
builds=()
names=()
while [[ $# -gt 0 ]]; do
    case $1 in
    --runs)
        [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "stress.sh: --runs needs a positive number" >&2; exit 2; }
        runs=$2
        shift 2
        ;;
    --busy-nice)
        [[ ${2:-} =~ ^-?[0-9]+$ ]] || { echo "stress.sh: --busy-nice needs a number" >&2; exit 2; }
        busy_nice=$2
        shift 2
        ;;
    --filter)
        [[ -n ${2:-} ]] || { echo "stress.sh: --filter needs a pattern" >&2; exit 2; }
        filter=$2
        shift 2
        ;;
    --build)
        [[ -n ${2:-} ]] || { echo "stress.sh: --build needs a folder" >&2; exit 2; }
        builds+=("$2")
        shift 2
        ;;
    --list) list_only=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "stress.sh: unknown option $1 (scripts/stress.sh --help)" >&2; exit 2 ;;
    *)
        name=${1%.exe}
        [[ $name == *_tests ]] || name=${name}_tests
        names+=("$name")
        shift
        ;;
    esac
done

if [[ ${#builds[@]} -eq 0 ]]; then
    for candidate in "$root/build/linux" "$root/build/tsan" "$root/build/windows"; do
        [[ -d $candidate/tests ]] && builds+=("$candidate")
    done
    if [[ ${#builds[@]} -eq 0 ]]; then
        echo "stress.sh: no build folder with tests (build one, or name it with --build)" >&2
        exit 2
    fi
fi

# kind_of DIR: native, tsan, asan (a sanitizer build) or wine.
kind_of() {
    local cache=$1/CMakeCache.txt
    if grep -qs '^CMAKE_SYSTEM_NAME:[A-Z]*=Windows' "$cache" || compgen -G "$1/tests/*_tests.exe" >/dev/null; then
        echo wine
    elif grep -qs '^LARKSPUR_SANITIZE:[A-Z]*=thread' "$cache"; then
        echo tsan
    elif grep -qs '^LARKSPUR_SANITIZE:[A-Z]*=address' "$cache"; then
        echo asan
    else
        echo native
    fi
}

# preset_environment SANITIZER: NAME=VALUE lines of the environment CMakePresets.json's test preset
# gives the builds with LARKSPUR_SANITIZE=SANITIZER (what `ctest --preset tsan` would set).
preset_environment() {
    python3 - "$root/CMakePresets.json" "$1" <<'PY'
import json, sys
presets = json.load(open(sys.argv[1]))
configure = {p["name"]: p for p in presets.get("configurePresets", [])}
def cache(name):
    p = configure.get(name, {})
    values = dict(cache(p["inherits"])) if isinstance(p.get("inherits"), str) else {}
    values.update(p.get("cacheVariables", {}))
    return values
for test in presets.get("testPresets", []):
    if cache(test.get("configurePreset", "")).get("LARKSPUR_SANITIZE") == sys.argv[2]:
        for key, value in test.get("environment", {}).items():
            print(f"{key}={value}")
        break
PY
}

# ctest_executables DIR: "EXECUTABLE CTEST-NAME" for every ctest test of the build that runs a built
# test executable of it (directly or through a wrapper script).
ctest_executables() {
    ctest --test-dir "$1" --show-only=json-v1 2>/dev/null | python3 -c '
import json, os, sys
for test in json.load(sys.stdin).get("tests", []):
    for argument in test.get("command") or []:
        name = os.path.basename(argument)
        if name.endswith("_tests") and os.path.dirname(argument).endswith("/tests") and os.access(argument, os.X_OK):
            print(name, test["name"])
            break
'
}

# The plan: one line per executable, "BUILD-DIR KIND EXECUTABLE CTEST-NAME" (CTEST-NAME "-" for Wine).
plan=()
declare -A found=()
for build in "${builds[@]}"; do
    if [[ ! -d $build/tests ]]; then
        echo "stress.sh: $build has no tests folder" >&2
        exit 2
    fi
    build=$(cd "$build" && pwd)
    kind=$(kind_of "$build")
    entries=()
    if [[ $kind == wine ]]; then
        for exe in "$build"/tests/*_tests.exe; do
            [[ -e $exe ]] && entries+=("$(basename "$exe" .exe) -")
        done
    else
        mapfile -t entries < <(ctest_executables "$build")
    fi
    for entry in "${entries[@]}"; do
        read -r exe test <<<"$entry"
        [[ $exe == wave_tests ]] && continue # runs no thread
        if [[ ${#names[@]} -gt 0 && " ${names[*]} " != *" $exe "* ]]; then
            continue
        fi
        found[$exe]=1
        plan+=("$build $kind $exe $test")
    done
done
for name in "${names[@]}"; do
    if [[ -z ${found[$name]:-} ]]; then
        echo "stress.sh: $name is in none of the builds (${builds[*]}), or runs no thread" >&2
        exit 2
    fi
done
if [[ ${#plan[@]} -eq 0 ]]; then
    echo "stress.sh: no threaded test executable in ${builds[*]}" >&2
    exit 2
fi

# A filter that matches no test would pass every run: each native executable must list one under it
# (a Windows run that ran none counts as failed below).
if [[ -n $filter ]]; then
    for entry in "${plan[@]}"; do
        read -r build kind exe test <<<"$entry"
        [[ $kind == wine ]] && continue
        if ! GTEST_FILTER=$filter "$build/tests/$exe" --gtest_list_tests 2>/dev/null | grep -q '^  '; then
            echo "stress.sh: --filter '$filter' matches no test of $exe" >&2
            exit 2
        fi
    done
fi

command_of() {
    local build=$1 kind=$2 exe=$3 test=$4
    case $kind in
    wine) echo "LARKSPUR_WINE_TESTS=${exe%_tests} scripts/run-wine-tests.sh $build" ;;
    *) echo "ctest --test-dir $build -R '^$test\$' --output-on-failure" ;;
    esac
}

if [[ -n $list_only ]]; then
    echo "stress.sh: $runs runs of each, one after another, beside two busy loops (nice $busy_nice)${filter:+, only $filter}:"
    for entry in "${plan[@]}"; do
        read -r build kind exe test <<<"$entry"
        printf '  %-6s %-18s %s\n' "$kind" "$exe" "$(command_of "$build" "$kind" "$exe" "$test")"
    done
    exit 0
fi

# The environment of each sanitizer kind, as its test preset sets it.
declare -A sanitizer_env=()
for kind in tsan asan; do
    sanitizer=thread
    [[ $kind == asan ]] && sanitizer=address
    sanitizer_env[$kind]=$(preset_environment "$sanitizer")
done

# GoogleTest reads its filter from the environment, through ctest and Wine alike.
[[ -n $filter ]] && export GTEST_FILTER=$filter
out=$root/build/stress/$(date +%Y%m%d-%H%M%S)-$$
mkdir -p "$out"

busy=()
stop_busy() {
    local pid
    for pid in "${busy[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
    nice -n "$busy_nice" bash -c 'while :; do :; done' &
    busy+=($!)
done
echo "stress.sh: busy loops $(IFS=,; echo "${busy[*]}") (nice $busy_nice); logs in $out"

# run_once BUILD KIND EXE TEST LOG: one run, its whole output in LOG; the run's exit status.
run_once() {
    local build=$1 kind=$2 exe=$3 test=$4 log=$5
    case $kind in
    wine)
        # Its own process group (timeout's), so a hung run ends with its Wine, Xvfb and PulseAudio.
        LARKSPUR_WINE_TESTS=${exe%_tests} timeout --kill-after=30 1800 \
            "$root/scripts/run-wine-tests.sh" "$build" >"$log" 2>&1
        ;;
    *)
        (
            while IFS= read -r assignment; do
                [[ -n $assignment ]] && export "${assignment?}"
            done <<<"${sanitizer_env[$kind]:-}"
            ctest --test-dir "$build" -R "^$test\$" --output-on-failure --no-tests=error
        ) >"$log" 2>&1
        ;;
    esac
}

declare -A run_count=() fail_count=()
failures=()
order=()
started=$SECONDS
for entry in "${plan[@]}"; do
    read -r build kind exe test <<<"$entry"
    key="$(basename "$build")/$exe"
    order+=("$key")
    mkdir -p "$out/$(basename "$build")"
    run_count[$key]=0
    fail_count[$key]=0
    exe_started=$SECONDS
    for run in $(seq "$runs"); do
        log=$out/$(basename "$build")/$exe.$run.log
        run_once "$build" "$kind" "$exe" "$test" "$log"
        status=$?
        if [[ $status -eq 0 ]] && grep -q '^\[==========\] Running 0 tests' "$log"; then
            echo "stress.sh: no test ran" >>"$log"
            status=3
        fi
        run_count[$key]=$((run_count[$key] + 1))
        if [[ $status -ne 0 ]]; then
            fail_count[$key]=$((fail_count[$key] + 1))
            failures+=("$key $run $status $log")
            echo "stress.sh: $key run $run FAILED (exit $status): $log"
        else
            rm -f "$log"
        fi
    done
    echo "stress.sh: $key ($kind): ${run_count[$key]} runs, ${fail_count[$key]} failed, $((SECONDS - exe_started)) s"
done
stop_busy

# The GoogleTest output of each failed test in a log: from its RUN line to its FAILED line, then any
# sanitizer report; the log's end when there is neither (a hang, a crash, a failure outside a test).
failure_output() {
    local log=$1 tests
    mapfile -t tests < <(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' | sort -u)
    if [[ ${#tests[@]} -gt 0 ]]; then
        echo "failing tests: ${tests[*]}"
        for test in "${tests[@]}"; do
            # (Windows programs end their lines with CR LF.)
            awk -v name="$test" '
                { sub(/\r$/, "") }
                $0 == "[ RUN      ] " name { show = 1 }
                show { print; if (++lines >= 150) { print "... (cut; the whole output is in the log)"; exit } }
                show && index($0, "[  FAILED  ] " name " (") == 1 { exit }' "$log"
        done
    fi
    if grep -q 'WARNING: ThreadSanitizer\|ERROR: AddressSanitizer\|runtime error:' "$log"; then
        echo "sanitizer report:"
        grep -m1 -A60 'WARNING: ThreadSanitizer\|ERROR: AddressSanitizer\|runtime error:' "$log"
    fi
    if [[ ${#tests[@]} -eq 0 ]]; then
        echo "no failed test named (hang, crash or timeout?); the log's last 60 lines:"
        tail -n 60 "$log"
    fi
}

echo
echo "=== stress.sh: $runs runs each beside two busy loops${filter:+, only $filter}, $((SECONDS - started)) s ==="
total_runs=0
total_failed=0
for key in "${order[@]}"; do
    printf '%-40s %4d runs %4d failed\n' "$key" "${run_count[$key]}" "${fail_count[$key]}"
    total_runs=$((total_runs + run_count[$key]))
    total_failed=$((total_failed + fail_count[$key]))
done
for failure in "${failures[@]}"; do
    read -r key run status log <<<"$failure"
    echo
    echo "=== FAILED: $key run $run (exit $status), whole output in $log ==="
    failure_output "$log"
done
echo
echo "stress: $((total_runs - total_failed)) passed, $total_failed failed"
echo "$((total_runs - total_failed)) passed, $total_failed failed" >"$out/summary"
[[ $total_failed -eq 0 ]]
