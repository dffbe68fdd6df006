#!/usr/bin/env bash
# Runs every Windows test executable of a build folder under Wine, with a private prefix and home
# inside that folder, on a private Xvfb display and a private PulseAudio daemon whose only sink is a
# real-time FIFO sink drained into a file, so the audio tests hear every byte Wine's audio stack
# plays. Prints each executable's GoogleTest output and exits non-zero when any of them fails.
#   scripts/run-wine-tests.sh [BUILD_DIR]   (default: build/windows)
#   LARKSPUR_WINE_TESTS=wasapi scripts/run-wine-tests.sh   runs only wasapi_tests.exe
#   scripts/run-wine-tests.sh --prefix-only [BUILD_DIR]    only creates the Wine prefix (the test run
#                                                          does it while the cross build compiles)
#   scripts/run-wine-tests.sh --exec BUILD_DIR/tests/X.exe [ARGS...]   runs one executable in the same
#       set-up at the display scaling LARKSPUR_TEST_DPI (default 96) and exits with its status: CTest's
#       way in (the cross build's emulator), so `ctest --preset windows` runs the same tests
set -uo pipefail

prefix_only=""
exec_command=()
if [[ ${1:-} == --prefix-only ]]; then
    prefix_only=1
    shift
elif [[ ${1:-} == --exec ]]; then
    shift
    exec_command=("$@")
    [[ ${#exec_command[@]} -gt 0 ]] || { echo "run-wine-tests: --exec needs an executable" >&2; exit 2; }
    set -- "$(dirname "$(dirname "$(realpath "$1")")")"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "${1:-$root/build/windows}"
build=$(cd "${1:-$root/build/windows}" && pwd)

export WINEPREFIX="$build/wine/prefix"
export HOME="$build/wine/home"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
mkdir -p "$HOME"

create_prefix() {
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "run-wine-tests: creating Wine prefix in $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        # The dialog tests show Japanese labels.
        "$root/scripts/wine-japanese-fonts.sh" || true
    fi
}
if [[ -n $prefix_only ]]; then
    create_prefix
    [[ -f "$WINEPREFIX/system.reg" ]]
    exit
fi

xvfb_pid=""
pulse_pid=""
drain_pid=""
loss_drain_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    for pid in "$loss_drain_pid" "$drain_pid" "$pulse_pid" "$xvfb_pid"; do
        if [[ -n "$pid" ]]; then
            kill "$pid" >/dev/null 2>&1 || true
        fi
    done
}
trap cleanup EXIT

# A display of our own, so dialog tests never need the user's screen.
source "$root/scripts/xvfb.sh"
start_xvfb 1280x1024 || echo "run-wine-tests: no Xvfb display; the dialog tests will fail"

# Sound: a PulseAudio daemon of our own (runtime, state and socket under the build folder) with one
# FIFO sink of a fixed format, paced by the system clock so Wine plays in real time. A reader drains
# the FIFO into a file; the tests find the sink by its name and read what it played from the file.
# The sink sleeps while nothing plays, so the file holds little besides the tests' sound.
sink_name="LarkspurTestSink"
sink_rate=48000
sink_bits=32
if command -v pulseaudio >/dev/null 2>&1; then
    pulse="$build/wine/pulse"
    rm -rf "$pulse"
    mkdir -p "$pulse/runtime" "$pulse/state"
    chmod 700 "$pulse/runtime"
    printf 'autospawn = no\n' >"$pulse/client.conf"
    export PULSE_RUNTIME_PATH="$pulse/runtime"
    export PULSE_STATE_PATH="$pulse/state"
    export PULSE_CLIENTCONFIG="$pulse/client.conf"
    export PULSE_SERVER="unix:$pulse/runtime/native"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
        --high-priority=yes --realtime=yes \
        --log-target="file:$pulse/daemon.log" \
        -L "module-native-protocol-unix socket=$pulse/runtime/native auth-anonymous=1" \
        -L "module-pipe-sink sink_name=larkspur_test_sink file=$pulse/sink.fifo format=s${sink_bits}le \
rate=$sink_rate channels=2 use_system_clock_for_timing=yes \
sink_properties=device.description=$sink_name" \
        -L "module-suspend-on-idle timeout=1" >/dev/null 2>&1 &
    pulse_pid=$!
    for _ in $(seq 100); do
        [[ -p "$pulse/sink.fifo" ]] && pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if [[ -p "$pulse/sink.fifo" ]]; then
        cat "$pulse/sink.fifo" >"$pulse/sink.raw" &
        drain_pid=$!
        export LARKSPUR_TEST_SINK_NAME="$sink_name"
        export LARKSPUR_TEST_SINK_CAPTURE="Z:${pulse//\//\\}\\sink.raw"
        export LARKSPUR_TEST_SINK_RATE=$sink_rate
        export LARKSPUR_TEST_SINK_BITS=$sink_bits
        # A second sink of the same kind, for the device-loss test: it plays there, unloads the
        # sink's module with pactl (a Unix program Wine can start by its Z: path) and plays on.
        loss_module=$(pactl load-module module-pipe-sink sink_name=larkspur_loss_sink \
            file="$pulse/loss.fifo" format=s${sink_bits}le rate=$sink_rate channels=2 \
            use_system_clock_for_timing=yes sink_properties=device.description=LarkspurLossSink)
        pactl set-default-sink larkspur_test_sink >/dev/null 2>&1 || true
        if [[ -n "$loss_module" && -p "$pulse/loss.fifo" ]]; then
            cat "$pulse/loss.fifo" >"$pulse/loss.raw" &
            loss_drain_pid=$!
            export LARKSPUR_TEST_LOSS_SINK_NAME=LarkspurLossSink
            export LARKSPUR_TEST_LOSS_SINK_CAPTURE="Z:${pulse//\//\\}\\loss.raw"
            export LARKSPUR_TEST_LOSS_SINK_MODULE=$loss_module
            pactl_path=$(command -v pactl)
            export LARKSPUR_TEST_PACTL="Z:${pactl_path//\//\\}"
        fi
    else
        echo "run-wine-tests: PulseAudio did not start (see $pulse/daemon.log); audio tests will skip"
    fi
else
    echo "run-wine-tests: pulseaudio is not installed; audio tests will skip"
fi

create_prefix

# The display's scaling: 96 DPI (100 %) for every run; the dialog's scaling test runs again at 144.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}
if [[ ${#exec_command[@]} -gt 0 ]]; then
    set_dpi "${LARKSPUR_TEST_DPI:-96}"
    (cd "$(dirname "${exec_command[0]}")" && nice -n -10 wine "${exec_command[@]}")
    status=$?
    [[ ${LARKSPUR_TEST_DPI:-96} == 96 ]] || set_dpi 96
    exit $status
fi
set_dpi 96

shopt -s nullglob
executables=("$build"/tests/${LARKSPUR_WINE_TESTS:-*}_tests.exe)
if [[ ${#executables[@]} -eq 0 ]]; then
    echo "run-wine-tests: no test executables in $build/tests" >&2
    exit 1
fi

failed=()
for exe in "${executables[@]}"; do
    name=$(basename "$exe")
    echo "=== $name (Wine) ==="
    # Raised priority where permitted (root), so that other work on the machine cannot starve Wine's
    # audio threads into gaps the audio tests would take for faults; elsewhere nice just warns.
    (cd "$build/tests" && nice -n -10 wine "$exe" --gtest_color=no)
    status=$?
    if [[ $status -ne 0 ]]; then
        failed+=("$name (exit $status)")
    fi
done

# The dialog at 150 % display scaling (144 DPI), as a new user with a high-resolution screen meets it.
if [[ " ${executables[*]} " == *"/win32_tests.exe "* ]]; then
    echo "=== win32_tests.exe at 144 DPI (Wine) ==="
    set_dpi 144
    (cd "$build/tests" && LARKSPUR_TEST_DPI=144 nice -n -10 wine "$build/tests/win32_tests.exe" --gtest_color=no \
        --gtest_filter='MainDialogWindow.ListColumnsFollowTheDisplayScaling:MainDialogWindow.TheEnglishCaptionsFitTheirControls')
    status=$?
    set_dpi 96
    if [[ $status -ne 0 ]]; then
        failed+=("win32_tests.exe at 144 DPI (exit $status)")
    fi
fi

if [[ ${#failed[@]} -ne 0 ]]; then
    echo "run-wine-tests: FAILED: ${failed[*]}"
    exit 1
fi
echo "run-wine-tests: all ${#executables[@]} test executables passed under Wine"
