#!/usr/bin/env bash
# Builds Quipix and runs the saver full screen on the bundled jokes. Without a
# display it records one joke cycle to quipix-record.gif instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
bash scripts/build.sh --program
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/qt/quipix /s
fi
echo "No display: recording one joke cycle, its pause included, instead."
./build/qt/quipix --record quipix-record.gif --size 960x540 --every 2
echo "Recorded to $(pwd)/quipix-record.gif"
