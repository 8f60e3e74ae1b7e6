// CallSlot: calls a virtual operation by its position in the object's table, as a client built
// with another compiler does.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstring>

namespace kivo::testing {

// Calls entry `slot` of object's virtual table as a function R(object, args...).
// NOTE: valid for the Itanium C++ ABI that GCC, Clang and mingw-w64 use.
template <class R, class... Args>
R CallSlot(const void* object, std::size_t slot, Args... args) {
  using Function = R (*)(const void*, Args...);
  const void* const* table = nullptr;
  std::memcpy(&table, object, sizeof(table));
  Function function = nullptr;
  std::memcpy(&function, &table[slot], sizeof(function));
  return function(object, args...);
}

}  // namespace kivo::testing
