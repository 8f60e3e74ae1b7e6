# The `docs` target: the reference documentation of the public headers, and docs/THREADS.md, with
# Doxygen (Debian: doxygen). Any warning fails the target, an undocumented public member included.
# SPDX-License-Identifier: MIT

find_program(KIVO_DOXYGEN doxygen DOC "Doxygen, for the reference documentation (target docs)")
if(NOT KIVO_DOXYGEN)
  return()
endif()
set(KIVO_DOCS_OUTPUT_DIR ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${KIVO_DOCS_OUTPUT_DIR}/Doxyfile @ONLY)
add_custom_target(docs
  COMMAND ${KIVO_DOXYGEN} ${KIVO_DOCS_OUTPUT_DIR}/Doxyfile
  COMMENT "Reference documentation in ${KIVO_DOCS_OUTPUT_DIR}/html/index.html"
  VERBATIM)
