# Cross-build for 64-bit Windows in the MSVC C++ ABI (the ABI of Visual C++ and clang-cl hosts),
# from Debian packages only: clang-14 for x86_64-pc-windows-msvc, lld-link, Wine's C run-time and
# Windows headers (libwine-dev), libc++-14's headers. Runs under Wine.
# SPDX-License-Identifier: MIT
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

# The library's own start-up and C++ run-time layer (src/msvc) replaces the Visual C++ static
# run-time; this toolchain turns it on.
set(KIVO_MSVC_ABI ON)

set(KIVO_MSVC_TARGET x86_64-pc-windows-msvc)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${KIVO_MSVC_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${KIVO_MSVC_TARGET})
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
set(CMAKE_RC_COMPILER llvm-rc-14)
set(CMAKE_OBJDUMP objdump)
set(KIVO_DLLTOOL llvm-dlltool-14)
# No run-time libraries exist to link a test program against while CMake probes the compiler.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

get_filename_component(KIVO_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(KIVO_WINE_INCLUDE /usr/include/wine/wine)
execute_process(COMMAND clang++-14 -print-resource-dir
  OUTPUT_VARIABLE KIVO_CLANG_RESOURCE_DIR OUTPUT_STRIP_TRAILING_WHITESPACE)

# Only these headers, in this order: the configuration shim for libc++ and the vcruntime classes,
# libc++, small additions to Wine's C headers, the compiler's own, then Wine's C run-time and
# Windows headers. _InterlockedCompareExchange128 of Wine's winnt.h clashes with a clang builtin.
# An empty _CRTIMP declares the C run-time's functions without dllimport, so that their addresses
# (the library's heap functions, malloc and free) are link-time constants reached through import
# thunks: taken from the import table, they would make a static a dynamic initialiser.
set(KIVO_MSVC_FLAGS
  -fms-compatibility-version=19.29 -fms-extensions -fexceptions -fcxx-exceptions -nostdinc
  -isystem ${KIVO_SOURCE_ROOT}/src/msvc/include
  -isystem /usr/lib/llvm-14/include/c++/v1
  -isystem ${KIVO_SOURCE_ROOT}/src/msvc/include/crt
  -isystem ${KIVO_CLANG_RESOURCE_DIR}/include
  -isystem ${KIVO_WINE_INCLUDE}/msvcrt
  -isystem ${KIVO_WINE_INCLUDE}/windows
  -D_UCRT -D_CRTIMP= -DNOMINMAX -D_InterlockedCompareExchange128=wine_InterlockedCompareExchange128)
list(JOIN KIVO_MSVC_FLAGS " " KIVO_MSVC_FLAGS)
set(CMAKE_C_FLAGS_INIT "${KIVO_MSVC_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KIVO_MSVC_FLAGS}")
# The compiler drives the link with the same flags; the header options mean nothing there.
set(CMAKE_EXE_LINKER_FLAGS_INIT -Wno-unused-command-line-argument)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -Wno-unused-command-line-argument)
# Every module names its entry point and its import libraries itself (src/msvc).
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_MSVC_RUNTIME_LIBRARY "")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest runs the programs built here through Wine, with a prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${KIVO_SOURCE_ROOT}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
