#!/usr/bin/env bash
# Installs the Debian packages Quipix needs: with --program only what building and
# running the program takes (scripts/run.sh), else also everything the test suite,
# the benchmarks and the system tests use. Idempotent: when everything is present it
# only checks and returns.
set -euo pipefail
. "$(dirname "$0")/lib/errtrap.sh"

program=(
  # toolchain, with a compiler cache shared by every build of the tree
  g++ cmake ninja-build pkg-config ccache
  # libraries
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6opengl6-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev libwebp-dev libxcb1-dev
  liblcms2-dev libheif-dev
  # the Wayland saver: libwayland-client, wayland-scanner, the protocol files; the
  # layer-shell protocol comes from Debian's wlroots source package (dpkg-dev, the
  # archive keyring); the Qt dialog on Wayland needs Qt's Wayland platform
  libwayland-dev libwayland-bin wayland-protocols plasma-wayland-protocols
  dpkg-dev debian-archive-keyring qt6-wayland
  # the saver's frames through shared memory (MIT-SHM) on X11, the idle watcher's idle time
  libxcb-shm0-dev libxcb-screensaver0-dev
  # faster inflation of Deflate TIFF strips (zlib does it where this is missing)
  libdeflate-dev
  # fonts metric-compatible with Arial, Times and Courier
  fonts-liberation2 fontconfig
  # the translated manual pages, from po/man/
  po4a
  # the message catalogues (msgfmt, xgettext), and Qt's own dialogs translated
  gettext qt6-translations-l10n
)
tests=(
  # the fuzz targets: clang with libFuzzer and the sanitizers
  clang libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # benchmarks only: Qt's TIFF and WebP readers and bare libtiff, the yardsticks for ours
  qt6-image-formats-plugins libtiff-dev
  # system tests under a real X server
  xvfb xdotool imagemagick x11-utils xauth xscreensaver procps iproute2
  # the idle watcher's tests: a private session bus and calls on it
  dbus-daemon libglib2.0-bin
  # a font with Chinese and Japanese glyphs, which the dialog's fit test measures
  fonts-wqy-microhei
  # system tests under a real X server (locales: the German run of the dialog's)
  locales xvfb xdotool imagemagick x11-utils xauth xscreensaver procps iproute2
)

. "$(dirname "$0")/lib/apt.sh"
if [ "${1:-}" = --program ]; then
  install_packages "${program[@]}"
else
  install_packages "${program[@]}" "${tests[@]}"
  # The dialog's system tests run once in German, and its pictures are taken in
  # German and Japanese, and the Win32 fit test measures Japanese and Chinese under
  # their own locales: those must exist for libintl and Wine to use them.
  for locale in de_DE ja_JP zh_CN; do
    locale -a | grep -qix "${locale}.utf-\?8" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
fi
