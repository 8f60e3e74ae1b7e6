#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, if any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 clang-format-14 binutils pkg-config libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev nlohmann-json3-dev libc++-14-dev libc++abi-14-dev gdb
  g++-mingw-w64-x86-64-posix wine64 libwine-dev lld-14 llvm-14 gcovr doxygen
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done

if ((${#missing[@]} > 0)); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "error: missing packages: ${missing[*]}; run as root or install them with apt-get" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
