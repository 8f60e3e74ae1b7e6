# Runs the demo and checks that each plugin kept its own standard library and that the record
# carries both plugins' work.
# cmake -DHOST=<host> -DLIBCXX_PLUGIN=<.so> -DLIBSTDCXX_PLUGIN=<.so> -DREADELF=<readelf> -P demo_test.cmake
# SPDX-License-Identifier: MIT

# Each plugin links its own standard library and not the other, and neither links the library:
# they reach it through the host's exports.
set(plugins LIBCXX_PLUGIN LIBSTDCXX_PLUGIN)
set(own_libraries "libc\\+\\+\\.so" "libstdc\\+\\+\\.so")
set(other_libraries "libstdc\\+\\+" "libc\\+\\+\\.so")
foreach(plugin own other IN ZIP_LISTS plugins own_libraries other_libraries)
  execute_process(COMMAND ${READELF} -d ${${plugin}} OUTPUT_VARIABLE dynamic
    COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*" needs "${dynamic}")
  list(TRANSFORM needs REPLACE ".*\\[(.*)\\].*" "\\1")
  message(STATUS "${plugin} needs: ${needs}")
  if(NOT needs MATCHES "${own}" OR needs MATCHES "${other}|KivoContainersLib")
    message(FATAL_ERROR "${plugin} links the wrong libraries: ${needs}")
  endif()
endforeach()

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
