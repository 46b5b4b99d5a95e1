#!/usr/bin/env bash
# Builds Quipix and runs the whole test suite: unit tests (CTest), the Windows build
# and its tests under Wine, the system tests under Xvfb, the Debian package and its
# tests, and a short smoke run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
# Warnings fail the build here, never on a user's machine.
export QUIPIX_WERROR=ON
# Each toolkit stays in its front end's folder; messages are named, not numbered.
bash scripts/check-layout.sh
bash scripts/build.sh
ctest --test-dir build -j2 --output-on-failure --timeout 300
if [ -z "${QUIPIX_SKIP_WINDOWS:-}" ]; then
  echo "== Windows build and tests under Wine"
  QUIPIX_WIN_TEST=1 bash scripts/build-windows.sh
fi
for t in scripts/system-tests/*.sh; do
  [ -e "$t" ] || continue
  if [ -n "${QUIPIX_SKIP_WINDOWS:-}" ]; then case "$(basename "$t")" in windows*.sh) continue ;; esac; fi
  echo "== system test $(basename "$t")"
  bash "$t"
done
# The Debian package, built and then installed, run and purged on this machine.
[ -n "${QUIPIX_SKIP_DEB:-}" ] || bash scripts/build-deb.sh
if [ -z "${QUIPIX_SKIP_FUZZ:-}" ]; then
  bash scripts/fuzz.sh 10
fi
