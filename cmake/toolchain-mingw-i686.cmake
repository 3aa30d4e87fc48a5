# Cross-compiles the 32-bit Windows DLLs with Debian's MinGW-w64
# (g++-mingw-w64-i686-posix, mingw-w64-i686-dev).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(EPUB_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
