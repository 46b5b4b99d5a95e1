#!/usr/bin/env bash
# Cross-builds the Windows program twice, 64-bit into build-windows/ and 32-bit into
# build-windows-i686/: Quipix.scr, quipix-picture.exe and the Qt-free test programs;
# then build-windows/QuipixSetup.exe, which holds both and installs the one that
# matches the system. Debian ships no MinGW builds of libjpeg-turbo, libpng, giflib or lcms2,
# so they are built here for each architecture from Debian's own source packages of
# the versions the Linux build uses, fetched with a private sources list and apt state
# inside build-windows/deps (the machine's apt configuration is never touched), and
# kept there for later runs (the 64-bit ones in deps/prefix, the 32-bit ones in
# deps/i686/prefix). GoogleTest comes from Debian's googletest sources.
# With QUIPIX_WIN_TEST=1 the tests then run under Wine (scripts/test-windows.sh);
# QUIPIX_WIN_BENCH=1 also builds bench_saver.exe (64-bit).
# QUIPIX_WIN_ARCHS="x86_64" (or "i686") builds one of them alone, and no installer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/host.sh
. scripts/lib/ccache.sh
root=$PWD
deps=$root/build-windows/deps
read -r -a archs <<<"${QUIPIX_WIN_ARCHS:-x86_64 i686}"

packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev mingw-w64-tools
          wine wine64 cmake ninja-build nasm dpkg-dev googletest debian-archive-keyring nsis
          xvfb xdotool imagemagick binutils)
. scripts/lib/apt.sh
install_packages "${packages[@]}"
# The 32-bit Wine is Debian's i386 package. Where the kernel cannot execute 32-bit
# programs nothing could run it, and the i386 package indexes would only be more
# downloads that can fail: the 32-bit build is then compiled but not run. Where the
# package cannot be had (the i386 indexes in the middle of a mirror's sync) the
# 32-bit tests say so and are skipped; everything else goes on.
if host_runs_32bit; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    $sudo rm -f "$APT_UPDATE_STAMP"  # the new architecture's lists are not there yet
    added=1
  fi
  if ! install_packages wine32:i386; then
    echo "warning: the 32-bit Wine (wine32:i386) cannot be installed now; the 32-bit tests will be skipped" >&2
    # Not left behind half set up: its indexes would fail every later update.
    [ -z "$added" ] || $sudo dpkg --remove-architecture i386 || true
  fi
else
  echo "The 32-bit Windows build is compiled but not run: $NO_32BIT_REASON"
fi

# --- sources of the libraries, through a private apt state ---
. scripts/lib/debian-source.sh
source_apt_dir=$deps/apt
source_dir=$deps/src

# --- the libraries, per architecture: set_arch ARCH first ---
set_arch() {
  arch=$1
  triple=$arch-w64-mingw32
  mingw=/usr/$triple
  toolchain=$root/cmake/mingw-w64-$arch.cmake
  if [ "$arch" = x86_64 ]; then
    prefix=$deps/prefix
    dep_build=$deps/build
    out=$root/build-windows
  else
    prefix=$deps/$arch/prefix
    dep_build=$deps/$arch/build
    out=$root/build-windows-$arch
  fi
  cmake_deps=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain"
              -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_POLICY_DEFAULT_CMP0074=NEW "${CCACHE_LAUNCHER[@]}")
}

build_jpeg() {
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  fetch_source libjpeg-turbo libjpeg62-turbo-dev
  local src; src=$(ls -d "$deps/src"/libjpeg-turbo-*/ | head -n1)
  cmake -S "$src" -B "$dep_build/jpeg" "${cmake_deps[@]}" -Wno-dev -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DCMAKE_ASM_NASM_COMPILER=nasm >/dev/null
  cmake --build "$dep_build/jpeg" -j2 --target install >/dev/null
}

build_png() {
  [ -f "$prefix/lib/libpng.a" ] && return 0
  fetch_source libpng1.6 libpng-dev
  local src; src=$(ls -d "$deps/src"/libpng1.6-*/ | head -n1)
  cmake -S "$src" -B "$dep_build/png" "${cmake_deps[@]}" -Wno-dev -DPNG_SHARED=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY=$mingw/lib/libz.a -DZLIB_INCLUDE_DIR=$mingw/include >/dev/null
  cmake --build "$dep_build/png" -j2 --target install >/dev/null
  # The import of the library's own DLL, never wanted here.
  rm -f "$prefix"/lib/libpng*.dll.a
}

build_gif() {
  [ -f "$prefix/lib/libgif.a" ] && return 0
  fetch_source giflib libgif-dev
  local src o objs=(); src=$(ls -d "$deps/src"/giflib-*/ | head -n1)
  mkdir -p "$dep_build/gif" "$prefix/lib" "$prefix/include"
  for c in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    o=$dep_build/gif/$c.o
    ${CCACHE_LAUNCHER[0]:+ccache} "$triple-gcc-posix" -O2 -c "$src/$c.c" -o "$o"
    objs+=("$o")
  done
  "$triple-ar" rcs "$prefix/lib/libgif.a" "${objs[@]}"
  cp "$src/gif_lib.h" "$prefix/include/"
}

