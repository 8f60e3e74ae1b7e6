// NewInstanceFrom: the object an exported allocator makes, checked and seen as IObject.
// SPDX-License-Identifier: MIT
#pragma once

#include "internal/errors.h"
#include "kivo/utility/object.h"

namespace kivo::detail {

// Calls allocator and converts its object to IObject by a run-time test. An object that is no
// IObject is destroyed and answered by std::bad_cast ("bad cast"); so is a null result, which
// exports never give.
inline utility::IObject* NewInstanceFrom(utility::ObjectAllocator allocator) {
  utility::ISharedInterface* const made = allocator();
  auto* const object = dynamic_cast<utility::IObject*>(made);
  if (object == nullptr) {
    if (made != nullptr) made->Destroy();
    ThrowBadCast();
  }
  return object;
}

}  // namespace kivo::detail
