# Cross-compiles the x86-64 Windows DLLs and test programs with Debian's
# MinGW-w64 (g++-mingw-w64-x86-64-posix, mingw-w64-x86-64-dev); they run
# under wine64 (cmake/wine.cmake). The same sources and Windows APIs as the
# 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(EPUB_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
