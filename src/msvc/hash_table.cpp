// The out-of-line piece of libc++'s hash tables, which its headers declare and its own DLL would
// define: the bucket count after a growth is the smallest prime not below the asked count.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <unordered_map>

_LIBCPP_BEGIN_NAMESPACE_STD

size_t __next_prime(size_t n) {
  auto is_prime = [](size_t candidate) {
    if (candidate < 4) return candidate >= 2;
    if (candidate % 2 == 0 || candidate % 3 == 0) return false;
    for (size_t divisor = 5; divisor <= candidate / divisor; divisor += 6) {
      if (candidate % divisor == 0 || candidate % (divisor + 2) == 0) return false;
    }
    return true;
  };
  while (!is_prime(n)) ++n;
  return n;
}

_LIBCPP_END_NAMESPACE_STD
