// TypelessVectorObject and its factory.
// SPDX-License-Identifier: MIT
#include "typeless_vector_object.h"

#include "compound_object.h"

#include "internal/allocator_instance.h"
#include "internal/factories.h"

namespace kivo::detail {

utility::ISharedInterface* NewTypelessVectorObject(utility::ObjectAllocator allocator) {
  return new containers::TypelessVectorObject(allocator);
}

}  // namespace kivo::detail

namespace kivo::containers {

TypelessVectorObject::~TypelessVectorObject() {
  if (alive != nullptr) *alive = false;
  for (ISharedTypelessObject* handle : elements) {
    if (handle != nullptr) handle->Destroy();
  }
}

bool TypelessVectorObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = dynamic_cast<const TypelessVectorObject*>(other);
  if (source == nullptr) return false;
  if (!EndHandles()) return true;  // the vector ended with its old handles: nothing to fill
  for (const ISharedTypelessObject* handle : source->elements) {
    // Owned until the vector has taken it, so a failed append does not leak the new share.
    detail::Owned<ISharedTypelessObject> share(handle != nullptr ? handle->Share() : nullptr);
    elements.PushBack(share.get());
    static_cast<void>(share.release());
  }
  return true;
}

bool TypelessVectorObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = dynamic_cast<const TypelessVectorObject*>(other);
  return that != nullptr && detail::EqualContainers(*this, *that);
}

utility::IObject* TypelessVectorObject::NewInstance() const {
  return detail::NewInstanceFrom(allocator);
}

std::uint64_t TypelessVectorObject::GetSize() const { return elements.size(); }

void TypelessVectorObject::Clear() { static_cast<void>(EndHandles()); }

bool TypelessVectorObject::EndHandles() {
  // The handles leave the vector before any of them ends, and the storage returns only if the
  // vector is still there.
  detail::VectorStorage<ISharedTypelessObject*> doomed;
  doomed.swap(elements);
  bool still_here = true;
  alive = &still_here;
  for (ISharedTypelessObject* handle : doomed) {
    if (handle != nullptr) handle->Destroy();
  }
  if (!still_here) return false;
  alive = nullptr;
  doomed.Clear();
  elements.swap(doomed);
  return true;
}

bool TypelessVectorObject::RemoveAt(std::int32_t index) {
  if (!detail::IsValidIndex(index, elements.size())) return false;
  // Out of the vector first, then ended: the vector may end with it.
  ISharedTypelessObject* const handle = elements.begin()[index];
  elements.RemoveAt(static_cast<std::size_t>(index));
  if (handle != nullptr) handle->Destroy();
  return true;
}

ISharedTypelessObject* TypelessVectorObject::GetAt(std::int32_t index) {
  return static_cast<const TypelessVectorObject*>(this)->GetAt(index);
}

ISharedTypelessObject* TypelessVectorObject::GetAt(std::int32_t index) const {
  if (!detail::IsValidIndex(index, elements.size())) return nullptr;
  const ISharedTypelessObject* const handle = elements.begin()[index];
  return handle != nullptr ? handle->Share() : nullptr;
}

void TypelessVectorObject::PushBack(ISharedTypelessObject* item) { elements.PushBack(item); }

ISharedTypelessObject* const* TypelessVectorObject::GetData() const { return elements.begin(); }

}  // namespace kivo::containers
