# Checks what the built library shows the loader:
# - it exports exactly the 25 allocator functions of the exports header, under their plain names;
# - a DLL (given -DOBJDUMP) is PE32+ and imports exactly the DLLs -DIMPORTS=<dll;...> names (by
#   default kernel32 and msvcrt, as the mingw DLL does), so it needs no runtime DLLs beside it;
# - with -DNO_INITIALIZERS=ON, its .CRT section is all zero: loading it runs no code of its own.
# cmake -DLIBRARY=<file> -DEXPORTS_HEADER=<exports.h> [-DOBJDUMP=<objdump> [-DIMPORTS=...]
#       [-DNO_INITIALIZERS=ON]] -P check_library_tables.cmake
# SPDX-License-Identifier: MIT

include(${CMAKE_CURRENT_LIST_DIR}/script_support.cmake)

file(READ "${EXPORTS_HEADER}" header)
string(REGEX MATCHALL "X\\(Kivo[A-Za-z0-9_]+\\)" entries "${header}")
list(TRANSFORM entries REPLACE "X\\(([A-Za-z0-9_]+)\\)" "\\1")
list(SORT entries)
list(LENGTH entries count)
if(NOT count EQUAL 25)
  message(FATAL_ERROR "expected 25 exports in ${EXPORTS_HEADER}, found ${count}")
endif()

if(OBJDUMP)
  run("${OBJDUMP}" -p "${LIBRARY}")
  # The name table: "[ index] name" rows after the "[Ordinal/Name Pointer] Table" heading.
  string(REGEX REPLACE ".*\\[Ordinal/Name Pointer\\] Table\n" "" names "${run_output}")
  string(REGEX MATCHALL "^(\t\\[ *[0-9]+\\] [^\n]+\n)+" names "${names}")
  string(REGEX MATCHALL "\\] [^\n]+" exported "${names}")
  list(TRANSFORM exported REPLACE "\\] " "")
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${run_output}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  if(NOT IMPORTS)
    set(IMPORTS KERNEL32.dll msvcrt.dll)
  endif()
  string(TOLOWER "${imports}" actual)
  string(TOLOWER "${IMPORTS}" allowed)
  list(SORT actual)
  list(SORT allowed)
  if(NOT run_output MATCHES "Magic[ \t]+020b" OR NOT actual STREQUAL allowed)
    message(FATAL_ERROR "${LIBRARY} must be PE32+ importing exactly ${IMPORTS}: ${imports}")
  endif()
else()
  run(nm -D --defined-only "${LIBRARY}")
  # Version-script nodes show up as absolute (A) symbols; they are not entry points.
  string(REGEX MATCHALL "[0-9a-f]+ [B-Zab-z] [^\n]+" exported "${run_output}")
  list(TRANSFORM exported REPLACE "[0-9a-f]+ . " "")
endif()
list(SORT exported)
if(NOT exported STREQUAL entries)
  message(FATAL_ERROR "exports differ\n  found: ${exported}\n  expected: ${entries}")
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
