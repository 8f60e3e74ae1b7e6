#!/usr/bin/env bash
# Builds the library from nothing and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== format"
git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format-14 --dry-run --Werror

echo "== gcc"
cmake --workflow --preset gcc --fresh

echo "== docs (the public headers' reference; any Doxygen warning fails)"
cmake --build --preset gcc --target docs

echo "== mingw (Windows x64 DLL cross-built, tests under Wine)"
scripts/wine-run.sh --prefix build/mingw/wineprefix --boot
cmake --workflow --preset mingw --fresh

echo "== msvc (Windows x64 DLL in the MSVC C++ ABI, its tables, a Visual C++-style client under Wine)"
scripts/wine-run.sh --prefix build/msvc/wineprefix --boot
cmake --workflow --preset msvc --fresh

# The same suite built by Clang, then under the sanitizers (tests only, no examples or benchmarks).
for preset in clang asan tsan; do
  echo "== ${preset}"
  cmake --workflow --preset "${preset}" --fresh
done

echo "== fuzz (each fuzzer on its seed corpus, then 30 s of libFuzzer)"
cmake --workflow --preset fuzz --fresh
