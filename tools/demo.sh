#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main job: installs what is missing, builds, and plays the generated demo
# clip in the Kinoverd player inside a private network namespace, so that its
# broadcast never reaches the real network.
#
#   tools/demo.sh            (as root on Debian 12)
#
# With a desktop (DISPLAY or WAYLAND_DISPLAY set) the player opens there;
# press 退出 (Exit) to end it. Without one it plays on a virtual X server for
# a few seconds, saves a picture of the screen to build/demo-screenshot.png
# and fails unless the picture shows the clip playing.
# KINOVERD_DEMO_HEADLESS=1 forces the virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kinoverd kinoverd-screen-grab kinoverd-test-card-check kinoverd-vcd-track

if [ ! -f build/test-media/demo.mpg ]; then
    bash tools/make-test-media.sh build/test-media build/tools/kinoverd-vcd-track
fi
clip=$PWD/build/test-media/demo.mpg

if [ -z "${KINOVERD_DEMO_HEADLESS:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec tools/private-lan build/app/kinoverd "$clip"
fi

screenshot=$PWD/build/demo-screenshot.png
tools/private-lan bash -c '
    set -euo pipefail
    source tools/player-on-screen.sh
    # The X server picks a free display number and reports it on fd 3.
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$display_file")
    rm -f "$display_file"
    unset WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=xcb
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR

    build/app/kinoverd "$1" &
    player=$!
    shows_card() {
        build/tools/kinoverd-screen-grab "$2" &&
            build/tools/kinoverd-test-card-check "$2" "${picture[@]}" >/dev/null
    }
    # Waits for the first picture (up to 15 s), then lets it play for two
    # seconds more: the picture saved is a playing one, with its time.
    status=1
    for _ in $(seq 30); do
        sleep 0.5
        if shows_card "$@"; then
            sleep 2
            shows_card "$@" && status=0
            break
        fi
    done
    kill -TERM "$player"
    wait "$player" || true
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    rm -rf "$XDG_RUNTIME_DIR"
    exit "$status"' demo "$clip" "$screenshot" ||
    { echo "demo: the player did not show the clip playing; see $screenshot" >&2; exit 1; }

echo "The player played $clip; a picture of the screen is in $screenshot"
