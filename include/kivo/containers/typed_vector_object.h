// ITypedVectorObject<T>: growable contiguous arrays, numeric or of shared typeless values.
// SPDX-License-Identifier: MIT
#pragma once

// Ten numeric element types use the primary template (slots 5 to 13, destructor 14). The vector
// of shared typeless values is a specialisation with its own, shorter slot order (slots 5 to 11,
// destructor 12). Indices are signed 32-bit; an index is valid when 0 <= index < the count taken
// as a signed 32-bit integer. Capacity grows by half and never shrinks.

#include <cstdint>

#include "kivo/containers/typeless_object.h"
#include "kivo/utility/object.h"

// The ten numeric element types: X(element, word, name word). The word names the export
// (Kivo<word>VectorObjectAllocator) and the alias (I<word>VectorObject); the name word names the
// interface ("kivo::containers::I<name word>VectorObject"), where the unsigned 8-bit vector shares
// the signed one's name, and so its code.
#define KIVO_FOR_EACH_NUMERIC_ELEMENT(X) \
  X(signed char, Int8, Int8)             \
  X(unsigned char, UInt8, Int8)          \
  X(short, Int16, Int16)                 \
  X(unsigned short, UInt16, UInt16)      \
  X(int, Int32, Int32)                   \
  X(unsigned int, UInt32, UInt32)        \
  X(long long, Int64, Int64)             \
  X(unsigned long long, UInt64, UInt64)  \
  X(float, Float, Float)                 \
  X(double, Double, Double)

namespace kivo::containers {

/// A growable array of T in contiguous storage.
template <class T>
class ITypedVectorObject : public utility::IObject {
 public:
  /// Slot 5. The number of elements.
  virtual std::uint64_t GetSize() const = 0;

  /// Slot 6. Removes every element; the storage stays.
  virtual void Clear() = 0;

  /// Slot 7. Removes the element at index, moving later ones down; false for an invalid index.
  virtual bool RemoveAt(std::int32_t index) = 0;

  /// Slot 8: the element at index, writable. For an invalid index, a module-wide fallback element
  /// of T shared by every vector of T (writes to it stay). Never throws.
  /// Slot 9: the value at index; the fallback element's value for an invalid index.
  KIVO_OVERLOADED_PAIR(virtual T& GetAt(std::int32_t index) = 0,
                       virtual T GetAt(std::int32_t index) const = 0);

  /// Slot 10: appends a copy of value, which may be an element of this vector.
  /// Throws std::length_error ("vector too long") or std::bad_alloc; the vector is then unchanged.
  /// Slot 11: as slot 10.
  KIVO_OVERLOADED_PAIR(virtual void PushBack(const T& value) = 0,
                       virtual void PushBack(T&& value) = 0);

  /// Slot 12: the first element of the contiguous storage; null until the vector first has
  /// storage. Valid until the storage is replaced (growth) or the vector ends.
  /// Slot 13: as slot 12, read-only.
  KIVO_OVERLOADED_PAIR(virtual T* GetData() = 0, virtual const T* GetData() const = 0);
};

/// The vector of shared typeless values (ITypelessVectorObject): elements are handles, not copies.
template <>
class ITypedVectorObject<ISharedTypelessObject> : public utility::IObject {
 public:
  /// Slot 5. The number of elements.
  virtual std::uint64_t GetSize() const = 0;

  /// Slot 6. Destroys every stored handle; the storage stays.
  virtual void Clear() = 0;

  /// Slot 7. Destroys the handle at index and moves later ones down; false for an invalid index.
  virtual bool RemoveAt(std::int32_t index) = 0;

  /// Slot 8: a new handle (Share) to the element at index, owned by the caller; null for an
  /// invalid index. Slot 9: as slot 8.
  KIVO_OVERLOADED_PAIR(virtual ISharedTypelessObject* GetAt(std::int32_t index) = 0,
                       virtual ISharedTypelessObject* GetAt(std::int32_t index) const = 0);

  /// Slot 10. Appends item itself and takes ownership of it. If growth throws, item stays the
  /// caller's and the vector is unchanged.
  virtual void PushBack(ISharedTypelessObject* item) = 0;

  /// Slot 11. The stored handles, in index order; null until the vector first has storage. The
  /// vector keeps owning them.
  virtual ISharedTypelessObject* const* GetData() const = 0;
};

#define KIVO_VECTOR_ALIAS(Element, Word, NameWord) \
  using I##Word##VectorObject = ITypedVectorObject<Element>;
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_VECTOR_ALIAS)
#undef KIVO_VECTOR_ALIAS
using ITypelessVectorObject = ITypedVectorObject<ISharedTypelessObject>;

}  // namespace kivo::containers

namespace kivo::utility {

#define KIVO_VECTOR_INTERFACE_NAME(Element, Name)                 \
  template <>                                                     \
  struct InterfaceName<containers::ITypedVectorObject<Element>> { \
    static constexpr const char* value = Name;                    \
  };

#define KIVO_NUMERIC_VECTOR_NAME(Element, Word, NameWord) \
  KIVO_VECTOR_INTERFACE_NAME(Element, "kivo::containers::I" #NameWord "VectorObject")
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_NUMERIC_VECTOR_NAME)
#undef KIVO_NUMERIC_VECTOR_NAME
KIVO_VECTOR_INTERFACE_NAME(containers::ISharedTypelessObject,
                           "kivo::containers::ITypelessVectorObject")

#undef KIVO_VECTOR_INTERFACE_NAME

}  // namespace kivo::utility