# Little CMS for the colour profiles of photos; its sources compiled as they are.
build_lcms2() {
  [ -f "$prefix/lib/liblcms2.a" ] && return 0
  fetch_source lcms2 liblcms2-dev
  local src c o objs=(); src=$(ls -d "$deps/src"/lcms2-*/ | head -n1)
  mkdir -p "$dep_build/lcms2" "$prefix/lib" "$prefix/include"
  for c in "$src"/src/*.c; do
    o=$dep_build/lcms2/$(basename "$c" .c).o
    ${CCACHE_LAUNCHER[0]:+ccache} "$triple-gcc-posix" -O2 -I"$src/include" -c "$c" -o "$o"
    objs+=("$o")
  done
  "$triple-ar" rcs "$prefix/lib/liblcms2.a" "${objs[@]}"
  cp "$src/include/lcms2.h" "$src/include/lcms2_plugin.h" "$prefix/include/"
}

build_gtest() {
  [ -f "$prefix/lib/libgtest.a" ] && return 0
  cmake -S /usr/src/googletest -B "$dep_build/gtest" "${cmake_deps[@]}" -Wno-dev -DBUILD_GMOCK=ON \
    -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$dep_build/gtest" -j2 --target install >/dev/null
}

# Google Benchmark only on request (QUIPIX_WIN_BENCH=1): bench_saver under Wine.
build_benchmark() {
  [ -f "$prefix/lib/libbenchmark.a" ] && return 0
  fetch_source benchmark libbenchmark-dev
  local src; src=$(ls -d "$deps/src"/benchmark-*/ | head -n1)
  cmake -S "$src" -B "$dep_build/benchmark" "${cmake_deps[@]}" -Wno-dev -DBENCHMARK_ENABLE_TESTING=OFF \
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBUILD_SHARED_LIBS=OFF -DGIT_VERSION=0.0.0 >/dev/null
  cmake --build "$dep_build/benchmark" -j2 --target install >/dev/null
}

# The program for one architecture, with its tests.
build_program() {
  set_arch "$1"
  build_jpeg
  build_png
  build_gif
  build_lcms2
  build_gtest
  local bench=OFF
  if [ -n "${QUIPIX_WIN_BENCH:-}" ] && [ "$arch" = x86_64 ]; then
    build_benchmark
    bench=ON
  fi
  echo "== Windows build ($arch) in ${out#"$root"/}"
  cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUIPIX_WIN_DEPS="$prefix" \
    -DZLIB_LIBRARY=$mingw/lib/libz.a -DZLIB_INCLUDE_DIR=$mingw/include -DQUIPIX_COLOR_MANAGEMENT=ON -DQUIPIX_BENCH=$bench -DQUIPIX_WERROR=${QUIPIX_WERROR:-OFF} \
    "${CCACHE_LAUNCHER[@]}" >/dev/null
  cmake --build "$out" -j2
  # A copied Quipix.scr must not look for anything on the machine it was built on.
  if strings -a "$out/Quipix.scr" | grep -qF -e "$root" -e "${root:0:8}"; then
    echo "build-windows: Quipix.scr ($arch) holds a path of this machine (${root:0:8}...)" >&2
    return 1
  fi
}

# QuipixSetup.exe around both builds of Quipix.scr. The data files are listed one by
# one for the installer script, so that its uninstaller removes exactly those and
# nothing a user added beside them.
build_installer() {
  local list=$root/build-windows/installer/files.nsh f
  mkdir -p "$root/build-windows/installer"
  {
    echo '!macro QuipixDataFiles ACTION'
    # A language's help topics and jokes lie in a folder of its own: help\<language>.
    for f in help/*.html help/*/*.html jokes/*.txt jokes/*/*.txt; do
      [ -f "$f" ] && echo "  !insertmacro \${ACTION} \"$(dirname "$f" | tr / '\\')\" \"${f##*/}\""
    done
    echo '!macroend'
  } >"$list"
  # The version numbers the build made from the project version.
  version() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$root/build-windows/version/quipix_version.h"; }
  makensis -V2 -DQUIPIX_SCR64="$root/build-windows/Quipix.scr" -DQUIPIX_SCR32="$root/build-windows-i686/Quipix.scr" \
    -DQUIPIX_ROOT="$root" -DQUIPIX_FILES="$list" -DOUTFILE="$root/build-windows/QuipixSetup.exe" \
    -DQUIPIX_VERSION="$(version QUIPIX_VERSION)" -DQUIPIX_VERSION_QUAD="$(version QUIPIX_VERSION_QUAD)" \
    win32/installer/quipix.nsi
}

for a in "${archs[@]}"; do build_program "$a"; done
if [ "${#archs[@]}" -eq 2 ]; then build_installer; fi

if [ -n "${QUIPIX_WIN_TEST:-}" ]; then
  for a in "${archs[@]}"; do
    status=0
    bash scripts/test-windows.sh "$a" || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
  done
fi
