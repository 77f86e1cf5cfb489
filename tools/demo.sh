#!/usr/bin/env bash
# Installs what is missing, builds the caster and broadcasts the demo clip
# with it inside a private network namespace, so nothing reaches the real
# network.
#
#   tools/demo.sh        (as root on Debian 12)
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2 --target kinoverd-cast kinoverd-vcd-track

if [ ! -f build/test-media/demo.mpg ]; then
    bash tools/make-test-media.sh build/test-media build/tools/kinoverd-vcd-track
fi

tools/private-lan build/tools/kinoverd-cast build/test-media/demo.mpg
