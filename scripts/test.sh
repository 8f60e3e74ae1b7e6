#!/usr/bin/env bash
# Builds the library from nothing and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== format"
git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format-14 --dry-run --Werror

echo "== gcc"
cmake --preset gcc --fresh >/dev/null
cmake --build --preset gcc
ctest --preset gcc
