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

echo "== docs (the public headers' reference; any Doxygen warning fails)"
cmake --build --preset gcc --target docs

echo "== mingw (Windows x64 DLL cross-built, tests under Wine)"
cmake --preset mingw --fresh >/dev/null
cmake --build --preset mingw
scripts/wine-run.sh --prefix build/mingw/wineprefix --boot
ctest --preset mingw -j2

echo "== msvc (Windows x64 DLL in the MSVC C++ ABI, its tables, a Visual C++-style client under Wine)"
cmake --preset msvc --fresh >/dev/null
cmake --build --preset msvc
scripts/wine-run.sh --prefix build/msvc/wineprefix --boot
ctest --preset msvc

# The same suite built by Clang, then under the sanitizers (tests only, no examples or benchmarks).
for preset in clang asan tsan; do
  echo "== ${preset}"
  cmake --preset "${preset}" --fresh >/dev/null
  cmake --build --preset "${preset}"
  ctest --preset "${preset}" -j2
done

echo "== fuzz (each fuzzer on its seed corpus, then 30 s of libFuzzer)"
cmake --preset fuzz --fresh >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz -j2
