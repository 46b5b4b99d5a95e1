# Cross-builds the 32-bit Windows program (for 32-bit Windows, and for the Windows
# 95/98 password path, which only a 32-bit Windows can report).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
