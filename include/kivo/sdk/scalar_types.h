// Type records for scalar payloads: numbers and truth values carried in trivial typeless objects.
// SPDX-License-Identifier: MIT
#pragma once

// The library labels payloads but gives no records for plain numbers. The client layer uses
// these, and any module that reads or writes its scalars must use the same names:
//
//   record name            C++ type        payload
//   "kivo::sdk::bool"      bool            1 byte, 0 or 1 (any non-zero byte reads as true)
//   "kivo::sdk::int8"      std::int8_t     1 byte
//   "kivo::sdk::uint8"     std::uint8_t    1 byte
//   "kivo::sdk::int16"     std::int16_t    2 bytes
//   "kivo::sdk::uint16"    std::uint16_t   2 bytes
//   "kivo::sdk::int32"     std::int32_t    4 bytes
//   "kivo::sdk::uint32"    std::uint32_t   4 bytes
//   "kivo::sdk::int64"     std::int64_t    8 bytes
//   "kivo::sdk::uint64"    std::uint64_t   8 bytes
//   "kivo::sdk::float"     float           4 bytes, IEEE 754 binary32
//   "kivo::sdk::double"    double          8 bytes, IEEE 754 binary64
//
// A scalar is stored in the host's byte order at the start of a trivial typeless object of the
// smallest payload size that holds it (1, 2, 4 or 8 bytes). Any integer type is carried by the
// record of its size and signedness (long long and long both as int64 on LP64 systems).
//
// NOTE: a record lives in the module that labels a payload with it. A module that stores scalars
// must stay loaded as long as those payloads live.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "kivo/containers/interface_codes.h"
#include "kivo/utility/interface_id.h"

namespace kivo::sdk {

// The type that labels scalar payloads of T; T is one of the types in the table above.
template <class T>
struct Scalar {};

namespace detail {

template <std::size_t kSize, bool kSigned>
struct IntegerOfSize;
template <>
struct IntegerOfSize<1, true> {
  using type = std::int8_t;
};
template <>
struct IntegerOfSize<1, false> {
  using type = std::uint8_t;
};
template <>
struct IntegerOfSize<2, true> {
  using type = std::int16_t;
};
template <>
struct IntegerOfSize<2, false> {
  using type = std::uint16_t;
};
template <>
struct IntegerOfSize<4, true> {
  using type = std::int32_t;
};
template <>
struct IntegerOfSize<4, false> {
  using type = std::uint32_t;
};
template <>
struct IntegerOfSize<8, true> {
  using type = std::int64_t;
};
template <>
struct IntegerOfSize<8, false> {
  using type = std::uint64_t;
};

template <class T>
constexpr bool IsCharacter() noexcept {
  return std::is_same_v<T, char> || std::is_same_v<T, wchar_t> || std::is_same_v<T, char16_t> ||
         std::is_same_v<T, char32_t>;
}

// The type whose record labels scalars of T.
template <class T, class = void>
struct CanonicalScalar {};
template <class T>
struct CanonicalScalar<T, std::enable_if_t<std::is_same_v<T, bool> || std::is_same_v<T, float> ||
                                           std::is_same_v<T, double>>> {
  using type = T;
};
template <class T>
struct CanonicalScalar<
    T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> && !IsCharacter<T>()>> {
  using type = typename IntegerOfSize<sizeof(T), std::is_signed_v<T>>::type;
};

}  // namespace detail

// True when T can travel as a scalar payload: bool, float, double and the integer types other
// than the character types (use texts for characters).
template <class T, class = void>
inline constexpr bool kIsScalar = false;
template <class T>
inline constexpr bool kIsScalar<T, std::void_t<typename detail::CanonicalScalar<T>::type>> = true;

// The label of scalar payloads of T.
template <class T>
using ScalarLabel = Scalar<typename detail::CanonicalScalar<T>::type>;

// The record of scalar payloads of T, in this module. Never null.
template <class T>
const utility::InterfaceId* ScalarTypeId() noexcept {
  return utility::InterfaceIdOf<ScalarLabel<T>>();
}

// The code of scalar payloads of T.
template <class T>
constexpr std::uint32_t ScalarCode() noexcept {
  return utility::InterfaceCode<ScalarLabel<T>>();
}

// The payload size that holds a scalar of T: 1, 2, 4 or 8.
template <class T>
constexpr std::size_t ScalarPayloadSize() noexcept {
  return sizeof(typename detail::CanonicalScalar<T>::type);
}

}  // namespace kivo::sdk

