# Fails when the DLL lists a dynamic initialiser (a non-null entry in its .CRT section): loading the
# library must run no code of its own. Run with -DLIBRARY=<dll> -DOBJDUMP=<objdump>.
execute_process(COMMAND "${OBJDUMP}" -s -j .CRT "${LIBRARY}"
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
# Rows of the dump: " <address> <up to four words of hex>  <the same bytes as text>".
string(REGEX MATCHALL "\n [0-9a-f]+ [0-9a-f ]+  " rows "${dump}")
if(NOT status EQUAL 0 OR NOT rows)
  message(FATAL_ERROR "no .CRT section found in ${LIBRARY} (the start-up layer defines one)")
endif()
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\n [0-9a-f]+ " "" words "${row}")
  if(NOT words MATCHES "^[0 ]+$")
    message(FATAL_ERROR "${LIBRARY} has a dynamic initialiser:${row}")
  endif()
endforeach()
