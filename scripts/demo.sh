#!/usr/bin/env bash
# Builds the library and the demo, then runs it: a host and two plugins built with different
# compilers and standard libraries (Clang 14 with libc++, GCC with libstdc++) share one record.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset gcc >/dev/null
if ! cmake --build --preset gcc --target kivo_demo_host; then
  echo "error: the demo did not build; it needs clang++-14 with libc++ (scripts/install-deps.sh" \
    "installs them when run as root)" >&2
  exit 1
fi
build/gcc/examples/demo/kivo_demo_host
