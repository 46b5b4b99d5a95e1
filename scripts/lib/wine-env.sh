# Shared by the Windows tests (sourced): a Wine of our own, quiet, without the Mono and
# Gecko installers. QUIPIX_WINE_ARCH=win32 asks for a 32-bit Wine (the 32-bit build's
# tests, Windows 98's password path), in build-windows-i686/wineprefix unless
# WINEPREFIX names another; else a 64-bit one in build-windows/wineprefix. The prefix
# is made once and reused; one that an interrupted run left half made (no mark of a
# finished wineboot), or one of the other architecture, is made afresh (inside the
# source tree only).
#
# `wine`, `wineboot` and `wineserver` are functions here that start the loader and
# server of the prefix's own architecture. Debian's /usr/bin/wine starts the 32-bit
# loader whenever wine32 is installed, which fails for a 64-bit prefix on a host
# that cannot execute 32-bit programs; the 64-bit loader still hands a 32-bit
# program (the installer) to the 32-bit one where that is installed.
_quipix_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEARCH="${QUIPIX_WINE_ARCH:-win64}"
if [ "$WINEARCH" = win32 ]; then
  export WINEPREFIX="${WINEPREFIX:-$_quipix_root/build-windows-i686/wineprefix}"
  WINE_LOADER=/usr/lib/wine/wine
  export WINESERVER=/usr/lib/wine/wineserver32
else
  export WINEPREFIX="${WINEPREFIX:-$_quipix_root/build-windows/wineprefix}"
  WINE_LOADER=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
fi
# Another packaging of Wine: whatever is on the PATH.
[ -x "$WINE_LOADER" ] || WINE_LOADER=$(command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
# Programs that Wine itself starts go through the same loader.
export WINELOADER=$WINE_LOADER
wine() { "$WINE_LOADER" "$@"; }
wineboot() { "$WINE_LOADER" wineboot "$@"; }
wineserver() { "$WINESERVER" "$@"; }
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$(cat "$WINEPREFIX/.quipix-made" 2>/dev/null)" != "$WINEARCH" ]; then
  echo "Making the Wine prefix $WINEPREFIX ($WINEARCH)"
  case "$WINEPREFIX" in  # never a prefix outside the tree
    "$_quipix_root"/*) wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX" ;;
  esac
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >"$WINEPREFIX.log" 2>&1 || true
  wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "error: wineboot made no Wine prefix in $WINEPREFIX ($WINE_LOADER); it said:" >&2
    tail -n 20 "$WINEPREFIX.log" >&2
    return 1
  fi
  echo "$WINEARCH" >"$WINEPREFIX/.quipix-made"
fi
