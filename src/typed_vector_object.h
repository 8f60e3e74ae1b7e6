// TypedVectorObject<T>: the library's ITypedVectorObject<T> for the ten numeric element types.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "internal/shared_implementation.h"
#include "internal/vector_storage.h"
#include "kivo/containers/typed_vector_object.h"

namespace kivo::containers {

template <class T>
class TypedVectorObject final : public utility::SharedImplementation<ITypedVectorObject<T>> {
 public:
  // allocator is the export that made this vector; NewInstance calls it.
  explicit TypedVectorObject(utility::ObjectAllocator allocator) noexcept : allocator(allocator) {}

  bool CopyFrom(const utility::IObject* other) override;
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  std::uint64_t GetSize() const override;
  void Clear() override;
  bool RemoveAt(std::int32_t index) override;
  T& GetAt(std::int32_t index) override;
  T GetAt(std::int32_t index) const override;
  void PushBack(const T& value) override;
  void PushBack(T&& value) override;
  T* GetData() override;
  const T* GetData() const override;

  // The number of elements the storage holds without growing.
  std::uint64_t GetCapacity() const noexcept { return elements.capacity(); }

 private:
  detail::VectorStorage<T> elements;
  utility::ObjectAllocator allocator;
};

// Defined and instantiated once, in typed_vector_object.cpp.
#define KIVO_EXTERN_VECTOR(Element, Word, NameWord) \
  extern template class TypedVectorObject<Element>;
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_EXTERN_VECTOR)
#undef KIVO_EXTERN_VECTOR

}  // namespace kivo::containers
