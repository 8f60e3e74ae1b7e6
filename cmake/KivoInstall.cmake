# Install rules: the library with its SONAME, the public headers (the client layer included), a
# CMake package (find_package(KivoContainersLib) gives Kivo::ContainersLib) and a pkg-config file.
# SPDX-License-Identifier: MIT

include(CMakePackageConfigHelpers)

set(KIVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/KivoContainersLib
  CACHE STRING "Where the CMake package files go, relative to the prefix")
set(KIVO_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  CACHE STRING "Where the pkg-config file goes, relative to the prefix")

set_target_properties(KivoContainersLib PROPERTIES EXPORT_NAME ContainersLib)
install(TARGETS KivoContainersLib EXPORT KivoContainersLibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kivo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT KivoContainersLibTargets
  NAMESPACE Kivo::
  DESTINATION ${KIVO_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KivoContainersLibConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KivoContainersLibConfig.cmake
  INSTALL_DESTINATION ${KIVO_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KivoContainersLibConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/KivoContainersLibConfig.cmake
  ${PROJECT_BINARY_DIR}/KivoContainersLibConfigVersion.cmake
  DESTINATION ${KIVO_INSTALL_CMAKEDIR})

# The .pc file finds the prefix from its own place, so `cmake --install --prefix` may move it.
file(RELATIVE_PATH KIVO_PC_PREFIX_FROM_PCFILEDIR
  /prefix/${KIVO_INSTALL_PKGCONFIGDIR} /prefix)
string(REGEX REPLACE "/$" "" KIVO_PC_PREFIX_FROM_PCFILEDIR "${KIVO_PC_PREFIX_FROM_PCFILEDIR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/kivo-containers-lib.pc.in
  ${PROJECT_BINARY_DIR}/kivo-containers-lib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kivo-containers-lib.pc
  DESTINATION ${KIVO_INSTALL_PKGCONFIGDIR})
