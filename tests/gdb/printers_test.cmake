# Runs gdb in batch mode on the printer program and checks what `print` shows for each object.
# cmake -DGDB=<gdb> -DPROGRAM=<program> -DPRINTERS=<kivo_printers.py> -DCOMMANDS=<commands.gdb>
#       -P printers_test.cmake
# With -DBUILD_DIR=<build> -DPREFIX=<scratch> -DLIBDIR=<lib dir below the prefix> instead of
# PRINTERS, it installs the build into PREFIX and runs the program on the installed library, with
# no `source`: the printers must come from the installed auto-load script (the build tree's
# library has none beside it).
# SPDX-License-Identifier: MIT

if(DEFINED PREFIX)
  file(REMOVE_RECURSE ${PREFIX})
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_QUIET RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "installing ${BUILD_DIR} into ${PREFIX} failed")
  endif()
  set(ENV{LD_LIBRARY_PATH} ${PREFIX}/${LIBDIR})
  set(load -iex "add-auto-load-safe-path ${PREFIX}")
else()
  set(load -ex "source ${PRINTERS}")
endif()

execute_process(
  COMMAND ${GDB} -batch -nx ${load} -x ${COMMANDS} ${PROGRAM}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result)
message(STATUS "gdb output:\n${output}${errors}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gdb failed (${result})")
endif()
if("${output}${errors}" MATCHES "Python Exception|warning: RTTI|<[a-z ]+ without [a-z]+ field>")
  message(FATAL_ERROR "the printers failed on an object")
endif()

set(expected
  "=== text\n\\$1 = \"hello gdb\"\n"
  "=== numbers\n\\$2 = TypedVectorObject<int> of length 3 = {1, 2, 3}\n"
  "=== record\n\\$3 = record with 4 members = {\\[\"an empty record, keyed long\"\\] = record with 0 members, \\[\"data\"\\] = record with 2 members = {\\[\"count\"\\] = -2, \\[\"values\"\\] = TypedVectorObject<double> of length 2 = {1.5, 2.5}}, \\[\"name\"\\] = \"a probe with a long name\", \\[\"tags\"\\] = TypelessVectorObject of length 2 = {\"a\", true}}\n"
  "=== owner\n\\$4 = \"hello gdb\"\n")
foreach(pattern IN LISTS expected)
  if(NOT output MATCHES "${pattern}")
    message(FATAL_ERROR "gdb's output lacks ${pattern}")
  endif()
endforeach()
