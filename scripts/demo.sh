#!/usr/bin/env bash
# Builds the library and runs the example program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset gcc >/dev/null
cmake --build --preset gcc --target string_example
build/gcc/examples/string_example