namespace kivo::utility {

#define KIVO_SDK_SCALAR_NAME(Type, Name)       \
  template <>                                  \
  struct InterfaceName<sdk::Scalar<Type>> {    \
    static constexpr const char* value = Name; \
  };

KIVO_SDK_SCALAR_NAME(bool, "kivo::sdk::bool")
KIVO_SDK_SCALAR_NAME(std::int8_t, "kivo::sdk::int8")
KIVO_SDK_SCALAR_NAME(std::uint8_t, "kivo::sdk::uint8")
KIVO_SDK_SCALAR_NAME(std::int16_t, "kivo::sdk::int16")
KIVO_SDK_SCALAR_NAME(std::uint16_t, "kivo::sdk::uint16")
KIVO_SDK_SCALAR_NAME(std::int32_t, "kivo::sdk::int32")
KIVO_SDK_SCALAR_NAME(std::uint32_t, "kivo::sdk::uint32")
KIVO_SDK_SCALAR_NAME(std::int64_t, "kivo::sdk::int64")
KIVO_SDK_SCALAR_NAME(std::uint64_t, "kivo::sdk::uint64")
KIVO_SDK_SCALAR_NAME(float, "kivo::sdk::float")
KIVO_SDK_SCALAR_NAME(double, "kivo::sdk::double")

#undef KIVO_SDK_SCALAR_NAME

}  // namespace kivo::utility

namespace kivo::sdk::detail {

// Codes are compared, never names: no scalar may share a code with another or with a library
// record.
inline constexpr std::uint32_t kScalarCodes[] = {
    ScalarCode<bool>(),          ScalarCode<std::int8_t>(),   ScalarCode<std::uint8_t>(),
    ScalarCode<std::int16_t>(),  ScalarCode<std::uint16_t>(), ScalarCode<std::int32_t>(),
    ScalarCode<std::uint32_t>(), ScalarCode<std::int64_t>(),  ScalarCode<std::uint64_t>(),
    ScalarCode<float>(),         ScalarCode<double>(),
};

constexpr bool ScalarCodesAreDistinct() noexcept {
  constexpr std::uint32_t kLibraryCodes[] = {
      containers::kStringObjectCode,
      containers::kInt8VectorObjectCode,
      containers::kInt16VectorObjectCode,
      containers::kUInt16VectorObjectCode,
      containers::kInt32VectorObjectCode,
      containers::kUInt32VectorObjectCode,
      containers::kInt64VectorObjectCode,
      containers::kUInt64VectorObjectCode,
      containers::kFloatVectorObjectCode,
      containers::kDoubleVectorObjectCode,
      containers::kTypelessVectorObjectCode,
      containers::kSharedTypelessObjectCode,
      containers::kUniqueTypelessObjectCode,
      containers::kCompoundObjectCode,
      containers::kVoidCode,
  };
  for (std::size_t i = 0; i < std::size(kScalarCodes); ++i) {
    for (std::size_t j = i + 1; j < std::size(kScalarCodes); ++j) {
      if (kScalarCodes[i] == kScalarCodes[j]) return false;
    }
    for (std::uint32_t library : kLibraryCodes) {
      if (kScalarCodes[i] == library) return false;
    }
  }
  return true;
}
static_assert(ScalarCodesAreDistinct());

}  // namespace kivo::sdk::detail
