# Installs the build into a fresh prefix, then builds and runs one client through find_package and
# one through pkg-config against it, and the first client again with the library as a subproject.
# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DCXX=<compiler> -DGENERATOR=<generator>
#       -DPLUGIN_SOURCE=<a plugin built against Kivo::Sdk alone>
#       -DLIBDIR=<lib dir below the prefix> -DREADELF=<readelf> -P package_test.cmake
# SPDX-License-Identifier: MIT

set(prefix ${WORK_DIR}/prefix)
set(consumer_source ${CMAKE_CURRENT_LIST_DIR})
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${result}):\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

foreach(file
    ${LIBDIR}/libKivoContainersLib.so.1
    include/kivo/containers/exports.h
    include/kivo/sdk/sdk.h
    ${LIBDIR}/cmake/KivoContainersLib/KivoContainersLibConfig.cmake
    ${LIBDIR}/cmake/KivoContainersLib/KivoContainersLibConfigVersion.cmake
    include/kivo/version.h
    include/kivo/sdk/plugin.h
    ${LIBDIR}/pkgconfig/kivo-containers-lib.pc
    ${LIBDIR}/pkgconfig/kivo-containers-sdk.pc)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "the install lacks ${file}")
  endif()
endforeach()
if(EXISTS ${prefix}/include/internal OR EXISTS ${prefix}/include/kivo/internal)
  message(FATAL_ERROR "private headers were installed")
endif()
run(${READELF} -d ${prefix}/${LIBDIR}/libKivoContainersLib.so)
if(NOT run_output MATCHES "SONAME\\)[^\n]*\\[libKivoContainersLib\\.so\\.1\\]")
  message(FATAL_ERROR "the library's SONAME is not libKivoContainersLib.so.1:\n${run_output}")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${consumer_source} -B ${WORK_DIR}/cmake-consumer -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix}
  -DKIVO_PLUGIN_SOURCE=${PLUGIN_SOURCE})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-consumer)
run(${WORK_DIR}/cmake-consumer/consumer)
message(STATUS "find_package consumer: ${run_output}")

# add_subdirectory: the same client building the library from its source tree
run(${CMAKE_COMMAND} -S ${consumer_source} -B ${WORK_DIR}/subdirectory-consumer -G ${GENERATOR}
  -DCMAKE_CXX_COMPILER=${CXX} -DKIVO_SOURCE_DIR=${consumer_source}/../..
  -DKIVO_PLUGIN_SOURCE=${PLUGIN_SOURCE})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/subdirectory-consumer)
run(${WORK_DIR}/subdirectory-consumer/consumer)
message(STATUS "add_subdirectory consumer: ${run_output}")

# pkg-config
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
# One version everywhere: the header the consumer printed, the CMake package, both .pc files.
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" header_version "${run_output}")
file(READ ${prefix}/${LIBDIR}/cmake/KivoContainersLib/KivoContainersLibConfigVersion.cmake
  config_version)
if(NOT config_version MATCHES "PACKAGE_VERSION \"${header_version}\"")
  message(FATAL_ERROR "the CMake package's version is not ${header_version}")
endif()
foreach(pc kivo-containers-lib kivo-containers-sdk)
  run(pkg-config --modversion ${pc})
  string(STRIP "${run_output}" pc_version)
  if(NOT pc_version STREQUAL header_version)
    message(FATAL_ERROR "${pc}.pc says ${pc_version}, kivo/version.h ${header_version}")
  endif()
endforeach()
message(STATUS "version ${header_version} in the header, the CMake package and pkg-config")
run(pkg-config --cflags --libs kivo-containers-lib)
separate_arguments(flags UNIX_COMMAND "${run_output}")
run(${CXX} -std=c++17 -Wall -Wextra -Wpedantic -Werror ${consumer_source}/main.cpp ${flags}
  -Wl,-rpath,${prefix}/${LIBDIR} -o ${WORK_DIR}/pkg-config-consumer)
run(${WORK_DIR}/pkg-config-consumer)
message(STATUS "pkg-config consumer: ${run_output}")

# The headers-only plugin through pkg-config: no reference to the library may be left.
run(pkg-config --cflags --libs kivo-containers-sdk)
separate_arguments(flags UNIX_COMMAND "${run_output}")
get_filename_component(plugin_dir ${PLUGIN_SOURCE} DIRECTORY)
run(${CXX} -std=c++17 -Wall -Wextra -Wpedantic -Werror -shared -fPIC -I${plugin_dir}
  ${PLUGIN_SOURCE} ${flags} -Wl,--no-undefined -o ${WORK_DIR}/pkg-config-plugin.so)
