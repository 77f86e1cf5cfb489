#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A LAN of four stations joined by a bridge: station 0 casts a plain stream
# and then a Video CD track on channel 0; stations 1 and 2 listen from the
# start, station 3 tunes in mid-broadcast; station 0 also plays its own
# broadcast back through loopback. Every station must receive every block.
#
#   lan_of_stations_test.sh BUILD_DIR WORK_DIR
# Runs itself inside tools/private-lan-of-stations.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KINOVERD_STATIONS:-}" ]; then
    exec "$here/../../tools/private-lan-of-stations" 4 "$0" "$@"
fi

build=$1
work=$2
cast=$build/tools/kinoverd-cast
tune=$build/tools/kinoverd-tune
check=$build/tests/lan/check-tuned-output
mkdir -p "$work"
rm -f "$work"/*.out "$work"/*.err

on() { local station=$1; shift; ip netns exec "$station" "$@"; }

# Waits for a tuner and fails unless it ended at the end packet with the
# status given: 0 for a whole copy, 4 for a late join that lost nothing.
expect_tuner_done() {
    local pid=$1 name=$2 expected=$3 status=0
    wait "$pid" || status=$?
    if [ "$status" -ne "$expected" ]; then
        echo "tuner $name ended with status $status, not $expected:" >&2
        cat "$work/$name.err" >&2
        return 1
    fi
}

run_round() {
    local stream=$1 broadcast_file=$2 label=$3
    local pids=() names=() statuses=()
    for station in st0 st1 st2; do
        on "$station" "$tune" --channel 0 --output "$work/$label-$station.out" \
            2>"$work/$label-$station.err" &
        pids+=($!)
        names+=("$label-$station")
        statuses+=(0)
    done
    sleep 0.5
    on st0 "$cast" --channel 0 "$broadcast_file" >"$work/$label-cast.out" &
    local cast_pid=$!
    # Past the first header series: this station must wait for the next one.
    sleep 3
    on st3 "$tune" --channel 0 --output "$work/$label-st3.out" 2>"$work/$label-st3.err" &
    pids+=($!)
    names+=("$label-st3")
    statuses+=(4)
    wait "$cast_pid"
    for i in "${!pids[@]}"; do
        expect_tuner_done "${pids[$i]}" "${names[$i]}" "${statuses[$i]}"
    done
    for station in st0 st1 st2; do
        "$check" "$stream" "$work/$label-$station.out" --from-start
    done
    "$check" "$stream" "$work/$label-st3.out"
    if cmp -s "$work/$label-st1.out" "$work/$label-st3.out"; then
        echo "the late station received the same as the early ones: it did not join late" >&2
        return 1
    fi
}

"$build/tests/lan/make-test-stream" "$work/plain.mpg" 3000000
run_round "$work/plain.mpg" "$work/plain.mpg" plain

# A track's stream is its sectors' user data: the stream, zero-padded to whole sectors.
"$build/tests/lan/make-test-stream" "$work/track-stream.mpg" 2500000
"$build/tools/kinoverd-vcd-track" "$work/track-stream.mpg" "$work/track.dat"
truncate -s $(( (2500000 + 2323) / 2324 * 2324 )) "$work/track-stream.mpg"
run_round "$work/track-stream.mpg" "$work/track.dat" track

echo "lan of stations: all stations received every block"
