#!/usr/bin/env bash
# Builds Quipix and runs the whole test suite, stage by stage: the layout check, the
# message catalogues' completeness, the Linux build, the core built alone with its
# tests, the unit tests (CTest), the Windows builds and their tests under Wine, the
# system tests (the dialog's in English and once more in German), a smoke run of every
# fuzz target (5 s each), and the Debian package and its tests. A failed stage does
# not stop the run (only a failed build stops what needs it); at the end a table gives
# each stage's seconds and result, and the status is non-zero when any stage failed.
# QUIPIX_SKIP_WINDOWS=1, QUIPIX_SKIP_DEB=1 and QUIPIX_SKIP_FUZZ=1 leave those out.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/host.sh
# Warnings fail the build here, never on a user's machine.
export QUIPIX_WERROR=ON

notes=$(mktemp -d)
trap 'rm -rf "$notes"' EXIT
# Each stage's record is a line of $notes/records: its place in the table, name,
# seconds and result. Stages of the two lanes below run at the same time, so their
# records go through a file, and each prints its output in one piece when it ends.
order=0

# stage NAME COMMAND...: runs one stage and records its time and result. A stage
# skips itself by exiting with status 77 (scripts/lib/host.sh's skip_stage).
stage() {
  local name=$1 start=$SECONDS status=0 note="$notes/note.$order" log="$notes/log.$order" result
  shift
  if [ -n "${lane:-}" ]; then
    QUIPIX_SKIP_NOTE=$note "$@" >"$log" 2>&1 || status=$?
  else
    printf '\n== %s\n' "$name"
    QUIPIX_SKIP_NOTE=$note "$@" || status=$?
  fi
  case $status in
    0) result=passed ;;
    77) result="skipped: $(cat "$note" 2>/dev/null || echo "not possible on this host")" ;;
    *) result="FAILED (exit status $status)" ;;
  esac
  record "$name" $((SECONDS - start)) "$result"
  [ -z "${lane:-}" ] || { printf '\n== %s\n' "$name"; cat "$log"; } | flock "$notes/records" cat
}

# record NAME SECONDS RESULT
record() {
  flock "$notes/records" printf '%d\t%s\t%d\t%s\n' "$order" "$1" "$2" "$3" >>"$notes/records"
  order=$((order + 1))
}

# skipped NAME REASON: a stage that is not run at all.
skipped() { record "$1" 0 "skipped: $2"; }

# passed NAME: whether that stage ran and passed.
passed() { grep -q "^[0-9]*	$1	[0-9]*	passed\$" "$notes/records" 2>/dev/null; }

# The test build: warnings are errors. An object that ccache already had replays the
# warnings of its compiler instead of failing, so the build's output is read too.
linux_build() {
  local log=$notes/build.log status=0
  bash scripts/build.sh 2>&1 | tee "$log" || status=$?
  [ "$status" -eq 0 ] || return "$status"
  if grep -q ': warning: ' "$log"; then
    echo "error: the build printed warnings, which the test build takes as errors" >&2
    return 1
  fi
}

# The core alone, without a front end (no window system, no text engine): it builds
# and passes its suites. Its objects are those of the Linux build, from the cache.
core_only() {
  local log=$notes/core.log
  . scripts/lib/ccache.sh
  if ! { cmake -S . -B build-core -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIPIX_GUI=OFF \
           -DQUIPIX_BENCH=OFF -DQUIPIX_WERROR=ON "${CCACHE_LAUNCHER[@]}" &&
         cmake --build build-core -j2 &&
         ctest --test-dir build-core -j2 --output-on-failure --timeout 300; } >"$log" 2>&1; then
    tail -n 60 "$log"
    return 1
  fi
  tail -n 3 "$log"
}

stage "layout check" bash scripts/check-layout.sh
stage "message catalogues" bash scripts/check-catalogues.sh
stage "Linux build" linux_build
stage "core-only build and tests" core_only

