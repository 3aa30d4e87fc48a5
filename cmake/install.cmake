# What `cmake --install` puts under the prefix, for hosts and renderer authors:
#
#   include/epubreader.h                     the engine's C interface
#   include/EpubReader/pendrel.h             the renderer interface
#   include/EpubReader/pendrel_mupdf.h       the MuPDF renderer's records
#   lib/libEpubReader.so.1, libPendrel.so.1 (MuPDF), libVorozoVorevare.so.1
#                                            versioned, each with the run
#                                            path $ORIGIN, so the engine finds
#                                            its renderer and encoding library
#                                            beside itself
#   lib/pkgconfig/EpubReader.pc              pkg-config (with the install prefix)
#   lib/cmake/EpubReader/                    find_package(EpubReader)
#   bin/epubreader                           the command, run path to lib/
#   share/EpubReader/sample.epub             the built-in sample publication
#   share/doc/epubreader/                    copyright, licences, renderer docs,
#                                            reference
# (lib is CMAKE_INSTALL_LIBDIR: lib/<multiarch> on Debian.)
#
# The recording test renderer is never installed: without the MuPDF renderer
# there is no libPendrel to install, and the host brings its own.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The header's version macros must match the project version.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/epubreader.h epub_version_lines
     REGEX "^#define EPUBREADER_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(epub_header_version "")
