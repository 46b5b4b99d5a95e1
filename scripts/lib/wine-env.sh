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
if [ ! -x "$WINE_LOADER" ] && [ -d /usr/lib/wine ]; then
  echo "error: no $WINEARCH Wine: $WINE_LOADER is not installed" >&2
  return 1
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
# make_prefix DIR: wineboot makes a prefix in DIR (inside the tree), marked when done.
make_prefix() {
  echo "Making the Wine prefix $1 ($WINEARCH)"
  case "$1" in  # never a prefix outside the tree
    "$_quipix_root"/*) WINEPREFIX=$1 wineserver -k 2>/dev/null || true; rm -rf "$1" ;;
  esac
  mkdir -p "$(dirname "$1")"
  WINEPREFIX=$1 wineboot -i >"$1.log" 2>&1 || true
  WINEPREFIX=$1 wineserver -w
  if [ ! -f "$1/system.reg" ]; then
    echo "error: wineboot made no Wine prefix in $1 ($WINE_LOADER); it said:" >&2
    tail -n 20 "$1.log" >&2
    return 1
  fi
  echo "$WINEARCH" >"$1/.quipix-made"
}
# wineboot takes about 20 s; every other prefix a run needs is a copy of one pristine
# prefix that it made once, which takes under a second.
if [ "$(cat "$WINEPREFIX/.quipix-made" 2>/dev/null)" != "$WINEARCH" ]; then
  _quipix_clean="$_quipix_root/build-windows/wineprefix-clean"
  [ "$WINEARCH" != win32 ] || _quipix_clean="$_quipix_root/build-windows-i686/wineprefix-clean"
  case "$WINEPREFIX" in
    "$_quipix_root"/*)
      if [ "$(cat "$_quipix_clean/.quipix-made" 2>/dev/null)" != "$WINEARCH" ]; then
        make_prefix "$_quipix_clean" || return 1
      fi
      wineserver -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
      mkdir -p "$(dirname "$WINEPREFIX")"
      cp -a "$_quipix_clean" "$WINEPREFIX" ;;
    *) make_prefix "$WINEPREFIX" || return 1 ;;
  esac
fi
