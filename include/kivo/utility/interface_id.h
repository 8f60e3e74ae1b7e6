// Type records that name the library's interfaces, and their 32-bit codes.
// SPDX-License-Identifier: MIT
#pragma once

// Every interface of the library, and the pseudo-type void, has one static record: its qualified
// name and a 32-bit code folded from that name at compile time. Two records denote the same type
// exactly when their codes are equal.
//
// NOTE: Each module that includes this header gets records of its own, at addresses of its own.
// Compare records by `code`, never by address or by name.

#include <cstddef>
#include <cstdint>

namespace kivo::utility {

/// The type record of an interface: its qualified name and the code folded from it.
struct InterfaceId {
  const char* name;    ///< qualified interface name, NUL-terminated, static storage
  std::uint32_t code;  ///< NameCode(name)
};

/// The code of a NUL-terminated name: four 8-bit lanes, each byte b[i] of the name and its
/// terminator folded into lane i % 4 as b[i] ^ i, read as a little-endian 32-bit number.
constexpr std::uint32_t NameCode(const char* name) noexcept {
  std::uint8_t lanes[4] = {0, 0, 0, 0};
  for (std::size_t i = 0;; ++i) {
    const auto byte = static_cast<std::uint8_t>(name[i]);
    lanes[i % 4] = static_cast<std::uint8_t>(lanes[i % 4] ^ (byte ^ static_cast<std::uint8_t>(i)));
    if (byte == 0) break;
  }
  return static_cast<std::uint32_t>(lanes[0]) | static_cast<std::uint32_t>(lanes[1]) << 8 |
         static_cast<std::uint32_t>(lanes[2]) << 16 | static_cast<std::uint32_t>(lanes[3]) << 24;
}

/// InterfaceName<T>::value is the record name of interface T; specialised next to each interface.
template <class T>
struct InterfaceName;

/// The record name of void, which labels empty payloads.
template <>
struct InterfaceName<void> {
  /// The name.
  static constexpr const char* value = "void";
};

/// The code of interface T, as a compile-time constant.
template <class T>
constexpr std::uint32_t InterfaceCode() noexcept {
  return NameCode(InterfaceName<T>::value);
}

/// The record of T: the same address on every call within one module. Never null, never throws,
/// never locks: the record is constant-initialised.
template <class T>
const InterfaceId* InterfaceIdOf() noexcept {
  static constexpr InterfaceId record{InterfaceName<T>::value, NameCode(InterfaceName<T>::value)};
  return &record;
}

/// The record that labels an empty typeless payload.
inline const InterfaceId* VoidInterfaceId() noexcept { return InterfaceIdOf<void>(); }

/// True when a and b denote the same type (equal codes). Both must be non-null.
inline bool SameType(const InterfaceId* a, const InterfaceId* b) noexcept {
  return a->code == b->code;
}

static_assert(NameCode("abc") == 0x03616361u);
static_assert(NameCode("") == 0u);
static_assert(NameCode("void") == 0x676B6E72u);

}  // namespace kivo::utility
