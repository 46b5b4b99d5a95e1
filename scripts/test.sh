#!/usr/bin/env bash
# Builds Quipix and runs the whole test suite, stage by stage: the layout check, the
# message catalogues' completeness, the Linux build, the core built alone with its
# tests, the unit tests (CTest), the Windows builds and their tests under Wine, the
# system tests (the dialog's in English and once more in German), the Debian package
# and its tests, and a smoke run of every fuzz target (5 s each). A failed stage does not stop the
# run (only a failed build stops what needs it); at the end a table gives each stage's
# seconds and result, and the status is non-zero when any stage failed.
# QUIPIX_SKIP_WINDOWS=1, QUIPIX_SKIP_DEB=1 and QUIPIX_SKIP_FUZZ=1 leave those out.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/host.sh
# Warnings fail the build here, never on a user's machine.
export QUIPIX_WERROR=ON

names=()
results=()
seconds=()
failed=0
notes=$(mktemp -d)
trap 'rm -rf "$notes"' EXIT

# stage NAME COMMAND...: runs one stage and records its time and result. A stage
# skips itself by exiting with status 77 (scripts/lib/host.sh's skip_stage).
stage() {
  local name=$1 start=$SECONDS status=0 note="$notes/${#names[@]}"
  shift
  echo
  echo "== $name"
  QUIPIX_SKIP_NOTE=$note "$@" || status=$?
  names+=("$name")
  seconds+=($((SECONDS - start)))
  case $status in
    0) results+=(passed) ;;
    77) results+=("skipped: $(cat "$note" 2>/dev/null || echo "not possible on this host")") ;;
    *) results+=("FAILED (exit status $status)"); failed=$((failed + 1)) ;;
  esac
}

# skipped NAME REASON: a stage that is not run at all.
skipped() {
  names+=("$1")
  seconds+=(0)
  results+=("skipped: $2")
}

# passed NAME: whether that stage ran and passed.
passed() {
  local i
  for i in "${!names[@]}"; do [ "${names[$i]}" != "$1" ] || [ "${results[$i]}" != passed ] || return 0; done
  return 1
}

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
if passed "Linux build"; then
  stage "unit tests" ctest --test-dir build -j2 --output-on-failure --timeout 300
else
  skipped "unit tests" "the Linux build failed"
fi

windows=""
if [ -n "${QUIPIX_SKIP_WINDOWS:-}" ]; then
  skipped "Windows builds" "QUIPIX_SKIP_WINDOWS is set"
else
  stage "Windows builds" bash scripts/build-windows.sh
  if passed "Windows builds"; then
    windows=1
    stage "Windows tests (x86_64)" bash scripts/test-windows.sh x86_64
    stage "Windows tests (i686)" bash scripts/test-windows.sh i686
  fi
fi

for t in scripts/system-tests/*.sh; do
  name="system test $(basename "$t" .sh)"
  case "$(basename "$t")" in
    windows*.sh | installer.sh)
      [ -n "$windows" ] || { skipped "$name" "no Windows build"; continue; } ;;
    *)
      passed "Linux build" || { skipped "$name" "the Linux build failed"; continue; } ;;
  esac
  stage "$name" bash "$t"
  # The dialog once more in German, its captions from the catalogue.
  case "$(basename "$t")" in
    dialog.sh | windows-dialog.sh) stage "$name (German)" env LANG=de_DE.UTF-8 bash "$t" ;;
  esac
done

# The Debian package, built and then installed, run and purged on this machine.
if [ -n "${QUIPIX_SKIP_DEB:-}" ]; then
  skipped "Debian package" "QUIPIX_SKIP_DEB is set"
else
  stage "Debian package" bash scripts/build-deb.sh
fi
if [ -n "${QUIPIX_SKIP_FUZZ:-}" ]; then
  skipped "fuzz smoke" "QUIPIX_SKIP_FUZZ is set"
else
  stage "fuzz smoke" bash scripts/fuzz.sh 5
fi

echo
echo "== Summary"
printf '%-34s %7s  %s\n' stage seconds result
count_passed=0
count_skipped=0
for i in "${!names[@]}"; do
  printf '%-34s %7d  %s\n' "${names[$i]}" "${seconds[$i]}" "${results[$i]}"
  case "${results[$i]}" in
    passed) count_passed=$((count_passed + 1)) ;;
    skipped*) count_skipped=$((count_skipped + 1)) ;;
  esac
done
printf '%-34s %7d\n' total "$SECONDS"
echo "stages: $count_passed passed, $failed failed, $count_skipped skipped"
[ "$failed" -eq 0 ]
