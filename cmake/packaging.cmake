# `cpack -G DEB` in a build folder: one Debian package holding what
# `cmake --install` installs (engine, MuPDF renderer, encoding library,
# headers, pkg-config file, CMake package, sample publication, docs) under
# /usr. Its Depends come from dpkg-shlibdeps on the shipped libraries.
set(CPACK_PACKAGE_NAME epubreader)
set(CPACK_PACKAGE_VENDOR "EpubReader developers")
set(CPACK_PACKAGE_CONTACT "EpubReader developers <epubreader@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reading engine for EPUB publications")
set(CPACK_PACKAGE_DESCRIPTION
    "A shared library that opens EPUB publications through a host's read callback, "
    "lays them out and draws them with a MuPDF-based renderer, with its C header, "
    "pkg-config file, CMake package and a sample publication.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shipped libraries find each other through $ORIGIN; tell dpkg-shlibdeps
# where they lie in the staging tree so it does not look for them elsewhere.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/encoding ${CMAKE_BINARY_DIR}/renderer/mupdf)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
