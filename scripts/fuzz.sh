#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehavior-
# Sanitizer into build-fuzz/ and runs each for the given number of seconds
# (default 60), seeded from tests/data and fuzz/corpus/<target> where they exist.
# Usage: scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/ccache.sh
seconds=${1:-60}
shift || true
bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUIPIX_FUZZ=ON -DQUIPIX_GUI=OFF -DQUIPIX_TESTS=OFF -DQUIPIX_BENCH=OFF "${CCACHE_LAUNCHER[@]}" >/dev/null
cmake --build build-fuzz -j2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in build-fuzz/fuzz/fuzz_*; do [ -x "$f" ] && targets+=("$(basename "$f" | sed 's/^fuzz_//')"); done
fi
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  seeds=()
  [ -d "fuzz/corpus/$t" ] && seeds+=("fuzz/corpus/$t")
  [ -d "tests/data/$t" ] && seeds+=("tests/data/$t")
  echo "== fuzz_$t for ${seconds}s"
  status=0
  ./build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -print_final_stats=1 "$work" "${seeds[@]}" >"$work.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$work.log" || true
  [ "$status" -eq 0 ] || tail -n 60 "$work.log"
  rm -rf "$work" "$work.log"
  if [ "$status" -ne 0 ]; then echo "fuzz_$t failed"; exit 1; fi
done
