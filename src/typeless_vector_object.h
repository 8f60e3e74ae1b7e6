// TypelessVectorObject: the library's vector of shared typeless values.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "internal/shared_implementation.h"
#include "internal/vector_storage.h"
#include "kivo/containers/typed_vector_object.h"

namespace kivo::containers {

// Owns the handles it stores and ends each with Destroy. Null elements are kept as they are:
// GetAt answers null for them, CopyFrom copies them as null, and Equals finds a null element
// equal to a null element only.
class TypelessVectorObject final : public utility::SharedImplementation<ITypelessVectorObject> {
 public:
  // allocator is the export that made this vector; NewInstance calls it.
  explicit TypelessVectorObject(utility::ObjectAllocator allocator) noexcept
      : allocator(allocator) {}
  ~TypelessVectorObject() override;

  bool CopyFrom(const utility::IObject* other) override;
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  std::uint64_t GetSize() const override;
  void Clear() override;
  bool RemoveAt(std::int32_t index) override;
  ISharedTypelessObject* GetAt(std::int32_t index) override;
  ISharedTypelessObject* GetAt(std::int32_t index) const override;
  void PushBack(ISharedTypelessObject* item) override;
  ISharedTypelessObject* const* GetData() const override;

  // The number of handles the storage holds without growing.
  std::uint64_t GetCapacity() const noexcept { return elements.capacity(); }

 private:
  // Ends every handle, the storage and its capacity staying. False when the vector itself ended
  // with one of them (its last owner was its own element): it must then not be touched again.
  bool EndHandles();

  detail::VectorStorage<ISharedTypelessObject*> elements;
  utility::ObjectAllocator allocator;
  // Set while EndHandles runs: the destructor clears the flag it points to.
  bool* alive = nullptr;
};

}  // namespace kivo::containers
