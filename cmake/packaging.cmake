# `cpack -G DEB` in a build folder: one Debian package holding what
# `cmake --install` installs (engine, MuPDF renderer, encoding library,
# headers, pkg-config file, CMake package, the epubreader command, sample
# publication, docs) under /usr. Its Depends come from dpkg-shlibdeps on the
# shipped libraries and the command.
set(CPACK_PACKAGE_NAME epubreader)
set(CPACK_PACKAGE_VENDOR "EpubReader developers")
set(CPACK_PACKAGE_CONTACT "EpubReader developers <epubreader@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reading engine for EPUB publications")
# The extended description in lines of Debian's width.
set(CPACK_PACKAGE_DESCRIPTION
    "A shared library that opens EPUB publications through a host's read"
    "callback, lays them out and draws them with a MuPDF-based renderer,"
    "with its C header, pkg-config file, CMake package, the epubreader"
    "command and a sample publication.")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The encoding library opens ICU only when a charset other than UTF-8 needs
# it, so dpkg-shlibdeps does not see it: named here, the ICU it was built
# against. CPack adds what dpkg-shlibdeps finds to this.
if(EPUB_ICU_MAJOR)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libicu${EPUB_ICU_MAJOR}")
endif()
# The shipped libraries find each other through $ORIGIN; tell dpkg-shlibdeps
# where they lie in the staging tree so it does not look for them elsewhere.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/encoding ${CMAKE_BINARY_DIR}/renderer/mupdf)
# What Debian's policy asks of a package with shared libraries: a shlibs
# file and the ldconfig trigger; and of a native package, its changelog.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
file(WRITE ${PROJECT_BINARY_DIR}/debian/changelog
     "epubreader (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
     "  * Release ${PROJECT_VERSION}.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  Thu, 01 Jan 2026 00:00:00 +0000\n")
execute_process(COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/debian/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT runtime)
# Installed under /usr itself (staged through DESTDIR), so that files written
# at install time, like the pkg-config file, name the real prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
# Release binaries without their symbol tables: MuPDF linked into the
# renderer makes it 44 MB unstripped.
set(CPACK_STRIP_FILES ON)
include(CPack)
