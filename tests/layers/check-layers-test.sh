#!/usr/bin/env bash
# The layer check catches an include planted across each line it guards, and lets the allowed ones
# through. Each case is a small repository of its own in a temporary folder.
set -uo pipefail

check=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# plant NAME EXPECT(pass|fail) FILE:INCLUDE ...
plant() {
    local name=$1 expect=$2
    shift 2
    local repo=$work/$name
    mkdir -p "$repo"
    git -C "$repo" init -q
    for pair in "$@"; do
        local file=${pair%%:*} include=${pair#*:}
        mkdir -p "$repo/$(dirname "$file")"
        printf '#include "%s"\n' "$include" >>"$repo/$file"
    done
    git -C "$repo" add -A
    local output status
    output=$("$check" "$repo" 2>&1)
    status=$?
    if [[ $expect == pass && $status -ne 0 ]] || [[ $expect == fail && $status -eq 0 ]]; then
        echo "FAIL: $name: expected the check to $expect; it said:"
        echo "$output"
        failures=$((failures + 1))
    else
        echo "ok: $name ($expect)"
    fi
}

plant allowed pass \
    app/dialog/MainDialog.cpp:app/player/PlaybackEngine.h \
    app/qt/main.cpp:app/dialog/ProgramEntry.h \
    app/cli/CliRenderCommand.cpp:app/player/OfflineRenderer.h \
    output/virtual/VirtualOutputDevice.cpp:wave/WaveRecordingFile.h \
    tests/player/PlaybackEngineTest.cpp:tests/scripted/VirtualAudioDevice.h
plant engine-includes-dialog fail app/player/PlaybackEngine.cpp:app/dialog/PlayerTexts.h
plant engine-includes-front-end fail app/player/PlaybackEngine.h:app/cli/ConsolePlayer.h
plant dialog-includes-front-end fail app/dialog/MainDialog.cpp:app/qt/QtDialogHost.h
plant front-ends-include-each-other fail app/cli/ConsolePlayer.cpp:app/win32/Win32DialogHost.h
plant qt-includes-console fail app/qt/main.cpp:app/cli/ConsoleDialogHost.h
plant program-includes-tests fail output/virtual/VirtualRecordingLayer.cpp:tests/scripted/VirtualAudioDevice.h
plant render-includes-dialog fail app/cli/CliRenderCommand.cpp:app/dialog/PlayerTexts.h
plant dialog-includes-toolkit fail app/dialog/MainDialog.cpp:QWidget

if [[ $failures -gt 0 ]]; then
    echo "check-layers-test: $failures case(s) wrong"
    exit 1
fi
echo "check-layers-test: every planted include caught"
