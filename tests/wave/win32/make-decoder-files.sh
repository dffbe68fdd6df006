#!/usr/bin/env bash
# Makes the compressed files the decoder tests read: 3 s at 44100 Hz, a 1 kHz tone at half scale on
# the left, a rising sweep on the right (so that a seek that lands on the wrong frame cannot match by
# the tone's period), in each coding Windows decodes.
#   make-decoder-files.sh OUTPUT_FOLDER
set -euo pipefail

out=$1
mkdir -p "$out"
source='aevalsrc=0.5*sin(2*PI*1000*t)|0.3*sin(2*PI*(200+300*t)*t):s=44100:d=3'
encode() {
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "$source" -map_metadata -1 "$@"
}
encode -c:a flac -sample_fmt s32 -bits_per_raw_sample 24 "$out/tone.flac"
# The track descriptions before the sound (as shops deliver them), so a cut-short file keeps them.
encode -c:a alac -sample_fmt s16p -movflags +faststart "$out/tone-alac.m4a"
encode -c:a libmp3lame -b:a 192k "$out/tone.mp3"
encode -c:a aac -b:a 192k -movflags +faststart "$out/tone.m4a"
encode -c:a wmav2 -b:a 192k "$out/tone.wma"
