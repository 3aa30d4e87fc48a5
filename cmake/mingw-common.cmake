# What both MinGW-w64 toolchain files share; they set EPUB_MINGW_PREFIX (the
# target triple) and CMAKE_SYSTEM_PROCESSOR, then include this file.
#
# The posix-threads compilers: their libstdc++ has std::thread and
# std::recursive_mutex on winpthreads. The GCC runtime, libstdc++ and
# winpthreads are linked statically, so the DLLs need nothing beyond
# Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${EPUB_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${EPUB_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${EPUB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${EPUB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the driver take every library it adds itself from its
# archive, winpthread included (the posix runtime would otherwise import
# libwinpthread-1.dll); Windows' own DLLs are still reached through their
# import libraries.
set(EPUB_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${EPUB_MINGW_STATIC_RUNTIME}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${EPUB_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${EPUB_MINGW_STATIC_RUNTIME}")
