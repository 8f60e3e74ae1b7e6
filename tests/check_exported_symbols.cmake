# Fails unless the library's dynamic symbol table defines exactly the allocator functions
# listed in the exports header. Run with -DLIBRARY=<file> -DEXPORTS_HEADER=<file>.
include("${CMAKE_CURRENT_LIST_DIR}/export_list.cmake")
kivo_expected_exports("${EXPORTS_HEADER}" expected)
list(LENGTH expected expected_count)

execute_process(COMMAND nm -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE table RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" rows "${table}")
set(actual "")
foreach(row IN LISTS rows)
  # Version-script nodes show up as absolute symbols; they are not entry points.
  if(row MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^ ]+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND actual "${CMAKE_MATCH_2}")
  endif()
endforeach()
list(SORT actual)

kivo_compare_exports("${actual}" "${expected}" "exported symbols")
message(STATUS "exactly the ${expected_count} allocator functions are exported")
