# Runs the demo and checks that each plugin kept its own standard library and that the record
# carries both plugins' work.
# cmake -DHOST=<host> -DLIBCXX_PLUGIN=<.so> -DLIBSTDCXX_PLUGIN=<.so> -DREADELF=<readelf> -P demo_test.cmake
# SPDX-License-Identifier: MIT

function(needed_libraries file out)
  execute_process(COMMAND ${READELF} -d ${file}
    OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "readelf -d ${file} failed")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*" entries "${dynamic}")
  list(TRANSFORM entries REPLACE ".*\\[(.*)\\].*" "\\1")
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

needed_libraries(${LIBCXX_PLUGIN} libcxx_needs)
needed_libraries(${LIBSTDCXX_PLUGIN} libstdcxx_needs)
message(STATUS "libc++ plugin needs: ${libcxx_needs}")
message(STATUS "libstdc++ plugin needs: ${libstdcxx_needs}")

if(NOT libcxx_needs MATCHES "libc\\+\\+\\.so")
  message(FATAL_ERROR "the libc++ plugin does not link libc++: ${libcxx_needs}")
endif()
if(libcxx_needs MATCHES "libstdc\\+\\+")
  message(FATAL_ERROR "the libc++ plugin links libstdc++: ${libcxx_needs}")
endif()
if(NOT libstdcxx_needs MATCHES "libstdc\\+\\+\\.so")
  message(FATAL_ERROR "the libstdc++ plugin does not link libstdc++: ${libstdcxx_needs}")
endif()
if("${libcxx_needs};${libstdcxx_needs}" MATCHES "KivoContainersLib")
  message(FATAL_ERROR "a plugin links the library instead of using the host's exports")
endif()

execute_process(COMMAND ${HOST} ${LIBCXX_PLUGIN} ${LIBSTDCXX_PLUGIN}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
message(STATUS "demo output:\n${output}${errors}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the demo host failed (${result})")
endif()

# Each line the record must hold: the producer's values, the transformer's changes, and which
# standard library each plugin was built with.
set(expected
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
foreach(pattern IN LISTS expected)
  if(NOT output MATCHES "${pattern}")
    message(FATAL_ERROR "the demo output lacks ${pattern}")
  endif()
endforeach()
