# Fails when the DLL imports from any DLL but the system's own, so that it needs no runtime DLLs
# (libstdc++, libgcc, winpthread) beside it. Run with -DLIBRARY=<dll> -DOBJDUMP=<objdump>; with
# -DEXPECTED=<dll;dll...> the DLL must be PE32+ and import exactly those DLLs, in any order.
#
# Allowed, compared without case:
#   KERNEL32.dll              the loader (DisableThreadLibraryCalls), threads and synchronisation
#                             behind the statically linked GCC runtime
#   msvcrt.dll                the C runtime mingw-w64 targets by default: malloc/free and stdio
#   ucrtbase.dll,             the same C runtime for toolchains configured for the Universal CRT
#   api-ms-win-crt-*.dll
set(allowed_patterns "^kernel32\\.dll$" "^msvcrt\\.dll$" "^ucrtbase\\.dll$"
  "^api-ms-win-crt-[a-z0-9-]+\\.dll$")

execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
  OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "no import table found in ${LIBRARY}")
endif()
set(imports "")
set(foreign "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
  list(APPEND imports "${dll}")
  string(TOLOWER "${dll}" lower)
  set(known FALSE)
  foreach(pattern IN LISTS allowed_patterns)
    if(lower MATCHES "${pattern}")
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    list(APPEND foreign "${dll}")
  endif()
endforeach()

if(DEFINED EXPECTED)
  string(TOLOWER "${imports}" actual)
  string(TOLOWER "${EXPECTED}" expected)
  list(SORT actual)
  list(SORT expected)
  if(NOT dump MATCHES "Magic[ \t]+020b")
    message(FATAL_ERROR "${LIBRARY} is not PE32+")
  endif()
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "the DLL imports ${imports}, expected exactly ${EXPECTED}")
  endif()
elseif(foreign)
  message(FATAL_ERROR "the DLL imports non-system DLLs: ${foreign}\n"
    "  link the GCC runtime statically (-static) so the DLL stands alone")
endif()
message(STATUS "imports only system DLLs: ${imports}")
