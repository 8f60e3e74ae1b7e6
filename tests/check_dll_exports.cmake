# Fails unless the DLL's export table names exactly the allocator functions listed in the exports
# header, under their plain names. Run with -DLIBRARY=<dll> -DOBJDUMP=<objdump> -DEXPORTS_HEADER=<file>.
include("${CMAKE_CURRENT_LIST_DIR}/export_list.cmake")
kivo_expected_exports("${EXPORTS_HEADER}" expected)
list(LENGTH expected expected_count)

execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()

# The name table follows the "[Ordinal/Name Pointer] Table" heading, one "[ index] name" row each;
# rows after it that have another shape belong to the next section.
string(REPLACE "\n" ";" rows "${dump}")
set(actual "")
set(in_names FALSE)
foreach(row IN LISTS rows)
  if(row MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND row MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND actual "${CMAKE_MATCH_1}")
  elseif(in_names)
    set(in_names FALSE)
  endif()
endforeach()
list(SORT actual)

kivo_compare_exports("${actual}" "${expected}" "DLL exports")
message(STATUS "exactly the ${expected_count} allocator functions are exported, undecorated")
