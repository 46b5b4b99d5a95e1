#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehavior-
# Sanitizer into build-fuzz/ and runs each for the given number of seconds
# (default 60), seeded from tests/data and fuzz/corpus/<target> where they exist,
# as many at a time as the machine has cores (QUIPIX_FUZZ_JOBS sets another number).
# Usage: scripts/fuzz.sh [seconds] [target...]; scripts/fuzz.sh build only builds.
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
[ "$seconds" != build ] || exit 0
# fuzz_one TARGET: runs it; its report is printed in one piece when it ends.
fuzz_one() {
  local t=$1 work status=0 seeds=()
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$t" ] && seeds+=("fuzz/corpus/$t")
  [ -d "tests/data/$t" ] && seeds+=("tests/data/$t")
  # A unit that takes longer than 10 s is a hang; a shorter limit fails a slow but
  # finite input on a loaded machine (the suite runs its other lane beside this one).
  ./build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -malloc_limit_mb=256 -print_final_stats=1 "$work" "${seeds[@]}" >"$work.log" 2>&1 || status=$?
  local report
  report=$(
    echo "== fuzz_$t for ${seconds}s"
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$work.log" || true
    [ "$status" -eq 0 ] || { tail -n 60 "$work.log"; echo "fuzz_$t failed"; }
  )
  printf '%s\n' "$report"
  rm -rf "$work" "$work.log"
  return "$status"
}
jobs=${QUIPIX_FUZZ_JOBS:-$(nproc)}
failed=0
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit "$failed"
