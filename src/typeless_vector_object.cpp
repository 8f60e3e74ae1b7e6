// TypelessVectorObject and its factory.
// SPDX-License-Identifier: MIT
#include "typeless_vector_object.h"

#include "internal/allocator_instance.h"
#include "internal/factories.h"

namespace kivo::detail {

utility::ISharedInterface* NewTypelessVectorObject(utility::ObjectAllocator allocator) {
  return new containers::TypelessVectorObject(allocator);
}

}  // namespace kivo::detail

namespace kivo::containers {

TypelessVectorObject::~TypelessVectorObject() { Clear(); }

bool TypelessVectorObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = dynamic_cast<const TypelessVectorObject*>(other);
  if (source == nullptr) return false;
  Clear();
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
  if (that == nullptr || that->elements.size() != elements.size()) return false;
  const ISharedTypelessObject* const* theirs = that->elements.begin();
  for (const ISharedTypelessObject* mine : elements) {
    const ISharedTypelessObject* const counterpart = *theirs++;
    if (mine == nullptr || counterpart == nullptr) {
      if (mine != counterpart) return false;
    } else if (!mine->Equals(counterpart)) {
      return false;
    }
  }
  return true;
}

utility::IObject* TypelessVectorObject::NewInstance() const {
  return detail::NewInstanceFrom(allocator);
}

std::uint64_t TypelessVectorObject::GetSize() const { return elements.size(); }

void TypelessVectorObject::Clear() {
  for (ISharedTypelessObject* handle : elements) {
    if (handle != nullptr) handle->Destroy();
  }
  elements.Clear();
}

bool TypelessVectorObject::RemoveAt(std::int32_t index) {
  if (!detail::IsValidIndex(index, elements.size())) return false;
  ISharedTypelessObject* const handle = elements.begin()[index];
  if (handle != nullptr) handle->Destroy();
  elements.RemoveAt(static_cast<std::size_t>(index));
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
