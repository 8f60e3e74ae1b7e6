# Checks what the built library shows the loader:
# - it exports exactly the 25 allocator functions of the exports header, under their plain names;
# - a DLL (given -DOBJDUMP) is PE32+ and imports exactly the DLLs -DIMPORTS=<dll;...> names (spelt as
#   objdump prints them), so it needs no runtime DLLs beside it;
# - with -DNO_INITIALIZERS=ON, its .CRT section is all zero: loading it runs no code of its own.
# cmake -DLIBRARY=<file> -DEXPORTS_HEADER=<exports.h> [-DOBJDUMP=<objdump> -DIMPORTS=<dll;...>
#       [-DNO_INITIALIZERS=ON]] -P check_library_tables.cmake
# SPDX-License-Identifier: MIT

include(${CMAKE_CURRENT_LIST_DIR}/script_support.cmake)

file(READ "${EXPORTS_HEADER}" header)
string(REGEX MATCHALL "X\\(Kivo[A-Za-z0-9_]+\\)" entries "${header}")
list(TRANSFORM entries REPLACE "X\\(([A-Za-z0-9_]+)\\)" "\\1")
list(SORT entries)
list(LENGTH entries count)

if(OBJDUMP)
  run("${OBJDUMP}" -p "${LIBRARY}")
  # The name table: "[ index] name" rows after the "[Ordinal/Name Pointer] Table" heading.
  string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" names "${run_output}")
  string(REGEX MATCHALL "^(\t\\[ *[0-9]+\\] [^\n]+\n)+" names "${names}")
  string(REGEX MATCHALL "\\] [^\n]+" exported "${names}")
  list(TRANSFORM exported REPLACE "\\] " "")
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${run_output}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  list(SORT imports)
  list(SORT IMPORTS)
  if(NOT run_output MATCHES "Magic[ \t]+020b" OR NOT imports STREQUAL IMPORTS)
    message(FATAL_ERROR "${LIBRARY} must be PE32+ importing exactly ${IMPORTS}: ${imports}")
  endif()
else()
  run(nm -D --defined-only "${LIBRARY}")
  # Version-script nodes show up as absolute (A) symbols; they are not entry points.
  string(REGEX MATCHALL "[0-9a-f]+ [B-Zab-z] [^\n]+" exported "${run_output}")
  list(TRANSFORM exported REPLACE "[0-9a-f]+ . " "")
endif()
list(SORT exported)
# The header's list must hold all 25, or a parse that finds none would match a library without any.
if(NOT exported STREQUAL entries OR NOT count EQUAL 25)
  message(FATAL_ERROR "exports differ\n  found: ${exported}\n  expected 25: ${entries}")
endif()

if(NO_INITIALIZERS)
  run("${OBJDUMP}" -s -j .CRT "${LIBRARY}")
  # Rows: " <address> <up to four words of hex>  <the same bytes as text>".
  string(REGEX MATCHALL "\n [0-9a-f]+ [0-9a-f ]+  " rows "${run_output}")
  list(TRANSFORM rows REPLACE "\n [0-9a-f]+ " "")
  list(FILTER rows EXCLUDE REGEX "^[0 ]+$")
  if(NOT run_output MATCHES "Contents of section .CRT" OR rows)
    message(FATAL_ERROR "${LIBRARY} lacks a .CRT section or lists a dynamic initialiser: ${rows}")
  endif()
endif()
message(STATUS "${LIBRARY}: exactly the ${count} allocator functions; imports: ${imports}")
