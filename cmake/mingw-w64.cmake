# The part both Windows toolchain files share: Debian's MinGW-w64 for
# CMAKE_SYSTEM_PROCESSOR (posix threads, for std::thread and std::mutex).
# QUIPIX_WIN_DEPS is the prefix of that architecture's libraries built by
# scripts/build-windows.sh (libjpeg-turbo, libpng, giflib, GoogleTest).
set(CMAKE_SYSTEM_NAME Windows)
set(QUIPIX_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${QUIPIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUIPIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUIPIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUIPIX_MINGW_TRIPLE} ${QUIPIX_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static everything: Quipix.scr must run without MinGW's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests and tools run under Wine on the build machine, through the loader of their
# own architecture: Debian's `wine` starts the 32-bit loader wherever wine32 is
# installed, even for a 64-bit program, and a host that cannot execute 32-bit
# programs has none at all.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QUIPIX_WINE_LOADER /usr/lib/wine/wine64)
else()
  set(QUIPIX_WINE_LOADER /usr/lib/wine/wine)
endif()
if(NOT EXISTS ${QUIPIX_WINE_LOADER})
  set(QUIPIX_WINE_LOADER wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUIPIX_WINE_LOADER})
