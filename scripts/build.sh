#!/usr/bin/env bash
# Installs what is missing and builds Quipix into build/ (Ninja, two jobs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIPIX_WERROR=${QUIPIX_WERROR:-OFF} "${launcher[@]}" >/dev/null
cmake --build build -j2
