# Runs the demo and checks that each plugin kept its own standard library and that the record
# carries both plugins' work.
# cmake -DHOST=<host> -DLIBCXX_PLUGIN=<.so> -DLIBSTDCXX_PLUGIN=<.so> -DREADELF=<readelf> -P demo_test.cmake
# SPDX-License-Identifier: MIT

include(${CMAKE_CURRENT_LIST_DIR}/script_support.cmake)

# Each plugin links its own standard library and not the other, and neither links the library:
# they reach it through the host's exports.
set(plugins LIBCXX_PLUGIN LIBSTDCXX_PLUGIN)
set(own_libraries "libc\\+\\+\\.so" "libstdc\\+\\+\\.so")
set(other_libraries "libstdc\\+\\+" "libc\\+\\+\\.so")
foreach(plugin own other IN ZIP_LISTS plugins own_libraries other_libraries)
  run(${READELF} -d ${${plugin}})
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*" needs "${run_output}")
  list(TRANSFORM needs REPLACE ".*\\[(.*)\\].*" "\\1")
  if(NOT needs MATCHES "${own}" OR needs MATCHES "${other}|KivoContainersLib")
    message(FATAL_ERROR "${plugin} links the wrong libraries: ${needs}")
  endif()
endforeach()

run(${HOST} ${LIBCXX_PLUGIN} ${LIBSTDCXX_PLUGIN})

# Each line the record must hold: the producer's values, the transformer's changes, and which
# standard library each plugin was built with.
expect("the demo output" "${run_output}"
  "ran producer \\(Clang [0-9.]+ with libc\\+\\+ [0-9]+\\)"
  "ran transformer \\(GCC [0-9.]+ with libstdc\\+\\+ [0-9]+\\)"
  "\"name\": \"GREENHOUSE 7\""
  "\"id\": 4711"
  "\"temperature_c\": \\[21.5, 22.25, 23, 22.75\\]"
  "\"mean\": 22.375"
  "\"samples\": 4"
  "\"on_call\": true"
  "\"checked\"\n"
  "\"produced_by\": \"producer plugin, Clang [0-9.]+ with libc\\+\\+"
  "\"transformed_by\": \"transformer plugin, GCC [0-9.]+ with libstdc\\+\\+")
