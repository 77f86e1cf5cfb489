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
# a few seconds and saves a picture of the screen to build/demo-screenshot.png.
# KINOVERD_DEMO_HEADLESS=1 forces the virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kinoverd kinoverd-screen-grab kinoverd-vcd-track

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
    # About a second to find a free channel, two and a half to fill the
    # ring, then a few seconds of playing.
    sleep 9
    build/tools/kinoverd-screen-grab "$2"
    kill -TERM "$player"
    wait "$player" || true
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true' demo "$clip" "$screenshot"

echo "The player played $clip; a picture of the screen is in $screenshot"
