#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs everything Kinoverd needs to build, test and run on Debian 12.
# Run as root. Does nothing (and needs no network) when all is installed.
set -euo pipefail

packages=(
    # Toolchain
    build-essential cmake ninja-build ccache pkg-config
    # Player: Qt widgets, GStreamer playback, ALSA mixer
    qt6-base-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-plugins-ugly gstreamer1.0-libav gstreamer1.0-tools gstreamer1.0-alsa
    gstreamer1.0-plugins-base-apps
    libasound2-dev qt6-qpa-plugins xdg-utils
    # The system dialogs (file chooser, buttons) in Chinese
    qt6-translations-l10n
    # Chinese captions and texts
    fonts-wqy-microhei
    # The brand lettering of the artwork drawn at build time
    fonts-dejavu-core
    # Tests and benchmarks
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # Video CDs in drives and disc images (disc/)
    libcdio-dev libiso9660-dev libvcdinfo-dev
    # Test media (tools/make-test-media.sh): clips, Video CD images
    ffmpeg vcdimager
    # Windows under a virtual X server; a real mixer and audio output for tests
    xvfb xauth pulseaudio pulseaudio-utils libasound2-plugins
    # tools/private-lan: ip, unshare; setarch for the ThreadSanitizer run
    iproute2 util-linux
    # The Debian package (cpack) and its test
    dpkg-dev file desktop-file-utils appstream lintian man-db groff-base
    # Packet loss inside the private namespace for the reception tests
    nftables
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages already installed"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing ${missing[*]}; run this script as root" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
