// Type records for scalar payloads, and the client layer's lists of number types.
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
// The client layer labels scalars with the records of the ExportTable it was given, which belong
// to the host that filled the table: a plugin may be unloaded while the scalars it stored live on.
// A module that labels payloads with ScalarTypeId<T>() itself must outlive those payloads.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

#include "kivo/containers/interface_codes.h"
#include "kivo/utility/interface_id.h"

// The scalar types, each once: X(C++ type, short name, Kind enumerator without its k). Every list
// of scalars in the client layer (records, kinds, conversions, dump) is made from this one.
#define KIVO_SDK_FOR_EACH_SCALAR(X) \
  X(bool, bool, Bool)               \
  X(std::int8_t, int8, Int8)        \
  X(std::uint8_t, uint8, UInt8)     \
  X(std::int16_t, int16, Int16)     \
  X(std::uint16_t, uint16, UInt16)  \
  X(std::int32_t, int32, Int32)     \
  X(std::uint32_t, uint32, UInt32)  \
  X(std::int64_t, int64, Int64)     \
  X(std::uint64_t, uint64, UInt64)  \
  X(float, float, Float)            \
  X(double, double, Double)

namespace kivo::sdk {

/// The type that labels scalar payloads of T.
template <class T>
struct Scalar {};

namespace detail {

template <class... T>
struct TypeList {};
template <class T>
struct TypeTag {
  using type = T;
};

/// Calls f(TypeTag<T>{}) for each T of the list in order until f answers true; answers whether one
/// did.
template <class... T, class F>
constexpr bool AnyOf(TypeList<T...>, F&& f) {
  return (f(TypeTag<T>{}) || ...);
}

#define KIVO_SDK_SCALAR_TYPE(Type, Name, Kind) , Type
template <class... T>
struct DropFirst;
template <class First, class... T>
struct DropFirst<First, T...> {
  using type = TypeList<T...>;
};
using ScalarTypes = DropFirst<void KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_SCALAR_TYPE)>::type;
#undef KIVO_SDK_SCALAR_TYPE

/// The integer of each size and signedness: the fixed-width type the scalar records use and the
/// type the library's vectors are declared with (long long, not long, for 64 bits).
template <std::size_t kSize, bool kSigned>
struct IntegerOfSize;
#define KIVO_SDK_INTEGER(Size, Signed, Fixed, Element) \
  template <>                                          \
  struct IntegerOfSize<Size, Signed> {                 \
    using fixed = Fixed;                               \
    using element = Element;                           \
  };
KIVO_SDK_INTEGER(1, true, std::int8_t, signed char)
KIVO_SDK_INTEGER(1, false, std::uint8_t, unsigned char)
KIVO_SDK_INTEGER(2, true, std::int16_t, short)
KIVO_SDK_INTEGER(2, false, std::uint16_t, unsigned short)
KIVO_SDK_INTEGER(4, true, std::int32_t, int)
KIVO_SDK_INTEGER(4, false, std::uint32_t, unsigned int)
KIVO_SDK_INTEGER(8, true, std::int64_t, long long)
KIVO_SDK_INTEGER(8, false, std::uint64_t, unsigned long long)
#undef KIVO_SDK_INTEGER

template <class T>
constexpr bool IsCharacter() noexcept {
  return std::is_same_v<T, char> || std::is_same_v<T, wchar_t> || std::is_same_v<T, char16_t> ||
         std::is_same_v<T, char32_t>;
}

/// True for the numbers the layer stores: the integer types other than bool and the characters,
/// float and double.
template <class T>
inline constexpr bool kIsNumber = (std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                   !IsCharacter<T>()) ||
                                  std::is_same_v<T, float> || std::is_same_v<T, double>;

/// The type whose record labels scalars of T.
template <class T, class = void>
struct CanonicalScalar {};
template <class T>
struct CanonicalScalar<T, std::enable_if_t<std::is_same_v<T, bool> || std::is_same_v<T, float> ||
                                           std::is_same_v<T, double>>> {
  using type = T;
};
template <class T>
struct CanonicalScalar<T, std::enable_if_t<kIsNumber<T> && std::is_integral_v<T>>> {
  using type = typename IntegerOfSize<sizeof(T), std::is_signed_v<T>>::fixed;
};

}  // namespace detail

/// True when T can travel as a scalar payload: bool, float, double and the integer types other
/// than the character types (use texts for characters).
template <class T, class = void>
inline constexpr bool kIsScalar = false;
template <class T>
inline constexpr bool kIsScalar<T, std::void_t<typename detail::CanonicalScalar<T>::type>> = true;

/// The label of scalar payloads of T.
template <class T>
using ScalarLabel = Scalar<typename detail::CanonicalScalar<T>::type>;

/// The record of scalar payloads of T, in this module (it dies with the module). Never null.
template <class T>
const utility::InterfaceId* ScalarTypeId() noexcept {
  return utility::InterfaceIdOf<ScalarLabel<T>>();
}

/// The code of scalar payloads of T.
template <class T>
constexpr std::uint32_t ScalarCode() noexcept {
  return utility::InterfaceCode<ScalarLabel<T>>();
}

/// The payload size that holds a scalar of T: 1, 2, 4 or 8.
template <class T>
constexpr std::size_t ScalarPayloadSize() noexcept {
  return sizeof(typename detail::CanonicalScalar<T>::type);
}

/// The short name of T's scalar type: "int64" for std::int64_t and long long.
template <class T>
constexpr const char* ScalarName() noexcept {
  return utility::InterfaceName<ScalarLabel<T>>::value + sizeof("kivo::sdk::") - 1;
}

}  // namespace kivo::sdk

namespace kivo::utility {

#define KIVO_SDK_SCALAR_NAME(Type, Name, Kind)                \
  template <>                                                 \
  struct InterfaceName<sdk::Scalar<Type>> {                   \
    static constexpr const char* value = "kivo::sdk::" #Name; \
  };
KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_SCALAR_NAME)
#undef KIVO_SDK_SCALAR_NAME

}  // namespace kivo::utility

namespace kivo::sdk::detail {

// Codes are compared, never names: no scalar may share a code with another or with a library
// record.
#define KIVO_SDK_SCALAR_CODE(Type, Name, Kind) ScalarCode<Type>(),
inline constexpr std::uint32_t kScalarCodes[] = {KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_SCALAR_CODE)};
#undef KIVO_SDK_SCALAR_CODE

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
