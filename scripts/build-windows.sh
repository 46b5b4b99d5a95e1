#!/usr/bin/env bash
# Cross-builds the Windows program into build-windows/: Quipix.scr, quipix-picture.exe
# and the Qt-free test programs. Debian ships no MinGW builds of libjpeg-turbo, libpng
# or giflib, so they are built here from Debian's own source packages of the versions
# the Linux build uses, fetched with a private sources list and apt state inside
# build-windows/ (the machine's apt configuration is never touched), and kept there
# for later runs. GoogleTest comes from Debian's googletest sources.
# With QUIPIX_WIN_TEST=1 the tests then run under Wine; QUIPIX_WIN_BENCH=1 also
# builds bench_saver.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
deps=$out/deps
prefix=$deps/prefix
mingw=/usr/x86_64-w64-mingw32

packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev mingw-w64-tools wine wine64
          cmake ninja-build nasm dpkg-dev googletest debian-archive-keyring nsis
          xvfb xdotool imagemagick)
. scripts/lib/apt.sh
install_packages "${packages[@]}"

# --- sources of the libraries, through a private apt state ---
. scripts/lib/debian-source.sh
source_apt_dir=$deps/apt
source_dir=$deps/src

cmake_deps=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
            -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_POLICY_DEFAULT_CMP0074=NEW)

build_jpeg() {
  [ -f "$prefix/lib/libjpeg.a" ] && return 0
  fetch_source libjpeg-turbo libjpeg62-turbo-dev
  local src; src=$(ls -d "$deps/src"/libjpeg-turbo-*/ | head -n1)
  cmake -S "$src" -B "$deps/build/jpeg" "${cmake_deps[@]}" -Wno-dev -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DCMAKE_ASM_NASM_COMPILER=nasm >/dev/null
  cmake --build "$deps/build/jpeg" -j2 --target install >/dev/null
}

build_png() {
  [ -f "$prefix/lib/libpng.a" ] && return 0
  fetch_source libpng1.6 libpng-dev
  local src; src=$(ls -d "$deps/src"/libpng1.6-*/ | head -n1)
  cmake -S "$src" -B "$deps/build/png" "${cmake_deps[@]}" -Wno-dev -DPNG_SHARED=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY=$mingw/lib/libz.a -DZLIB_INCLUDE_DIR=$mingw/include >/dev/null
  cmake --build "$deps/build/png" -j2 --target install >/dev/null
  # The import of the library's own DLL, never wanted here.
  rm -f "$prefix"/lib/libpng*.dll.a
}

build_gif() {
  [ -f "$prefix/lib/libgif.a" ] && return 0
  fetch_source giflib libgif-dev
  local src o objs=(); src=$(ls -d "$deps/src"/giflib-*/ | head -n1)
  mkdir -p "$deps/build/gif" "$prefix/lib" "$prefix/include"
  for c in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    o=$deps/build/gif/$c.o
    x86_64-w64-mingw32-gcc-posix -O2 -c "$src/$c.c" -o "$o"
    objs+=("$o")
  done
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libgif.a" "${objs[@]}"
  cp "$src/gif_lib.h" "$prefix/include/"
}

build_gtest() {
  [ -f "$prefix/lib/libgtest.a" ] && return 0
  cmake -S /usr/src/googletest -B "$deps/build/gtest" "${cmake_deps[@]}" -Wno-dev -DBUILD_GMOCK=ON \
    -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$deps/build/gtest" -j2 --target install >/dev/null
}

# Google Benchmark only on request (QUIPIX_WIN_BENCH=1): bench_saver under Wine.
build_benchmark() {
  [ -f "$prefix/lib/libbenchmark.a" ] && return 0
  fetch_source benchmark libbenchmark-dev
  local src; src=$(ls -d "$deps/src"/benchmark-*/ | head -n1)
  cmake -S "$src" -B "$deps/build/benchmark" "${cmake_deps[@]}" -Wno-dev -DBENCHMARK_ENABLE_TESTING=OFF \
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF -DBUILD_SHARED_LIBS=OFF -DGIT_VERSION=0.0.0 >/dev/null
  cmake --build "$deps/build/benchmark" -j2 --target install >/dev/null
}

build_jpeg
build_png
build_gif
build_gtest
bench=OFF
if [ -n "${QUIPIX_WIN_BENCH:-}" ]; then
  build_benchmark
  bench=ON
fi

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQUIPIX_WIN_DEPS="$prefix" \
  -DZLIB_LIBRARY=$mingw/lib/libz.a -DZLIB_INCLUDE_DIR=$mingw/include -DQUIPIX_BENCH=$bench -DQUIPIX_WERROR=${QUIPIX_WERROR:-OFF} \
  "${launcher[@]}" >/dev/null
cmake --build "$out" -j2

# QuipixSetup.exe around the given Quipix.scr. The data files are listed one by one
# for the installer script, so that its uninstaller removes exactly those and nothing
# a user added beside them.
build_installer() {
  local scr=$1 list=$out/installer/files.nsh f
  mkdir -p "$out/installer"
  {
    echo '!macro QuipixDataFiles ACTION'
    for f in help/* jokes/*.txt; do
      [ -f "$f" ] && echo "  !insertmacro \${ACTION} \"${f%%/*}\" \"${f#*/}\""
    done
    echo '!macroend'
  } >"$list"
  # The version numbers the build made from the project version.
  version() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$out/version/quipix_version.h"; }
  makensis -V2 -DQUIPIX_SCR="$scr" -DQUIPIX_ROOT="$root" -DQUIPIX_FILES="$list" \
    -DQUIPIX_VERSION="$(version QUIPIX_VERSION)" -DQUIPIX_VERSION_QUAD="$(version QUIPIX_VERSION_QUAD)" \
    -DOUTFILE="$out/QuipixSetup.exe" win32/installer/quipix.nsi
}
build_installer "$out/Quipix.scr"

if [ -n "${QUIPIX_WIN_TEST:-}" ]; then
  . scripts/lib/wine-env.sh
  ctest --test-dir "$out" -j2 --output-on-failure --timeout 300
fi
