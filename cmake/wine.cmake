# Cross-built Windows test programs run under Wine: wine64 for an x86-64
# build, wine (a 32-bit Wine) for an i686 one. Every test runs in the
# build's own prefix (build/<preset>/wineprefix), which the first test,
# wine_create, creates afresh with a wineserver that stays up between the
# programs; the last one, wine_stop, stops that server. No display is
# needed: DISPLAY is unset, Wine's debug output is off and the Mono and Gecko
# installers that a new prefix would offer are disabled.
#
# WINEARCH fixes the prefix's kind: left unset, the 32-bit loader makes a
# 64-bit prefix whenever wine64 is installed too, and a 32-bit one
# otherwise. An i686 build gets a plain 32-bit prefix, which needs only
# wine32, whatever else is installed.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(EPUB_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(EPUB_WINE NAMES wine64)
  set(EPUB_WINEARCH win64)
else()
  find_program(EPUB_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(EPUB_WINE NAMES wine)
  set(EPUB_WINEARCH win32)
endif()
find_program(EPUB_WINESERVER NAMES wineserver wineserver64 wineserver32 PATHS /usr/lib/wine)
if(NOT EPUB_WINE OR NOT EPUB_WINESERVER)
  message(FATAL_ERROR "Wine (${CMAKE_SIZEOF_VOID_P}-byte pointers) not found: the Windows "
                      "tests run under it (run scripts/setup.sh, or EPUB_BUILD_TESTS=OFF)")
endif()

set(EPUB_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(EPUB_WINE_ENV ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                  WINEPREFIX=${EPUB_WINEPREFIX} WINEARCH=${EPUB_WINEARCH} WINEDEBUG=-all
                  "WINEDLLOVERRIDES=mscoree,mshtml=")
# Read when each executable target is created: add_test(COMMAND target)
# then runs the program through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${EPUB_WINE_ENV} ${EPUB_WINE})

foreach(action create stop)
  add_test(NAME wine_${action}
           COMMAND ${CMAKE_COMMAND} -DACTION=${action} -DWINE=${EPUB_WINE}
                   -DWINESERVER=${EPUB_WINESERVER} -DPREFIX=${EPUB_WINEPREFIX}
                   -DWINEARCH=${EPUB_WINEARCH}
                   -P ${CMAKE_CURRENT_LIST_DIR}/wine_prefix.cmake)
endforeach()
set_tests_properties(wine_create PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Makes every test of the calling folder run in the prefix.
function(epub_wine_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  list(REMOVE_ITEM tests wine_create wine_stop)
  if(tests)
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()
