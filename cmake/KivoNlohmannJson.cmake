# kivo_nlohmann_json: nlohmann::json's headers for the client layer's JSON tests and fuzzer.
# SPDX-License-Identifier: MIT
# The headers are the same for every target, so a cross build takes the build machine's, copied
# apart so that the build machine's other headers stay out of the target's include path.
include_guard(GLOBAL)
find_path(KIVO_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp NO_CMAKE_FIND_ROOT_PATH
  DOC "Where nlohmann/json.hpp lives (Debian: nlohmann-json3-dev)")
if(NOT KIVO_NLOHMANN_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp not found; see scripts/install-deps.sh")
endif()
file(COPY ${KIVO_NLOHMANN_JSON_INCLUDE}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/nlohmann-json)
add_library(kivo_nlohmann_json INTERFACE)
target_include_directories(kivo_nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/nlohmann-json)
