#!/usr/bin/env bash
# Installs what is missing, builds the caster and the tuner, and inside a
# private network namespace (nothing reaches the real network) broadcasts the
# demo clip while tuning in to it as a station would. What the station
# received is written to build/demo-received.mpg.
#
#   tools/demo.sh        (as root on Debian 12)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -G Ninja -S . -B build
cmake --build build -j2 --target kinoverd-cast kinoverd-tune kinoverd-vcd-track

if [ ! -f build/test-media/demo.mpg ]; then
    bash tools/make-test-media.sh build/test-media build/tools/kinoverd-vcd-track
fi

tools/private-lan bash -c '
    build/tools/kinoverd-tune --channel 0 --output build/demo-received.mpg &
    tuner=$!
    sleep 0.5
    build/tools/kinoverd-cast --channel 0 build/test-media/demo.mpg
    wait "$tuner"'

echo "received $(stat -c %s build/demo-received.mpg) bytes into build/demo-received.mpg:"
ffprobe -v error -show_entries stream=codec_type,codec_name -of compact=p=0 build/demo-received.mpg
