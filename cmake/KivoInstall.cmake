# Install rules: the library with its SONAME, the public headers (the client layer included), a
# CMake package (find_package(KivoContainersLib) gives Kivo::ContainersLib and the headers-only
# Kivo::Sdk) and pkg-config files (kivo-containers-lib, kivo-containers-sdk).
# SPDX-License-Identifier: MIT

include(CMakePackageConfigHelpers)

set(KIVO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/KivoContainersLib
  CACHE STRING "Where the CMake package files go, relative to the prefix")
set(KIVO_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  CACHE STRING "Where the pkg-config file goes, relative to the prefix")

set_target_properties(KivoContainersLib PROPERTIES EXPORT_NAME ContainersLib)
set_target_properties(KivoSdk PROPERTIES EXPORT_NAME Sdk)
install(TARGETS KivoContainersLib KivoSdk EXPORT KivoContainersLibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

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
set(KIVO_PC_DL_LIBS "")
if(CMAKE_DL_LIBS)
  set(KIVO_PC_DL_LIBS "-l${CMAKE_DL_LIBS}")
endif()
foreach(pc kivo-containers-lib kivo-containers-sdk)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${KIVO_INSTALL_PKGCONFIGDIR})
endforeach()

# The gdb printers, and the script gdb loads automatically with the library (<file>-gdb.py beside
# the library's real file, the name gdb looks for), which imports them from the data folder.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(KIVO_INSTALL_GDBDIR ${CMAKE_INSTALL_DATADIR}/kivo-containers-lib/gdb)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/gdb/kivo_printers.py DESTINATION ${KIVO_INSTALL_GDBDIR})
  file(RELATIVE_PATH KIVO_GDB_PRINTERS_FROM_LIBDIR
    /prefix/${CMAKE_INSTALL_LIBDIR} /prefix/${KIVO_INSTALL_GDBDIR})
  configure_file(${PROJECT_SOURCE_DIR}/tools/gdb/autoload.py.in
    ${PROJECT_BINARY_DIR}/kivo-gdb-autoload.py @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kivo-gdb-autoload.py
    DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RENAME libKivoContainersLib.so.${PROJECT_VERSION}-gdb.py)
endif()
