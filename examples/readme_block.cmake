# Checks that the README's client-layer block is the code between "// README begin" and
# "// README end" in examples/readme_example.cpp.
# cmake -DREADME=<README.md> -DEXAMPLE=<readme_example.cpp> -P readme_block.cmake
# SPDX-License-Identifier: MIT
file(READ ${EXAMPLE} example)
string(REGEX REPLACE ".*// README begin\n" "" block "${example}")
string(REGEX REPLACE "// README end.*" "" block "${block}")
file(READ ${README} readme)
string(FIND "${readme}" "```cpp\n${block}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show the block of ${EXAMPLE}; copy it over")
endif()
