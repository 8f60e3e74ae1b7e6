# Sanitizer and fuzzing builds: instrument every target of the project the same way.
# SPDX-License-Identifier: MIT

set(KIVO_SANITIZE "" CACHE STRING
  "Sanitizers to build every target with, e.g. 'address;undefined' or 'thread' (Clang or GCC)")
option(KIVO_FUZZ "Build the fuzzers with libFuzzer (Clang) and run them for a bounded time" OFF)

# kivo_enable_sanitizers(): compiles and links every target defined from here on, in this
# directory and below, with the sanitizers of KIVO_SANITIZE. With KIVO_FUZZ the code also gets
# libFuzzer's coverage hooks; the fuzz targets link libFuzzer's main themselves.
function(kivo_enable_sanitizers)
  set(sanitizers ${KIVO_SANITIZE})
  if(KIVO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      message(FATAL_ERROR "KIVO_FUZZ needs Clang (libFuzzer); configure with the fuzz preset")
    endif()
    list(APPEND sanitizers fuzzer-no-link)
  endif()
  if(NOT sanitizers)
    return()
  endif()
  if(MSVC)
    message(FATAL_ERROR "KIVO_SANITIZE is supported with Clang and GCC only")
  endif()
  list(JOIN sanitizers "," joined)
  # Every report ends the process, so a test that triggers one fails instead of logging.
  add_compile_options(-fsanitize=${joined} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${joined})
endfunction()
