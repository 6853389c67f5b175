# The Debian package, made by cpack -G DEB from this build:
# obzevevevuvad_VERSION_ARCH.deb in the build folder.
# It holds the whole install for the prefix /usr (the build must be
# configured with -DCMAKE_INSTALL_PREFIX=/usr, so that GNUInstallDirs gives the
# Debian folders, such as lib/x86_64-linux-gnu; cpack refuses any other), the
# licence as /usr/share/doc/obzevevevuvad/copyright, and the dependencies that
# dpkg-shlibdeps (Debian's dpkg-dev) finds for its programs and libraries:
# libsqlite3-0 and libedit2 with the C and C++ runtimes.
set(CPACK_PACKAGE_NAME obzevevevuvad)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The OBZeveVevuVAD developers")
set(CPACK_PACKAGE_CONTACT "The OBZeveVevuVAD developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "automation (COM) component for simple SQLite tables, with its Linux runtime")
set(CPACK_PACKAGE_DESCRIPTION
  "OBZeveVevuVAD64.so is an in-process automation component that lets a program store and read simple tables in SQLite database files through a string-parameter interface, without writing SQL. The package holds the component, libcomrt (the COM, OLE Automation and Win32 functions it and its clients use), the client header and client kit, comrt-regsvr, the shell client obzshell, the example client, the pkg-config file and CMake package, the man pages, the documentation and the examples.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcomrt.so.1 comes with the package: its shlibs file lets other packages
# depend on it, from this version on.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

configure_file(${CMAKE_CURRENT_LIST_DIR}/DebianCopyright.cmake.in ${CMAKE_BINARY_DIR}/DebianCopyright.cmake @ONLY)
set(CPACK_INSTALL_SCRIPTS ${CMAKE_BINARY_DIR}/DebianCopyright.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/DebianPrefix.cmake.in ${CMAKE_BINARY_DIR}/DebianPrefix.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/DebianPrefix.cmake)
include(CPack)
