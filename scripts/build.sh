#!/usr/bin/env bash
# Installs what is missing and builds Quipix into build/ (Ninja, two jobs, ccache).
# With --program only the program (scripts/run.sh): no tests and no benchmarks, and
# only the packages those need. The test build later reuses the same folder and,
# through ccache, every object compiled here.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/ccache.sh
if [ "${1:-}" = --program ]; then
  bash scripts/install-deps.sh --program
  with_tests=OFF
else
  bash scripts/install-deps.sh
  with_tests=ON
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIPIX_WERROR="${QUIPIX_WERROR:-OFF}" \
  -DQUIPIX_TESTS=$with_tests -DQUIPIX_BENCH=$with_tests "${CCACHE_LAUNCHER[@]}" >/dev/null
cmake --build build -j2
