#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the deterministic test clips, without downloading anything:
#   OUTDIR/demo.mpg, OUTDIR/short.mpg  MPEG-1 system streams (about 10 s and 3 s)
#                                      with a test picture and a 440 Hz tone
#   OUTDIR/demo.dat, OUTDIR/short.dat  the same streams as Video CD track files
#   OUTDIR/long.mpg                    60 s, for steady playback
#   OUTDIR/bilingual.mpg               10 s, 440 Hz on the left, 1000 Hz on the right
#   OUTDIR/silent.mpg                  5 s of picture without an audio stream
#   OUTDIR/vcd.cue, OUTDIR/vcd.bin     a Video CD image (vcdimager) of two MPEG
#                                      tracks: demo.mpg, then short.mpg
#   OUTDIR/vcd-avseq01.mpg, OUTDIR/vcd-avseq02.mpg
#                                      those tracks as vcdxrip extracts them
#                                      from the image
#
#   tools/make-test-media.sh OUTDIR [KINOVERD_VCD_TRACK]
#
# KINOVERD_VCD_TRACK is the kinoverd-vcd-track tool; by default the one in
# build/tools, else the one on PATH.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 OUTDIR [KINOVERD_VCD_TRACK]" >&2
    exit 2
fi

repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
# Absolute from here on: the Video CD step below works in a folder of its own.
outdir=$(cd "$1" && pwd)
vcd_track=${2:-}
if [ -n "$vcd_track" ] && [[ "$vcd_track" == */* ]]; then
    vcd_track=$(cd "$(dirname "$vcd_track")" && pwd)/$(basename "$vcd_track")
elif [ -z "$vcd_track" ]; then
    if [ -x "$repo/build/tools/kinoverd-vcd-track" ]; then
        vcd_track=$repo/build/tools/kinoverd-vcd-track
    else
        vcd_track=kinoverd-vcd-track
    fi
fi

# The VCD target gives MPEG-1 video and MPEG audio in 2324-byte packs, so
# each pack fills exactly one track sector. The bitexact flags and a single
# encoder thread make the output identical from run to run.
make_clip() {
    local seconds=$1 out=$2 audio=${3:-tone}
    local audio_input=()
    case $audio in
    tone) audio_input=(-f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$seconds") ;;
    bilingual) audio_input=(-f lavfi -i "aevalsrc=sin(440*2*PI*t)*0.5|sin(1000*2*PI*t)*0.5:s=44100:d=$seconds:c=stereo") ;;
    none) audio_input=() ;;
    esac
    ffmpeg -nostdin -hide_banner -loglevel error -y \
        -f lavfi -i "testsrc=size=352x288:rate=25:duration=$seconds" \
        "${audio_input[@]}" \
        -target pal-vcd -threads 1 -map_metadata -1 \
        -fflags +bitexact -flags:v +bitexact -flags:a +bitexact \
        "$out"
}

# Prints the four bytes at offset $2 of file $1 as hex, e.g. 000001ba.
bytes_at() {
    od -An -tx1 -j "$2" -N 4 "$1" | tr -d ' \n'
}

# A changed muxer would make packs straddle sectors; catch that here rather
# than as puzzling failures in the receive tests.
check_packs() {
    local mpg=$1 size
    size=$(stat -c %s "$mpg")
    if [ $((size % 2324)) -ne 0 ] || [ "$(bytes_at "$mpg" 0)" != 000001ba ] ||
        [ "$(bytes_at "$mpg" 2324)" != 000001ba ]; then
        echo "make-test-media: $mpg is not made of 2324-byte packs" >&2
        exit 1
    fi
}

for clip in demo:10 short:3; do
    name=${clip%%:*}
    seconds=${clip#*:}
    # Build under temporary names so an interrupted run leaves no half file.
    mpg_tmp=$outdir/$name.tmp.mpg
    dat_tmp=$outdir/$name.tmp.dat
    make_clip "$seconds" "$mpg_tmp"
    check_packs "$mpg_tmp"
    "$vcd_track" "$mpg_tmp" "$dat_tmp"
    if [ "$(bytes_at "$dat_tmp" 68)" != 000001ba ]; then
        echo "make-test-media: $name.dat has no pack at offset 68" >&2
        exit 1
    fi
    mv -f "$mpg_tmp" "$outdir/$name.mpg"
    mv -f "$dat_tmp" "$outdir/$name.dat"
done

# Plain streams only: steady playback, the audio output choice, no audio.
for clip in long:60:tone bilingual:10:bilingual silent:5:none; do
    IFS=: read -r name seconds audio <<<"$clip"
    make_clip "$seconds" "$outdir/$name.tmp.mpg" "$audio"
    mv -f "$outdir/$name.tmp.mpg" "$outdir/$name.mpg"
done

# A Video CD image and what vcdxrip makes of it. The image records when it
# was made, so it differs from run to run; its tracks do not.
vcd_tmp=$outdir/vcd.tmp
rm -rf "$vcd_tmp"
mkdir -p "$vcd_tmp"
(
    cd "$vcd_tmp"
    vcdimager --quiet --type=vcd2 --cue-file=vcd.cue --bin-file=vcd.bin \
        "$outdir/demo.mpg" "$outdir/short.mpg" >/dev/null
    vcdxrip --quiet --cue-file=vcd.cue --output-file=vcd.xml >/dev/null
)
mv -f "$vcd_tmp/avseq01.mpg" "$outdir/vcd-avseq01.mpg"
mv -f "$vcd_tmp/avseq02.mpg" "$outdir/vcd-avseq02.mpg"
mv -f "$vcd_tmp/vcd.bin" "$outdir/vcd.bin"
mv -f "$vcd_tmp/vcd.cue" "$outdir/vcd.cue"
rm -rf "$vcd_tmp"
