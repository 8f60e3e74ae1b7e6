# Installs the build into a fresh prefix, then builds and runs one client through find_package and
# one through pkg-config against it, and the first client again with the library as a subproject.
# Each installed file the clients need is used by one of them, so a missing one fails its build.
# Given -DGDB, it runs the installed client under gdb twice: once with the printers sourced by
# hand, once with only the auto-load script installed beside the library.
# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DCXX=<compiler> -DGENERATOR=<generator>
#       -DPLUGIN_SOURCE=<a plugin built against Kivo::Sdk alone>
#       -DLIBDIR=<lib dir below the prefix> -DREADELF=<readelf> [-DGDB=<gdb>] -P package_test.cmake
# SPDX-License-Identifier: MIT

set(prefix ${WORK_DIR}/prefix)
set(consumer_source ${CMAKE_CURRENT_LIST_DIR})
file(REMOVE_RECURSE ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/../script_support.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
if(EXISTS ${prefix}/include/internal OR EXISTS ${prefix}/include/kivo/internal)
  message(FATAL_ERROR "private headers were installed")
endif()
run(${READELF} -d ${prefix}/${LIBDIR}/libKivoContainersLib.so)
expect("the library's dynamic section" "${run_output}"
  "SONAME\\)[^\n]*\\[libKivoContainersLib\\.so\\.1\\]")

# The same client found as a package and built with the library as a subproject.
foreach(consumer IN ITEMS "find_package;-DCMAKE_PREFIX_PATH=${prefix}"
    "add_subdirectory;-DKIVO_SOURCE_DIR=${consumer_source}/../..")
  list(POP_FRONT consumer name)
  run(${CMAKE_COMMAND} -S ${consumer_source} -B ${WORK_DIR}/${name} -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DKIVO_PLUGIN_SOURCE=${PLUGIN_SOURCE} ${consumer})
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/${name})
  run(${WORK_DIR}/${name}/consumer)
endforeach()

# One version everywhere: the header the consumer printed, the CMake package, both .pc files. Then
# through pkg-config: the client, and the headers-only plugin, which may keep no reference to the
# library.
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
string(REGEX MATCH "^[0-9]+\\.[0-9]+\\.[0-9]+" version "${run_output}")
file(READ ${prefix}/${LIBDIR}/cmake/KivoContainersLib/KivoContainersLibConfigVersion.cmake
  config_version)
expect("the CMake package's version file" "${config_version}" "PACKAGE_VERSION \"${version}\"")
set(lib_build ${consumer_source}/main.cpp -o ${WORK_DIR}/pkg-config-consumer)
set(sdk_build ${PLUGIN_SOURCE} -shared -fPIC -o ${WORK_DIR}/pkg-config-plugin.so)
foreach(part lib sdk)
  run(pkg-config --modversion kivo-containers-${part})
  expect("kivo-containers-${part}.pc's version" "${run_output}" "^${version}\n$")
  run(pkg-config --cflags --libs kivo-containers-${part})
  separate_arguments(flags UNIX_COMMAND "${run_output}")
  run(${CXX} -std=c++17 -Wall -Wextra -Wpedantic -Werror ${${part}_build} ${flags}
    -Wl,--no-undefined,-rpath,${prefix}/${LIBDIR})
endforeach()
run(${WORK_DIR}/pkg-config-consumer)

if(NOT GDB)
  return()
endif()
set(sourced -iex "set auto-load python-scripts off"
  -ex "source ${consumer_source}/../../tools/gdb/kivo_printers.py")
set(auto_loaded -iex "add-auto-load-safe-path ${prefix}")
foreach(load IN ITEMS sourced auto_loaded)
  run(${GDB} -batch -nx ${${load}} -x ${consumer_source}/commands.gdb
    ${WORK_DIR}/find_package/consumer)
  if(run_output MATCHES "Python Exception|warning: RTTI|<[a-z ]+ without [a-z]+ field>")
    message(FATAL_ERROR "the printers (${load}) failed on an object:\n${run_output}")
  endif()
  expect("gdb's output with the printers ${load}" "${run_output}"
    "=== text\n\\$1 = \"hello gdb\"\n"
    "=== numbers\n\\$2 = TypedVectorObject<int> of length 3 = {1, 2, 3}\n"
    "=== record\n\\$3 = record with 4 members = {\\[\"an empty record, keyed long\"\\] = record with 0 members, \\[\"data\"\\] = record with 2 members = {\\[\"count\"\\] = -2, \\[\"values\"\\] = TypedVectorObject<double> of length 2 = {1.5, 2.5}}, \\[\"name\"\\] = \"a probe with a long name\", \\[\"tags\"\\] = TypelessVectorObject of length 2 = {\"a\", true}}\n"
    "=== owner\n\\$4 = \"hello gdb\"\n")
endforeach()
