#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Quipix needs.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config clang libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev libwebp-dev libxcb1-dev
  # the Wayland saver: libwayland-client, wayland-scanner, the protocol files; the
  # layer-shell protocol comes from Debian's wlroots source package (dpkg-dev, the
  # archive keyring); the Qt dialog on Wayland needs Qt's Wayland platform
  libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
  dpkg-dev debian-archive-keyring qt6-wayland
  # the saver's frames through shared memory (MIT-SHM) on X11
  libxcb-shm0-dev
  # faster inflation of Deflate TIFF strips (zlib does it where this is missing)
  libdeflate-dev
  # fonts metric-compatible with Arial, Times and Courier
  fonts-liberation2 fontconfig
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # benchmarks only: Qt's TIFF and WebP readers and bare libtiff, the yardsticks for ours
  qt6-image-formats-plugins libtiff-dev
  # system tests under a real X server
  xvfb xdotool imagemagick x11-utils xauth xscreensaver procps
)

. "$(dirname "$0")/lib/apt.sh"
install_packages "${packages[@]}"
