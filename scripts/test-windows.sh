#!/usr/bin/env bash
# Runs the Windows build's test programs (scripts/build-windows.sh) under Wine:
#   scripts/test-windows.sh x86_64|i686
# the 64-bit ones through Wine's 64-bit loader, the 32-bit ones under a 32-bit Wine,
# which a host that cannot execute 32-bit programs does not have: the 32-bit tests
# are then skipped (exit status 77), saying why.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/host.sh
arch=${1:?usage: test-windows.sh x86_64|i686}
case "$arch" in
  x86_64) out=build-windows ;;
  i686)
    require_wine32
    out=build-windows-i686
    export QUIPIX_WINE_ARCH=win32
    ;;
  *) echo "test-windows.sh: no such architecture: $arch" >&2; exit 2 ;;
esac
[ -f "$out/CTestTestfile.cmake" ] || { echo "build the Windows program first (scripts/build-windows.sh)" >&2; exit 1; }
echo "== Windows tests ($arch) under Wine"
. scripts/lib/wine-env.sh
ctest --test-dir "$out" -j2 --output-on-failure --timeout 300
# Wine links the fonts that draw Chinese and Japanese only for a system of that
# language, so the dialog's fit test measures those two under their own locales.
for locale in ja_JP zh_CN; do
  echo "== the Win32 dialog's fit in $locale"
  LANG=$locale.UTF-8 wine "$out/tests/test_win32.exe" --gtest_filter='DialogFit.*' --gtest_brief=1
done
