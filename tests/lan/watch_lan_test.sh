#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A LAN of three stations joined by a bridge: station 0 casts a 60-second
# clip with kinoverd-cast; stations 1 and 2 watch it in the player
# (kinoverd --watch 0), station 2 joining 20 s late. Each watcher must show a
# moving picture and an advancing time, lose nothing from its ring, and send
# no datagram at all.
#
#   watch_lan_test.sh BUILD_DIR WORK_DIR CLIP
# Runs itself inside tools/private-lan-of-stations.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KINOVERD_STATIONS:-}" ]; then
    exec "$here/../../tools/private-lan-of-stations" 3 "$0" "$@"
fi

build=$1
work=$2
clip=$3
mkdir -p "$work"
rm -f "$work"/*.png "$work"/*.err

on() { local station=$1; shift; ip netns exec "$station" "$@"; }
# Starts a command in a station in the background, its output to `log`:
# the process itself is remembered, to be ended with the test.
start_on() {
    local station=$1 log=$2
    shift 2
    ip netns exec "$station" "$@" >"$log" 2>&1 &
    pids+=($!)
}
runtime=$(mktemp -d)

# shellcheck source=../../tools/player-on-screen.sh
source "$here/../../tools/player-on-screen.sh"

pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT

# Counts every UDP datagram a watcher sends.
for station in st1 st2; do
    on "$station" nft -f - <<'NFT'
table inet watcher {
    counter sent { }
    chain output { type filter hook output priority 0; meta l4proto udp counter name sent; }
}
NFT
done

# A virtual screen inside a station's namespace, where its player's
# connection to it stays.
start_screen() {
    local station=$1 number=$2
    rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    start_on "$station" /dev/null Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$number" ] && return; sleep 0.1; done
    echo "no virtual screen :$number" >&2
    return 1
}

watch() {
    local station=$1 number=$2
    start_on "$station" "$work/$station.err" env DISPLAY=":$number" QT_QPA_PLATFORM=xcb \
        XDG_RUNTIME_DIR="$runtime" "$build/app/kinoverd" --watch 0
}

grab() {
    local station=$1 number=$2 name=$3
    on "$station" env DISPLAY=":$number" QT_QPA_PLATFORM=xcb "$build/tools/kinoverd-screen-grab" \
        "$work/$station-$name.png"
}

# The picture moves and the time goes on between the two grabs.
expect_playing() {
    local station=$1
    "$build/tests/lan/compare-regions" "$work/$station-a.png" "$work/$station-b.png" "${picture[@]}" >/dev/null ||
        { echo "$station: the picture does not move" >&2; return 1; }
    "$build/tests/lan/compare-regions" "$work/$station-a.png" "$work/$station-b.png" "${status_pane[@]}" >/dev/null ||
        { echo "$station: the time does not advance" >&2; return 1; }
}

start_screen st1 71
start_screen st2 72
watch st1 71
sleep 1
start_on st0 "$work/cast.out" "$build/tools/kinoverd-cast" --channel 0 "$clip"
cast=${pids[-1]}

sleep 10
grab st1 71 a
sleep 3
grab st1 71 b
expect_playing st1

sleep 7  # 20 s into the broadcast
watch st2 72
sleep 12
grab st2 72 a
sleep 3
grab st2 72 b
expect_playing st2

wait "$cast"
sleep 3
for station in st1 st2; do
    sent=$(on "$station" nft list counter inet watcher sent | sed -n 's/.*packets \([0-9]*\).*/\1/p')
    [ "$sent" = 0 ] || { echo "$station sent $sent datagrams while watching" >&2; exit 1; }
    if grep -q "lost" "$work/$station.err"; then
        echo "$station lost packets from its ring:" >&2
        cat "$work/$station.err" >&2
        exit 1
    fi
done
echo "watching on a LAN: both stations played the broadcast and sent nothing"
