// TypedVectorObject<T> for the ten numeric element types, and their factories.
// SPDX-License-Identifier: MIT
#include "typed_vector_object.h"

#include <cstring>
#include <type_traits>

#include "internal/allocator_instance.h"
#include "internal/factories.h"

namespace kivo::detail {
namespace {

// The element that GetAt answers with for an invalid index: one per element type, shared by every
// vector of that type. Zero-initialised, so the module runs no constructor for it at load.
template <class T>
T fallback_element{};

}  // namespace

template <class T>
utility::ISharedInterface* NewTypedVectorObject(utility::ObjectAllocator allocator) {
  return new containers::TypedVectorObject<T>(allocator);
}

#define KIVO_NEW_VECTOR(Element, Word, NameWord) \
  template utility::ISharedInterface* NewTypedVectorObject<Element>(utility::ObjectAllocator);
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_NEW_VECTOR)
#undef KIVO_NEW_VECTOR

}  // namespace kivo::detail

namespace kivo::containers {

template <class T>
bool TypedVectorObject<T>::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = dynamic_cast<const TypedVectorObject*>(other);
  if (source == nullptr) return false;
  elements.Assign(source->elements.begin(), source->elements.size());
  return true;
}

template <class T>
bool TypedVectorObject<T>::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = dynamic_cast<const TypedVectorObject*>(other);
  if (that == nullptr) return false;
  const std::size_t count = elements.size();
  if (that->elements.size() != count) return false;
  if (count == 0) return true;
  const T* const mine = elements.begin();
  const T* const theirs = that->elements.begin();
  if constexpr (std::is_floating_point_v<T>) {
    // By value: NaN equals nothing and -0.0 equals +0.0.
    for (std::size_t i = 0; i < count; ++i) {
      if (!(mine[i] == theirs[i])) return false;
    }
    return true;
  } else {
    return std::memcmp(mine, theirs, count * sizeof(T)) == 0;
  }
}

template <class T>
utility::IObject* TypedVectorObject<T>::NewInstance() const {
  return detail::NewInstanceFrom(allocator);
}

template <class T>
std::uint64_t TypedVectorObject<T>::GetSize() const {
  return elements.size();
}

template <class T>
void TypedVectorObject<T>::Clear() {
  elements.Clear();
}

template <class T>
bool TypedVectorObject<T>::RemoveAt(std::int32_t index) {
  if (!detail::IsValidIndex(index, elements.size())) return false;
  elements.RemoveAt(static_cast<std::size_t>(index));
  return true;
}

template <class T>
T& TypedVectorObject<T>::GetAt(std::int32_t index) {
  if (!detail::IsValidIndex(index, elements.size())) return detail::fallback_element<T>;
  return elements.begin()[index];
}

template <class T>
T TypedVectorObject<T>::GetAt(std::int32_t index) const {
  if (!detail::IsValidIndex(index, elements.size())) return detail::fallback_element<T>;
  return elements.begin()[index];
}

template <class T>
void TypedVectorObject<T>::PushBack(const T& value) {
  elements.PushBack(value);
}

template <class T>
void TypedVectorObject<T>::PushBack(T&& value) {
  elements.PushBack(value);
}

template <class T>
T* TypedVectorObject<T>::GetData() {
  return elements.begin();
}

template <class T>
const T* TypedVectorObject<T>::GetData() const {
  return elements.begin();
}

#define KIVO_VECTOR_CLASS(Element, Word, NameWord) template class TypedVectorObject<Element>;
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_VECTOR_CLASS)
#undef KIVO_VECTOR_CLASS

}  // namespace kivo::containers
