#!/usr/bin/env bash
# Runs a command against private PulseAudio daemons: each with its own runtime folder, home and
# state under WORK_FOLDER, started here and stopped by its PID when the command ends. Never touches
# the user's own PulseAudio or ALSA configuration.
#
#   scripts/with-pulse-server.sh WORK_FOLDER COMMAND [ARGUMENTS...]
#
# The main server has two null sinks, "Test output 44.1 kHz" (larkspur_44k, 16-bit, the default)
# and "Test output 48 kHz" (larkspur_48k, 16-bit); the command finds it through PULSE_SERVER and
# LARKSPUR_PULSE_SERVER. A second server with one sink (larkspur_spare) is there to be stopped by a
# test: LARKSPUR_SECOND_PULSE_SERVER and LARKSPUR_SECOND_PULSE_PID.
set -uo pipefail

work=${1:?usage: with-pulse-server.sh WORK_FOLDER COMMAND [ARGUMENTS...]}
shift
[[ $# -gt 0 ]] || { echo "usage: with-pulse-server.sh WORK_FOLDER COMMAND [ARGUMENTS...]" >&2; exit 2; }

if ! command -v pulseaudio >/dev/null; then
    echo "with-pulse-server: pulseaudio is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

dir=$(mkdir -p "$work" && mktemp -d "$(cd "$work" && pwd)/pulse.XXXXXX") || exit 1
servers=()

stop_servers() {
    # Only a server of ours: a test may have stopped one already, and its number may be reused.
    for pid in "${servers[@]}"; do
        if grep -qs "$dir" "/proc/$pid/cmdline"; then
            kill "$pid" 2>/dev/null
        fi
        wait "$pid" 2>/dev/null
    done
    rm -rf "$dir"
}
trap stop_servers EXIT

# start_server NAME SINK-LINES...: a daemon in $dir/NAME whose socket is $dir/NAME/runtime/native.
start_server() {
    local name=$1
    shift
    local home=$dir/$name
    local runtime=$home/runtime
    mkdir -p "$runtime" "$home/home/.config/pulse" "$home/state"
    chmod 700 "$runtime"
    {
        echo "load-module module-native-protocol-unix socket=$runtime/native auth-anonymous=1"
        printf '%s\n' "$@"
    } >"$home/default.pa"
    cat >"$home/home/.config/pulse/daemon.conf" <<CONF
default-sample-format = s16le
default-sample-rate = 48000
alternate-sample-rate = 48000
default-sample-channels = 2
flat-volumes = no
CONF
    HOME=$home/home XDG_RUNTIME_DIR=$runtime PULSE_RUNTIME_PATH=$runtime PULSE_STATE_PATH=$home/state \
        pulseaudio -n -F "$home/default.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --disable-shm=yes --log-level=info --log-target=file:"$home/pulseaudio.log" &
    local pid=$!
    servers+=("$pid")
    for _ in $(seq 100); do
        [[ -S $runtime/native ]] && break
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "with-pulse-server: the $name server did not start:" >&2
            cat "$home/pulseaudio.log" >&2
            return 1
        fi
        sleep 0.1
    done
    [[ -S $runtime/native ]] || { echo "with-pulse-server: no $name server socket after 10 s" >&2; return 1; }
    last_pid=$pid
    last_socket=$runtime/native
}

start_server main \
    "load-module module-null-sink sink_name=larkspur_44k format=s16le rate=44100 channels=2 sink_properties='device.description=\"Test output 44.1 kHz\"'" \
    "load-module module-null-sink sink_name=larkspur_48k format=s16le rate=48000 channels=2 sink_properties='device.description=\"Test output 48 kHz\"'" \
    "set-default-sink larkspur_44k" || exit 1
main_socket=$last_socket
main_log=$dir/main/pulseaudio.log
start_server second \
    "load-module module-null-sink sink_name=larkspur_spare format=s16le rate=48000 channels=2" || exit 1

cat >"$dir/client.conf" <<CONF
autospawn = no
CONF
# The command sees only the private folders.
export HOME=$dir/main/home
export XDG_RUNTIME_DIR=$dir/main/runtime
export PULSE_RUNTIME_PATH=$dir/main/runtime
export PULSE_CLIENTCONFIG=$dir/client.conf
export PULSE_SERVER=unix:$main_socket
export LARKSPUR_PULSE_SERVER=unix:$main_socket
export LARKSPUR_PULSE_SERVER_LOG=$main_log
export LARKSPUR_SECOND_PULSE_SERVER=unix:$last_socket
export LARKSPUR_SECOND_PULSE_PID=$last_pid
unset DBUS_SESSION_BUS_ADDRESS

# Under the race detector, leave the sound server's uninstrumented client library to itself.
root=$(cd "$(dirname "$0")/.." && pwd)
export TSAN_OPTIONS="${TSAN_OPTIONS:-} suppressions=$root/tests/linux/SoundServerTsan.supp"

"$@"
