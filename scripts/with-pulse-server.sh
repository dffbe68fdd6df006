#!/usr/bin/env bash
# Runs the ALSA tests that play through a sound server: starts a private PulseAudio daemon (its own
# runtime folder, home and state under the build folder, a null sink at 48 kHz 16-bit whose monitor
# the tests record), runs the tests against it and stops the daemon by its PID. Never touches the
# user's own PulseAudio or ALSA configuration.
#   scripts/run-pulse-tests.sh ALSA_TESTS_EXECUTABLE WORK_FOLDER
set -uo pipefail

tests=${1:?usage: run-pulse-tests.sh ALSA_TESTS_EXECUTABLE WORK_FOLDER}
work=${2:?usage: run-pulse-tests.sh ALSA_TESTS_EXECUTABLE WORK_FOLDER}

if ! command -v pulseaudio >/dev/null; then
    echo "run-pulse-tests: pulseaudio is not installed (scripts/install-deps.sh installs it)" >&2
    exit 1
fi

dir=$(mkdir -p "$work" && mktemp -d "$(cd "$work" && pwd)/pulse.XXXXXX") || exit 1
runtime=$dir/runtime
mkdir -p "$runtime" "$dir/home/.config/pulse" "$dir/state"
chmod 700 "$runtime"
socket=$runtime/native

cat >"$dir/default.pa" <<PA
load-module module-native-protocol-unix socket=$socket auth-anonymous=1
load-module module-null-sink sink_name=larkspur_null format=s16le rate=48000 channels=2
set-default-sink larkspur_null
PA
cat >"$dir/home/.config/pulse/daemon.conf" <<CONF
default-sample-format = s16le
default-sample-rate = 48000
alternate-sample-rate = 48000
default-sample-channels = 2
flat-volumes = no
CONF
cat >"$dir/client.conf" <<CONF
autospawn = no
CONF

# The server and the tests see only the private folders.
export HOME=$dir/home
export XDG_RUNTIME_DIR=$runtime
export PULSE_RUNTIME_PATH=$runtime
export PULSE_STATE_PATH=$dir/state
export PULSE_CLIENTCONFIG=$dir/client.conf
unset DBUS_SESSION_BUS_ADDRESS

pulseaudio -n -F "$dir/default.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --disable-shm=yes --log-target=file:"$dir/pulseaudio.log" &
server=$!

stop_server() {
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    rm -rf "$dir"
}
trap stop_server EXIT

for _ in $(seq 100); do
    [[ -S $socket ]] && break
    if ! kill -0 "$server" 2>/dev/null; then
        echo "run-pulse-tests: the server did not start:" >&2
        cat "$dir/pulseaudio.log" >&2
        exit 1
    fi
    sleep 0.1
done
if [[ ! -S $socket ]]; then
    echo "run-pulse-tests: no server socket after 10 s" >&2
    exit 1
fi

# Under the race detector, leave the sound server's uninstrumented client library to itself.
root=$(cd "$(dirname "$0")/.." && pwd)
export TSAN_OPTIONS="${TSAN_OPTIONS:-} suppressions=$root/tests/alsa/SoundServerTsan.supp"

LARKSPUR_PULSE_SERVER=unix:$socket PULSE_SERVER=unix:$socket "$tests" --gtest_filter='AlsaSoundServer*' --gtest_color=no
