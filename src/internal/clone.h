// Clone<I>: the deep copy of any library object, through NewInstance and CopyFrom.
// SPDX-License-Identifier: MIT
#pragma once

#include <type_traits>

#include "internal/shared_implementation.h"

namespace kivo::detail {

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
    auto* typed = dynamic_cast<I*>(copy.get());
    if (typed == nullptr) return nullptr;
    copy.release();
    return Owned<I>(typed);
  }
}

}  // namespace kivo::detail
