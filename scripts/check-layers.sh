#!/usr/bin/env bash
# Fails when an #include crosses a line the layering forbids: lower subsystems never reach up,
# platform folders never reach into each other's platform, the program never reaches into tests/, and
# app/ keeps its three rooms apart: the engine (app/player) includes neither the dialog logic nor a
# front end, the dialog logic (app/dialog) no front end, and the front ends (app/cli, app/qt,
# app/win32) not each other; info and render (the file commands of app/cli) not the dialog logic.
# Neither the engine nor the dialog logic touches a toolkit or a platform header. Reads the tracked
# sources of the tree given (default: the repository this script lives in).
set -uo pipefail

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

violations=0
# report FILE LINE TEXT REASON
report() {
    echo "check-layers: $1:$2: $3  ($4)"
    violations=$((violations + 1))
}

# Every include of the C++ sources: file, line number, the included name.
mapfile -t includes < <(git ls-files -- '*.h' '*.hpp' '*.cpp' '*.c' 2>/dev/null |
    xargs -r grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' 2>/dev/null)

platform_header='^(windows\.h|Windows\.h|objbase\.h|combaseapi\.h|mmdeviceapi\.h|audioclient\.h|commctrl\.h|commdlg\.h|shellapi\.h|mmsystem\.h|alsa/.*|asoundlib\.h|pulse/.*|Qt[A-Za-z]*/.*|Q[A-Z][A-Za-z]*)$'

for entry in "${includes[@]}"; do
    file=${entry%%:*}
    rest=${entry#*:}
    line=${rest%%:*}
    text=${rest#*:}
    [[ $text =~ include[[:space:]]*[\<\"]([^\>\"]*) ]] || continue
    name=${BASH_REMATCH[1]}

    case $file in
    runtime/win32/*)
        [[ $name == runtime/posix/* ]] && report "$file" "$line" "$name" "win32 runtime includes the posix one"
        ;;
    runtime/posix/*)
        [[ $name == runtime/win32/* ]] && report "$file" "$line" "$name" "posix runtime includes the win32 one"
        ;;
    esac
    case $file in
    runtime/*)
        [[ $name =~ ^(wave|conversion|soundbuffer|output|app)/ ]] &&
            report "$file" "$line" "$name" "runtime/ includes a subsystem above it"
        ;;
    wave/*)
        [[ $name =~ ^(conversion|soundbuffer|output|app)/ ]] &&
            report "$file" "$line" "$name" "wave/ includes a subsystem above it"
        ;;
    conversion/*)
        [[ $name =~ ^(wave|output|soundbuffer|app)/ ]] &&
            report "$file" "$line" "$name" "conversion/ includes wave/, output/ or a subsystem above it"
        ;;
    soundbuffer/*)
        [[ $name =~ ^(output|app)/ ]] && report "$file" "$line" "$name" "soundbuffer/ includes output/ or app/"
        ;;
    output/*)
        [[ $name =~ ^(app|soundbuffer)/ ]] && report "$file" "$line" "$name" "output/ includes app/ or soundbuffer/"
        # The Linux layer composes the ALSA and the sound-server back ends; no other back end reaches
        # into another.
        for backend in wasapi alsa pulse linux virtual; do
            if [[ $file == output/$backend/* && $name =~ ^output/(wasapi|alsa|pulse|linux|virtual)/ &&
                $name != output/$backend/* ]] &&
                ! [[ $backend == linux && $name =~ ^output/(alsa|pulse)/ ]]; then
                report "$file" "$line" "$name" "one audio back end includes another"
            fi
        done
        ;;
    esac
    case $file in
    tests/* | bench/*) ;;
    *)
        [[ $name == tests/* ]] && report "$file" "$line" "$name" "the program includes test code"
        ;;
    esac
    case $file in
    app/player/*)
        [[ $name =~ ^app/(dialog|cli|qt|win32)/ ]] &&
            report "$file" "$line" "$name" "the engine includes the dialog logic or a front end"
        ;;
    app/dialog/*)
        [[ $name =~ ^app/(cli|qt|win32)/ ]] && report "$file" "$line" "$name" "the dialog logic includes a front end"
        ;;
    app/cli/CliInfoCommand.* | app/cli/CliRenderCommand.* | app/cli/CliFileMessages.* | app/cli/CliNumbers.* | \
        app/cli/CliOptionParser.* | app/cli/CliSettingValues.* | app/cli/ProgressBar.*)
        [[ $name =~ ^app/dialog/ ]] && report "$file" "$line" "$name" "info and render include the dialog logic"
        ;;
    esac
    for front in cli qt win32; do
        if [[ $file == app/$front/* && $name =~ ^app/(cli|qt|win32)/ && $name != app/$front/* ]]; then
            report "$file" "$line" "$name" "one front end includes another"
        fi
    done
    case $file in
    app/win32/* | app/qt/* | app/cli/*) ;;
    app/*)
        [[ $name =~ $platform_header ]] && report "$file" "$line" "$name" "shared player logic includes a toolkit or platform header"
        ;;
    esac
done

if [[ $violations -gt 0 ]]; then
    echo "check-layers: $violations include(s) cross a forbidden line"
    exit 1
fi
echo "check-layers: ${#includes[@]} includes checked, none crosses a forbidden line"
