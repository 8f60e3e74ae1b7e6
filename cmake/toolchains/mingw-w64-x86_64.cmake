# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads variant); run under Wine.
# SPDX-License-Identifier: MIT
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KIVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVO_MINGW_TRIPLE}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${KIVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Executables carry their own copy of the GCC runtime, so Wine runs them without being told where
# the mingw runtime DLLs live. (The library itself is linked the same way by its own target.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# CTest runs the programs built here through Wine, with a prefix inside the build tree.
get_filename_component(KIVO_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${KIVO_SOURCE_ROOT}/scripts/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