windows=""
if [ -n "${QUIPIX_SKIP_WINDOWS:-}" ]; then
  skipped "Windows builds" "QUIPIX_SKIP_WINDOWS is set"
else
  stage "Windows builds" bash scripts/build-windows.sh
  ! passed "Windows builds" || windows=1
fi
fuzz=""
if [ -n "${QUIPIX_SKIP_FUZZ:-}" ]; then
  skipped "fuzz build" "QUIPIX_SKIP_FUZZ is set"
else
  stage "fuzz build" bash scripts/fuzz.sh build
  ! passed "fuzz build" || fuzz=1
fi

# Once everything is built, the tests run in two lanes at the same time: most of
# their time is spent waiting for a window, a compositor or Wine, and each test has
# its own display, buses and Wine prefix. QUIPIX_ONE_LANE=1 runs one after the other.

# system_tests PATTERN...: the system tests whose file names match.
system_tests() {
  local t
  for t in scripts/system-tests/*.sh; do
    case "$(basename "$t")" in
      windows*.sh | installer.sh) [[ " $* " == *" windows "* ]] || continue
        [ -n "$windows" ] || { skipped "system test $(basename "$t" .sh)" "no Windows build"; continue; } ;;
      *) [[ " $* " == *" linux "* ]] || continue
        passed "Linux build" || { skipped "system test $(basename "$t" .sh)" "the Linux build failed"; continue; } ;;
    esac
    stage "system test $(basename "$t" .sh)" bash "$t"
    # The dialog once more in German, its captions from the catalogue.
    case "$(basename "$t")" in
      dialog.sh | windows-dialog.sh)
        stage "system test $(basename "$t" .sh) (German)" env LANG=de_DE.UTF-8 bash "$t" ;;
    esac
  done
}

# The Windows tests under Wine, then the fuzz targets' smoke run (5 s each).
windows_lane() {
  order=100
  if [ -n "$windows" ]; then
    stage "Windows tests (x86_64)" bash scripts/test-windows.sh x86_64
    stage "Windows tests (i686)" bash scripts/test-windows.sh i686
  fi
  system_tests windows
  [ -z "$fuzz" ] || stage "fuzz smoke" bash scripts/fuzz.sh 5
}

# The Linux unit tests and the system tests on X11 and Wayland.
linux_lane() {
  order=200
  if passed "Linux build"; then
    stage "unit tests" ctest --test-dir build -j2 --output-on-failure --timeout 300
  else
    skipped "unit tests" "the Linux build failed"
  fi
  system_tests linux
}

if [ -n "${QUIPIX_ONE_LANE:-}" ]; then
  lane=1 windows_lane
  lane=1 linux_lane
else
  lane=1 windows_lane &
  windows_pid=$!
  lane=1 linux_lane &
  linux_pid=$!
  wait "$windows_pid" "$linux_pid" || true
fi

# The Debian package, built and then installed, run and purged on this machine: on
# its own, since its test compares the machine's files before and after.
order=300
if [ -n "${QUIPIX_SKIP_DEB:-}" ]; then
  skipped "Debian package" "QUIPIX_SKIP_DEB is set"
else
  stage "Debian package" bash scripts/build-deb.sh
fi

echo
echo "== Summary"
printf '%-34s %7s  %s\n' stage seconds result
count_passed=0
count_skipped=0
failed=0
while IFS=$'\t' read -r _ name secs result; do
  printf '%-34s %7d  %s\n' "$name" "$secs" "$result"
  case "$result" in
    passed) count_passed=$((count_passed + 1)) ;;
    skipped*) count_skipped=$((count_skipped + 1)) ;;
    *) failed=$((failed + 1)) ;;
  esac
done < <(sort -n "$notes/records")
printf '%-34s %7d\n' total "$SECONDS"
echo "stages: $count_passed passed, $failed failed, $count_skipped skipped"
[ "$failed" -eq 0 ]
