// Typed helpers for typeless values: make a value from a text, a scalar, numbers or an object, and
// read it back.
// SPDX-License-Identifier: MIT
#pragma once

// A value is a shared typeless object: the form in which records and lists hold everything. The
// makers return a new value owned by the caller; sdk::Value (kivo/sdk/record.h) reads values.
//
//   auto value = kivo::sdk::MakeScalar(library, std::int64_t{42});
//
// Texts are string objects, numbers are typed vectors, and scalars are trivial payloads labelled
// with the records of kivo/sdk/scalar_types.h. Payload objects are labelled with their own record
// (GetInterfaceId), which lives in the library module.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/interface_cast.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/scalar_types.h"

namespace kivo::sdk {
namespace detail {

/// The library's element type for numbers of T: the one of the same size and signedness.
template <class T, class = void>
struct VectorElement {};
template <class T>
struct VectorElement<T, std::enable_if_t<std::is_floating_point_v<T> && sizeof(T) <= 8>> {
  using type = T;
};
template <class T>
struct VectorElement<T, std::enable_if_t<kIsNumber<T> && std::is_integral_v<T>>> {
  using type = typename IntegerOfSize<sizeof(T), std::is_signed_v<T>>::element;
};
template <class T>
using VectorElementT = typename VectorElement<T>::type;

/// The unique object that value holds, null when it is empty. GetConstUnique gives the object that
/// GetUnique gives, seen through its base.
inline const containers::IUniqueTypelessObject* HeldUnique(
    const containers::ISharedTypelessObject& value) {
  return static_cast<const containers::IUniqueTypelessObject*>(value.GetConstUnique());
}

/// True when data lies inside the unique object at unique: a trivial payload, which starts after
/// the vtable pointer and the type record pointer. A non-trivial object's payload is a block of its
/// own and cannot start within the three pointers the non-trivial object itself occupies, so this
/// tells the two kinds apart without trusting the type label.
inline bool IsInlinePayload(const void* unique, const void* data) noexcept {
  const auto start = reinterpret_cast<std::uintptr_t>(unique);
  const auto at = reinterpret_cast<std::uintptr_t>(data);
  return at > start && at < start + 3 * sizeof(void*);
}

inline bool HasCode(const utility::InterfaceId* type, std::uint32_t code) {
  return type != nullptr && type->code == code;
}

}  // namespace detail

/// value's payload as interface I, when it is a library object labelled with I's record (any object
/// for I = IObject); null otherwise. value and its other holders keep owning the payload.
template <class I>
I* PayloadAs(containers::ISharedTypelessObject& value) {
  containers::IUniqueTypelessObject* unique = value.GetUnique();
  if (unique == nullptr) return nullptr;
  const utility::InterfaceId* type = unique->GetTypeId();
  if (type == nullptr || !detail::Implements<I>(type->code)) return nullptr;
  void* data = unique->GetData();
  if (data == nullptr || detail::IsInlinePayload(unique, data)) return nullptr;
  return static_cast<I*>(static_cast<utility::ISharedInterface*>(data));
}

/// value's payload as interface I, read-only; as the overload above.
template <class I>
const I* PayloadAs(const containers::ISharedTypelessObject& value) {
  const containers::IUniqueTypelessObject* unique = detail::HeldUnique(value);
  if (unique == nullptr) return nullptr;
  const utility::InterfaceId* type = unique->GetTypeId();
  if (type == nullptr || !detail::Implements<I>(type->code)) return nullptr;
  const void* data = unique->GetConstData();
  if (data == nullptr || detail::IsInlinePayload(unique, data)) return nullptr;
  return static_cast<const I*>(static_cast<const utility::ISharedInterface*>(data));
}

/// A new value whose payload is object, labelled with object's own record. Takes ownership of
/// object; the caller owns the result. Empty when object is.
template <class I>
Ptr<containers::ISharedTypelessObject> MakeObjectValue(const Library& library, Ptr<I> object) {
  static_assert(std::is_base_of_v<utility::IObject, I>, "payloads are library objects");
  if (!object) return nullptr;
  Ptr<containers::IUniqueTypelessObject> unique = library.NewUniqueObject();
  const utility::InterfaceId* type = object->GetInterfaceId();
  unique->SetObject(object.release());
  unique->SetTypeId(type);
  Ptr<containers::ISharedTypelessObject> value = library.NewSharedValue();
  value->Reset(unique.release());  // Reset takes ownership, also when it throws
  return value;
}

/// A new value holding a string object with text up to its first NUL; the caller owns it.
inline Ptr<containers::ISharedTypelessObject> MakeText(const Library& library,
                                                       std::string_view text) {
  return MakeObjectValue(library, library.NewString(std::string(text).c_str()));
}

/// A new empty value (it dumps as null); the caller owns it.
inline Ptr<containers::ISharedTypelessObject> MakeEmpty(const Library& library) {
  return library.NewSharedValue();
}

/// A new value holding value as a scalar payload (see scalar_types.h); the caller owns it.
template <class T>
Ptr<containers::ISharedTypelessObject> MakeScalar(const Library& library, T value) {
  static_assert(kIsScalar<T>, "not a scalar type; see kivo/sdk/scalar_types.h");
  using Stored = std::conditional_t<std::is_same_v<T, bool>, std::uint8_t,
                                    typename detail::CanonicalScalar<T>::type>;
  const auto stored = static_cast<Stored>(value);
  Ptr<containers::IUniqueTypelessObject> unique = library.NewUniqueBytes(sizeof(Stored));
  std::memcpy(unique->GetData(), &stored, sizeof(Stored));
  unique->SetTypeId(library.ScalarType<T>());
  Ptr<containers::ISharedTypelessObject> result = library.NewSharedValue();
  result->Reset(unique.release());
  return result;
}

/// A new value holding a numeric vector with count numbers from values, in the library's element
/// type of T's size and signedness; the caller owns it.
///
/// NOTE: The two 8-bit vectors report one record, so a reader cannot tell them apart: unsigned
/// 8-bit numbers are stored as the bytes of an int8 vector, and read back as the asked signedness.
template <class T>
Ptr<containers::ISharedTypelessObject> MakeVector(const Library& library, const T* values,
                                                  std::size_t count) {
  using Element = std::conditional_t<sizeof(T) == 1, signed char, detail::VectorElementT<T>>;
  Ptr<containers::ITypedVectorObject<Element>> vector = library.NewVector<Element>();
  for (std::size_t i = 0; i < count; ++i) vector->PushBack(static_cast<Element>(values[i]));
  return MakeObjectValue(library, std::move(vector));
}

/// A new value holding a numeric vector with the numbers of values; the caller owns it.
template <class T>
Ptr<containers::ISharedTypelessObject> MakeVector(const Library& library,
                                                  const std::vector<T>& values) {
  return MakeVector(library, values.data(), values.size());
}

/// A new value holding a numeric vector with the numbers of values; the caller owns it.
template <class T>
Ptr<containers::ISharedTypelessObject> MakeVector(const Library& library,
                                                  std::initializer_list<T> values) {
  return MakeVector(library, values.begin(), values.size());
}

/// Copies of record's direct keys, in key order (a null key reads as "").
inline std::vector<std::string> RecordKeys(const containers::ICompoundObject& record) {
  const std::uint32_t count = record.GetCount();
  std::vector<const char*> keys(count, nullptr);
  if (count != 0) record.GetKeys(keys.data(), count);
  std::vector<std::string> result;
  result.reserve(count);
  for (const char* key : keys) result.emplace_back(key != nullptr ? key : "");
  return result;
}

}  // namespace kivo::sdk
