# Shared by the Windows tests (sourced): a Wine of our own, quiet, without the Mono and
# Gecko installers. QUIPIX_WINE_ARCH=win32 asks for a 32-bit Wine (the 32-bit build's
# tests, Windows 98's password path), in build-windows-i686/wineprefix unless
# WINEPREFIX names another; else a 64-bit one in build-windows/wineprefix. The prefix
# is made once and reused; one that an interrupted run left half made (no mark of a
# finished wineboot), or one of the other architecture, is made afresh (inside the
# source tree only).
_quipix_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEARCH="${QUIPIX_WINE_ARCH:-win64}"
if [ "$WINEARCH" = win32 ]; then
  export WINEPREFIX="${WINEPREFIX:-$_quipix_root/build-windows-i686/wineprefix}"
else
  export WINEPREFIX="${WINEPREFIX:-$_quipix_root/build-windows/wineprefix}"
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$(cat "$WINEPREFIX/.quipix-made" 2>/dev/null)" != "$WINEARCH" ]; then
  echo "Making the Wine prefix $WINEPREFIX ($WINEARCH)"
  case "$WINEPREFIX" in  # never a prefix outside the tree
    "$_quipix_root"/*) wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" ;;
  esac
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] && echo "$WINEARCH" >"$WINEPREFIX/.quipix-made"
fi
