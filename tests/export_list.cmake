# Helpers of the export-table checks: the list the exports header promises, and the comparison.

# Sets <out> to the sorted allocator names listed in <header>; there must be 25.
function(kivo_expected_exports header out)
  file(READ "${header}" text)
  string(REGEX MATCHALL "X\\(Kivo[A-Za-z0-9_]+\\)" entries "${text}")
  set(names "")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "X\\(([A-Za-z0-9_]+)\\)" "\\1" name "${entry}")
    list(APPEND names "${name}")
  endforeach()
  list(SORT names)
  list(LENGTH names count)
  if(NOT count EQUAL 25)
    message(FATAL_ERROR "expected 25 exports in ${header}, found ${count}")
  endif()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Fails, naming the differences, unless the sorted lists <actual> and <expected> are equal.
function(kivo_compare_exports actual expected what)
  if(NOT actual STREQUAL expected)
    set(extra ${actual})
    list(REMOVE_ITEM extra ${expected})
    set(missing ${expected})
    list(REMOVE_ITEM missing ${actual})
    message(FATAL_ERROR "${what} differ\n  unexpected: ${extra}\n  missing: ${missing}")
  endif()
endfunction()
