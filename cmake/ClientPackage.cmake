# What a client's build finds in the install: obzevevevuvad.pc for pkg-config,
# and the CMake package OBZeveVevuVAD (its configuration, its version file
# and the exported targets OBZeveVevuVAD::client and OBZeveVevuVAD::comrt).
# Both name their folders relative to their own location, so the install
# works wherever it is moved.
include(CMakePackageConfigHelpers)

set(obz_pc_dir ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH OBZ_PC_TO_PREFIX ${obz_pc_dir} ${CMAKE_INSTALL_PREFIX})
file(RELATIVE_PATH OBZ_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH OBZ_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/obzevevevuvad.pc.in ${CMAKE_BINARY_DIR}/obzevevevuvad.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/obzevevevuvad.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT obzevevevuvad)

set(obz_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/OBZeveVevuVAD)
install(EXPORT OBZeveVevuVADTargets NAMESPACE OBZeveVevuVAD:: DESTINATION ${obz_package_dir}
  COMPONENT obzevevevuvad)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OBZeveVevuVADConfig.cmake.in
  ${CMAKE_BINARY_DIR}/OBZeveVevuVADConfig.cmake INSTALL_DESTINATION ${obz_package_dir}
  PATH_VARS CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_BINDIR)
# A client asking for 1.x accepts every 1.y.z.n.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OBZeveVevuVADConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OBZeveVevuVADConfig.cmake ${CMAKE_BINARY_DIR}/OBZeveVevuVADConfigVersion.cmake
  DESTINATION ${obz_package_dir} COMPONENT obzevevevuvad)
