// Library: a handle on the library's exports that creates objects as owned, typed pointers.
// SPDX-License-Identifier: MIT
#pragma once

// A Library is a copyable value holding the table of the 25 exports. Obtain one from
// LinkedLibrary() (kivo/sdk/linked_library.h, when the module links the library),
// LoadLibraryModule() (kivo/sdk/module_loader.h, when it loads the library at run time), or from
// a table that a host handed over. Every New* operation returns a new object in its initial
// state, owned by the caller, and throws what the export throws (std::bad_alloc).

#include <cstddef>
#include <type_traits>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/ptr.h"

namespace kivo::sdk {
namespace detail {

// The export that creates vectors of T.
template <class T>
struct VectorExport;

#define KIVO_SDK_VECTOR_EXPORT(Element, Export)                                           \
  template <>                                                                             \
  struct VectorExport<Element> {                                                          \
    static constexpr utility::ObjectAllocator ExportTable::*field = &ExportTable::Export; \
  };
KIVO_SDK_VECTOR_EXPORT(signed char, KivoInt8VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(unsigned char, KivoUInt8VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(short, KivoInt16VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(unsigned short, KivoUInt16VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(int, KivoInt32VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(unsigned int, KivoUInt32VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(long long, KivoInt64VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(unsigned long long, KivoUInt64VectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(float, KivoFloatVectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(double, KivoDoubleVectorObjectAllocator)
KIVO_SDK_VECTOR_EXPORT(containers::ISharedTypelessObject, KivoTypelessVectorObjectAllocator)
#undef KIVO_SDK_VECTOR_EXPORT

// A new object from allocator, seen as I (the interface that allocator's class implements).
template <class I>
Ptr<I> Create(utility::ObjectAllocator allocator) {
  return Ptr<I>(adopt, static_cast<I*>(allocator()));
}

}  // namespace detail

// True when the library has vectors of T: the ten numeric element types and
// ISharedTypelessObject.
template <class T, class = void>
inline constexpr bool kHasVector = false;
template <class T>
inline constexpr bool kHasVector<T, std::void_t<decltype(detail::VectorExport<T>::field)>> = true;

// The payload sizes of the trivial typeless objects, ascending.
inline constexpr std::size_t kTrivialSizes[] = {1, 2, 4, 8, 12, 16, 20, 24, 28, 32};

class Library {
 public:
  // A library reached through table, whose entries must all be set (see FirstMissingExport). The
  // table is copied.
  explicit Library(const ExportTable& table) noexcept : table_(table) {}

  // The exports; the table belongs to this Library.
  const ExportTable& exports() const noexcept { return table_; }

  // A new empty string object; the caller owns it.
  Ptr<containers::IStringObject> NewString() const {
    return detail::Create<containers::IStringObject>(table_.KivoStringObjectAllocator);
  }

  // A new string object holding text up to its first NUL; the caller owns it.
  Ptr<containers::IStringObject> NewString(const char* text) const {
    Ptr<containers::IStringObject> object = NewString();
    object->SetString(text);
    return object;
  }

  // A new empty vector of T (a numeric type or ISharedTypelessObject); the caller owns it.
  template <class T>
  Ptr<containers::ITypedVectorObject<T>> NewVector() const {
    static_assert(kHasVector<T>, "no vector of this element type; see kivo/sdk/library.h");
    return detail::Create<containers::ITypedVectorObject<T>>(table_.*
                                                             detail::VectorExport<T>::field);
  }

  // A new empty vector of shared typeless values; the caller owns it.
  Ptr<containers::ITypelessVectorObject> NewTypelessVector() const {
    return NewVector<containers::ISharedTypelessObject>();
  }

  // A new empty record; the caller owns it.
  Ptr<containers::ICompoundObject> NewRecord() const {
    return detail::Create<containers::ICompoundObject>(table_.KivoCompoundObjectAllocator);
  }

  // A new empty shared typeless value; the caller owns it.
  Ptr<containers::ISharedTypelessObject> NewSharedValue() const {
    return detail::Create<containers::ISharedTypelessObject>(
        table_.KivoSharedTypelessObjectAllocator);
  }

  // A new unique typeless object whose payload will be one library object (none yet, type void);
  // the caller owns it.
  Ptr<containers::IUniqueTypelessObject> NewUniqueObject() const {
    return detail::Create<containers::IUniqueTypelessObject>(
        table_.KivoUniqueTypelessNonTrivialObjectAllocator);
  }

  // A new unique typeless object with an inline payload of the smallest size in kTrivialSizes
  // that holds size bytes, all zero, type void; the caller owns it. Empty when size exceeds 32.
  Ptr<containers::IUniqueTypelessObject> NewUniqueBytes(std::size_t size) const {
    utility::ObjectAllocator allocator = nullptr;
    if (size <= 1) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_1;
    } else if (size <= 2) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_2;
    } else if (size <= 4) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_4;
    } else if (size <= 8) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_8;
    } else if (size <= 12) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_12;
    } else if (size <= 16) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_16;
    } else if (size <= 20) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_20;
    } else if (size <= 24) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_24;
    } else if (size <= 28) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_28;
    } else if (size <= 32) {
      allocator = table_.KivoUniqueTypelessTrivialObjectAllocator_32;
    } else {
      return nullptr;
    }
    return detail::Create<containers::IUniqueTypelessObject>(allocator);
  }

 private:
  ExportTable table_;
};

}  // namespace kivo::sdk
