# Cross-built Windows test programs run under Wine: wine64 for an x86-64
# build, wine (a 32-bit Wine) for an i686 one. Every test runs in the
# build's own prefix (build/<preset>/wineprefix), which the first test,
# wine_create, creates afresh with a wineserver that stays up between the
# programs; the last one, wine_stop, stops that server. No display is
# needed: DISPLAY is unset, Wine's debug output is off and the Mono and Gecko
# installers that a new prefix would offer are disabled.
#
# The 32-bit loader makes a 64-bit prefix, with the 32-bit DLLs in syswow64,
# when wine64 is installed too (setup.sh installs both): a plain 32-bit one
# (WINEARCH=win32) cannot load kernel32 beside the 64-bit wineserver.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(EPUB_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(EPUB_WINE NAMES wine64)
else()
  find_program(EPUB_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(EPUB_WINE NAMES wine)
endif()
find_program(EPUB_WINESERVER NAMES wineserver wineserver64 wineserver32 PATHS /usr/lib/wine)
if(NOT EPUB_WINE OR NOT EPUB_WINESERVER)
  message(FATAL_ERROR "Wine (${CMAKE_SIZEOF_VOID_P}-byte pointers) not found: the Windows "
                      "tests run under it (run scripts/setup.sh, or EPUB_BUILD_TESTS=OFF)")
endif()

# Whether 32-bit programs run through qemu's user-mode emulator, which
# scripts/setup.sh registers where the kernel runs none itself.
set(EPUB_WINE_EMULATED OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND EXISTS /proc/sys/fs/binfmt_misc/qemu-i386)
  file(READ /proc/sys/fs/binfmt_misc/qemu-i386 binfmt)
  if(binfmt MATCHES "^enabled")
    set(EPUB_WINE_EMULATED ON)
  endif()
endif()

set(EPUB_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
# A new prefix is kept as a template, named after the loader's build, and
# copied for the next build's tests: under an emulator, making one takes
# minutes. Empty: every build makes its own.
set(EPUB_WINE_TEMPLATES "$ENV{HOME}/.cache/epubreader" CACHE PATH
    "Where new Wine prefixes are kept for later builds (empty: not kept)")
set(EPUB_WINE_TEMPLATE)
if(EPUB_WINE_TEMPLATES)
  file(TIMESTAMP ${EPUB_WINE} wine_built "%Y%m%d%H%M%S" UTC)
  set(EPUB_WINE_TEMPLATE ${EPUB_WINE_TEMPLATES}/wineprefix-${CMAKE_SIZEOF_VOID_P}-${wine_built})
endif()
set(EPUB_WINE_ENV ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                  WINEPREFIX=${EPUB_WINEPREFIX} WINEDEBUG=-all
                  "WINEDLLOVERRIDES=mscoree,mshtml=")
# Read when each executable target is created: add_test(COMMAND target)
# then runs the program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${EPUB_WINE_ENV} ${EPUB_WINE})

foreach(action create stop)
  add_test(NAME wine_${action}
           COMMAND ${CMAKE_COMMAND} -DACTION=${action} -DWINE=${EPUB_WINE}
                   -DWINESERVER=${EPUB_WINESERVER} -DPREFIX=${EPUB_WINEPREFIX}
                   -DTEMPLATE=${EPUB_WINE_TEMPLATE}
                   -P ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.cmake)
endforeach()
# Where the kernel runs no 32-bit programs itself, 32-bit Wine runs under an
# emulator (qemu-user, registered by scripts/setup.sh): making a prefix then
# takes minutes, and each program a minute to start.
set_tests_properties(wine_create PROPERTIES FIXTURES_SETUP wine TIMEOUT 1500)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Makes every test of the calling folder run in the prefix.
function(epub_wine_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM tests wine_create wine_stop)
  if(tests)
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()
