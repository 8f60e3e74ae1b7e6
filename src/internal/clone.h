// Clone<I>: the deep copy of any library object, through NewInstance and CopyFrom.
// SPDX-License-Identifier: MIT
#pragma once

#include <type_traits>

#include "internal/exact_cast.h"
#include "internal/shared_implementation.h"
#include "typeless_objects.h"

namespace kivo::detail {

// The library's class of interface I that a copy is tested against before a full class test.
template <class I>
struct ClassOf;
template <>
struct ClassOf<containers::ISharedTypelessObject> {
  using type = containers::SharedTypelessObject;
};
template <>
struct ClassOf<containers::IUniqueTypelessObject> {
  using type = containers::UniqueTypelessNonTrivialObject;
};

// A new object of source's class holding a copy of its value, as interface I; null when the copy
// answers false or the new object is not an I. Exceptions from CopyFrom pass through, and the
// half-made object is destroyed.
template <class I>
Owned<I> Clone(const utility::IObject& source) {
  Owned<utility::IObject> copy(source.NewInstance());
  if (!copy || !copy->CopyFrom(&source)) return nullptr;
  if constexpr (std::is_same_v<I, utility::IObject>) {
    return copy;
  } else {
    I* typed = ExactCast<typename ClassOf<I>::type>(copy.get());
    if (typed == nullptr) typed = dynamic_cast<I*>(copy.get());
    if (typed == nullptr) return nullptr;
    copy.release();
    return Owned<I>(typed);
  }
}

}  // namespace kivo::detail