foreach(line ${epub_version_lines})
  if(line MATCHES "_STRING \"([^\"]*)\"")
    set(epub_header_string ${CMAKE_MATCH_1})
  elseif(line MATCHES "_(MAJOR|MINOR|PATCH) ([0-9]+)")
    set(epub_header_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endif()
endforeach()
if(NOT "${epub_header_MAJOR}.${epub_header_MINOR}.${epub_header_PATCH}" STREQUAL PROJECT_VERSION
   OR NOT "${epub_header_string}" STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/epubreader.h says version ${epub_header_MAJOR}.${epub_header_MINOR}."
                      "${epub_header_PATCH} (\"${epub_header_string}\"), the project ${PROJECT_VERSION}")
endif()

# The same name for projects that build the engine with add_subdirectory.
add_library(EpubReader::EpubReader ALIAS EpubReader)

set(EPUB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/EpubReader)
set(EPUB_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(EPUB_SAMPLE_DIR ${CMAKE_INSTALL_DATADIR}/EpubReader)

# Installed libraries find each other in their own folder.
set(epub_installed_libraries EpubReader VorozoVorevare)
if(TARGET PendrelMupdf)
  list(APPEND epub_installed_libraries PendrelMupdf)
else()
  message(STATUS "No MuPDF renderer: `cmake --install` installs no libPendrel")
endif()
set_target_properties(${epub_installed_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS EpubReader
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
# The renderer and the encoding library get no development symlink: hosts
# link the engine only, and the linker finds the engine's dependencies
# through its run path.
list(REMOVE_ITEM epub_installed_libraries EpubReader)
install(TARGETS ${epub_installed_libraries}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
install(FILES ${PROJECT_SOURCE_DIR}/include/epubreader.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
set(epub_renderer_headers ${PROJECT_SOURCE_DIR}/src/external/pendrel.h)
if(TARGET PendrelMupdf)
  list(APPEND epub_renderer_headers
       ${PROJECT_SOURCE_DIR}/renderer/mupdf/include/EpubReader/pendrel_mupdf.h)
endif()
install(FILES ${epub_renderer_headers}
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/EpubReader COMPONENT development)

if(EPUB_SAMPLE)
  install(FILES ${EPUB_SAMPLE} DESTINATION ${EPUB_SAMPLE_DIR} COMPONENT runtime)
endif()

# CMake package: find_package(EpubReader) gives the imported target
# EpubReader::EpubReader and EpubReader_SAMPLE, the installed sample
# publication. The imported target is written here rather than exported:
# the engine's build targets carry build-only dependencies (the renderer
# interface, the static parts of the engine) that a host never sees.
set(epub_library_file
    ${CMAKE_SHARED_LIBRARY_PREFIX}EpubReader${CMAKE_SHARED_LIBRARY_SUFFIX}.${PROJECT_VERSION})
set(epub_library_soname
    ${CMAKE_SHARED_LIBRARY_PREFIX}EpubReader${CMAKE_SHARED_LIBRARY_SUFFIX}.${PROJECT_VERSION_MAJOR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/EpubReaderConfig.cmake.in
  ${PROJECT_BINARY_DIR}/EpubReaderConfig.cmake INSTALL_DESTINATION ${EPUB_CMAKE_DIR}
  PATH_VARS EPUB_SAMPLE_DIR CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/EpubReaderConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/EpubReaderConfig.cmake
              ${PROJECT_BINARY_DIR}/EpubReaderConfigVersion.cmake
  DESTINATION ${EPUB_CMAKE_DIR} COMPONENT development)

# pkg-config file, written when it is installed, with the prefix it is
# installed under (the .deb's is /usr): the prefix placeholder survives the
# first pass and is filled in by the second.
set(EPUB_PC_PREFIX "@EPUB_PC_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/EpubReader.pc.in ${PROJECT_BINARY_DIR}/EpubReader.pc.in
               @ONLY)
install(CODE "
  set(EPUB_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/EpubReader.pc.in\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${EPUB_PKGCONFIG_DIR}/EpubReader.pc\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${EPUB_PKGCONFIG_DIR}/EpubReader.pc\")"
  COMPONENT development)

# Documentation: the licences of what the renderer links in, the renderer
# interface and, when Doxygen is there, the reference of the public header.
install(FILES ${PROJECT_SOURCE_DIR}/docs/licences.md ${PROJECT_SOURCE_DIR}/docs/renderer-interface.md
              ${PROJECT_SOURCE_DIR}/docs/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
if(TARGET PendrelMupdf)
  install(FILES ${PROJECT_SOURCE_DIR}/renderer/mupdf/README.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME mupdf-renderer.md COMPONENT runtime)
endif()

find_package(Doxygen QUIET)
set(epub_docs_default OFF)
if(DOXYGEN_FOUND)
  set(epub_docs_default ON)
endif()
option(EPUB_BUILD_DOCS "Build the Doxygen reference of the public header" ${epub_docs_default})
if(EPUB_BUILD_DOCS)
  if(NOT DOXYGEN_FOUND)
    message(FATAL_ERROR "EPUB_BUILD_DOCS is ON but Doxygen was not found")
  endif()
  if(EPUB_WERROR)
    set(EPUB_DOXYGEN_WARN_AS_ERROR FAIL_ON_WARNINGS)
  else()
    set(EPUB_DOXYGEN_WARN_AS_ERROR NO)
  endif()
  set(EPUB_DOXYGEN_OUTPUT ${PROJECT_BINARY_DIR}/docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_command(OUTPUT ${EPUB_DOXYGEN_OUTPUT}/html/index.html
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${EPUB_DOXYGEN_OUTPUT}
    COMMAND ${DOXYGEN_EXECUTABLE} ${PROJECT_BINARY_DIR}/Doxyfile
    DEPENDS ${PROJECT_SOURCE_DIR}/include/epubreader.h ${PROJECT_SOURCE_DIR}/src/external/pendrel.h
            ${PROJECT_SOURCE_DIR}/renderer/mupdf/include/EpubReader/pendrel_mupdf.h ${PROJECT_BINARY_DIR}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Doxygen reference of the public header")
  add_custom_target(epub_docs ALL DEPENDS ${EPUB_DOXYGEN_OUTPUT}/html/index.html)
  install(DIRECTORY ${EPUB_DOXYGEN_OUTPUT}/html DESTINATION ${CMAKE_INSTALL_DOCDIR}
    COMPONENT runtime)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
