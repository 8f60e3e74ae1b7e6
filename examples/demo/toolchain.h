// Toolchain(): the compiler and standard library a demo module is built with.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace kivo::demo {

// The compiler and standard library this translation unit is built with.
inline std::string Toolchain() {
  std::string compiler;
#if defined(__clang__)
  compiler = "Clang " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) +
             "." + std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
  compiler = "GCC " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
             std::to_string(__GNUC_PATCHLEVEL__);
#else
  compiler = "an unknown compiler";
#endif
#if defined(_LIBCPP_VERSION)
  return compiler + " with libc++ " + std::to_string(_LIBCPP_VERSION);
#elif defined(_GLIBCXX_RELEASE)
  return compiler + " with libstdc++ " + std::to_string(_GLIBCXX_RELEASE);
#else
  return compiler + " with an unknown standard library";
#endif
}

}  // namespace kivo::demo
