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

using IInt8VectorObject = ITypedVectorObject<signed char>;
using IUInt8VectorObject = ITypedVectorObject<unsigned char>;
using IInt16VectorObject = ITypedVectorObject<short>;
using IUInt16VectorObject = ITypedVectorObject<unsigned short>;
using IInt32VectorObject = ITypedVectorObject<int>;
using IUInt32VectorObject = ITypedVectorObject<unsigned int>;
using IInt64VectorObject = ITypedVectorObject<long long>;
using IUInt64VectorObject = ITypedVectorObject<unsigned long long>;
using IFloatVectorObject = ITypedVectorObject<float>;
using IDoubleVectorObject = ITypedVectorObject<double>;
using ITypelessVectorObject = ITypedVectorObject<ISharedTypelessObject>;

}  // namespace kivo::containers

namespace kivo::utility {

#define KIVO_VECTOR_INTERFACE_NAME(Element, Name)                 \
  template <>                                                     \
  struct InterfaceName<containers::ITypedVectorObject<Element>> { \
    static constexpr const char* value = Name;                    \
  };

/// The unsigned 8-bit vector shares the signed one's name, and so its code.
KIVO_VECTOR_INTERFACE_NAME(signed char, "kivo::containers::IInt8VectorObject")
KIVO_VECTOR_INTERFACE_NAME(unsigned char, "kivo::containers::IInt8VectorObject")
KIVO_VECTOR_INTERFACE_NAME(short, "kivo::containers::IInt16VectorObject")
KIVO_VECTOR_INTERFACE_NAME(unsigned short, "kivo::containers::IUInt16VectorObject")
KIVO_VECTOR_INTERFACE_NAME(int, "kivo::containers::IInt32VectorObject")
KIVO_VECTOR_INTERFACE_NAME(unsigned int, "kivo::containers::IUInt32VectorObject")
KIVO_VECTOR_INTERFACE_NAME(long long, "kivo::containers::IInt64VectorObject")
KIVO_VECTOR_INTERFACE_NAME(unsigned long long, "kivo::containers::IUInt64VectorObject")
KIVO_VECTOR_INTERFACE_NAME(float, "kivo::containers::IFloatVectorObject")
KIVO_VECTOR_INTERFACE_NAME(double, "kivo::containers::IDoubleVectorObject")
KIVO_VECTOR_INTERFACE_NAME(containers::ISharedTypelessObject,
                           "kivo::containers::ITypelessVectorObject")

#undef KIVO_VECTOR_INTERFACE_NAME

}  // namespace kivo::utility
