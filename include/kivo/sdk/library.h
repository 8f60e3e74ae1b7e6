// Library: a handle on the library's exports that creates objects as owned, typed pointers.
// SPDX-License-Identifier: MIT
#pragma once

// A Library is a copyable value holding the table of the 25 exports. Obtain one from
// LinkedLibrary() (kivo/sdk/linked_library.h, when the module links the library),
// LoadLibraryModule() (kivo/sdk/module_loader.h, when it loads the library at run time), or from
// a table that a host handed over. Every New* operation returns a new object in its initial
// state, owned by the caller, and throws what the export throws (std::bad_alloc).

#include <cstddef>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/scalar_types.h"

namespace kivo::sdk {
namespace detail {

/// The export that creates vectors of T.
template <class T>
struct VectorExport;

#define KIVO_SDK_VECTOR_EXPORT(Element, Word, NameWord)             \
  template <>                                                       \
  struct VectorExport<Element> {                                    \
    static constexpr utility::ObjectAllocator ExportTable::*field = \
        &ExportTable::Kivo##Word##VectorObjectAllocator;            \
  };
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_SDK_VECTOR_EXPORT)
KIVO_SDK_VECTOR_EXPORT(containers::ISharedTypelessObject, Typeless, Typeless)
#undef KIVO_SDK_VECTOR_EXPORT

// The element types of the numeric vectors, in the order of their list.
#define KIVO_SDK_VECTOR_ELEMENT(Element, Word, NameWord) , Element
using NumberVectorElements =
    DropFirst<void KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_SDK_VECTOR_ELEMENT)>::type;
#undef KIVO_SDK_VECTOR_ELEMENT

/// A new object from allocator, seen as I (the interface that allocator's class implements).
template <class I>
Ptr<I> Create(utility::ObjectAllocator allocator) {
  return Ptr<I>(adopt, static_cast<I*>(allocator()));
}

}  // namespace detail

/// True when the library has vectors of T: the ten numeric element types and
/// ISharedTypelessObject.
template <class T, class = void>
inline constexpr bool kHasVector = false;
template <class T>
inline constexpr bool kHasVector<T, std::void_t<decltype(detail::VectorExport<T>::field)>> = true;

#define KIVO_SDK_TRIVIAL_SIZE(N) N,
/// The payload sizes of the trivial typeless objects, ascending.
inline constexpr std::size_t kTrivialSizes[] = {KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_SDK_TRIVIAL_SIZE)};
#undef KIVO_SDK_TRIVIAL_SIZE

/// A handle on the library's exports that creates objects as owned, typed pointers.
class Library {
 public:
  /// A library reached through table, which is copied. Throws ExportTableError when this module
  /// cannot use the table: another size or contract version, or a null entry (see
  /// ExportTableProblem).
  explicit Library(const ExportTable& table) : table_(table) { CheckExportTable(&table); }

  /// The exports; the table belongs to this Library.
  const ExportTable& exports() const noexcept { return table_; }

  /// The record that labels scalar payloads of T (see scalar_types.h). It belongs to the module
  /// that filled the table, so payloads labelled with it outlive the module that wrote them.
  template <class T>
  const utility::InterfaceId* ScalarType() const noexcept {
    return table_.scalar_types[ScalarIndex<typename detail::CanonicalScalar<T>::type>()];
  }

  /// A new empty string object; the caller owns it.
  Ptr<containers::IStringObject> NewString() const {
    return detail::Create<containers::IStringObject>(table_.KivoStringObjectAllocator);
  }

  /// A new string object holding text up to its first NUL; the caller owns it.
  Ptr<containers::IStringObject> NewString(const char* text) const {
    Ptr<containers::IStringObject> object = NewString();
    object->SetString(text);
    return object;
  }

  /// A new empty vector of T (a numeric type or ISharedTypelessObject); the caller owns it.
  template <class T>
  Ptr<containers::ITypedVectorObject<T>> NewVector() const {
    static_assert(kHasVector<T>, "no vector of this element type; see kivo/sdk/library.h");
    return detail::Create<containers::ITypedVectorObject<T>>(table_.*
                                                             detail::VectorExport<T>::field);
  }

  /// A new empty vector of shared typeless values; the caller owns it.
  Ptr<containers::ITypelessVectorObject> NewTypelessVector() const {
    return NewVector<containers::ISharedTypelessObject>();
  }

  /// A new empty record; the caller owns it.
  Ptr<containers::ICompoundObject> NewRecord() const {
    return detail::Create<containers::ICompoundObject>(table_.KivoCompoundObjectAllocator);
  }

  /// A new empty shared typeless value; the caller owns it.
  Ptr<containers::ISharedTypelessObject> NewSharedValue() const {
    return detail::Create<containers::ISharedTypelessObject>(
        table_.KivoSharedTypelessObjectAllocator);
  }

  /// A new unique typeless object whose payload will be one library object (none yet, type void);
  /// the caller owns it.
  Ptr<containers::IUniqueTypelessObject> NewUniqueObject() const {
    return detail::Create<containers::IUniqueTypelessObject>(
        table_.KivoUniqueTypelessNonTrivialObjectAllocator);
  }

  /// A new unique typeless object with an inline payload of the smallest size in kTrivialSizes
  /// that holds size bytes, all zero, type void; the caller owns it. Throws std::length_error when
  /// size exceeds 32.
  Ptr<containers::IUniqueTypelessObject> NewUniqueBytes(std::size_t size) const {
#define KIVO_SDK_TRIVIAL(N)                                   \
  if (size <= N) {                                            \
    return detail::Create<containers::IUniqueTypelessObject>( \
        table_.KivoUniqueTypelessTrivialObjectAllocator_##N); \
  }
    KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_SDK_TRIVIAL)
#undef KIVO_SDK_TRIVIAL
    throw std::length_error("no inline payload holds " + std::to_string(size) +
                            " bytes; the largest holds 32");
  }

 private:
  ExportTable table_;
};

}  // namespace kivo::sdk
