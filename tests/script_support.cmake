# Helpers for the test scripts run with cmake -P.
# SPDX-License-Identifier: MIT

# Runs a command; fails with its output unless it exits with 0, else leaves that output in
# run_output.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${result}):\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

# Fails unless every regular expression after `text` matches it.
function(expect what text)
  foreach(pattern IN LISTS ARGN)
    if(NOT text MATCHES "${pattern}")
      message(FATAL_ERROR "${what} lacks ${pattern}:\n${text}")
    endif()
  endforeach()
endfunction()
