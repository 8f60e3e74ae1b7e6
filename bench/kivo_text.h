// A shared handle to a text value, made through the exports only, as a client module makes it.
// SPDX-License-Identifier: MIT
#pragma once

#include "kivo/containers/exports.h"

namespace kivo::bench {

// A new handle (owned by the caller) to a unique object holding a string object with text.
inline containers::ISharedTypelessObject* KivoText(const char* text) {
  auto* string = static_cast<containers::IStringObject*>(KivoStringObjectAllocator());
  string->SetString(text);
  auto* unique = static_cast<containers::IUniqueTypelessObject*>(
      KivoUniqueTypelessNonTrivialObjectAllocator());
  unique->SetObject(string);
  unique->SetTypeId(utility::InterfaceIdOf<containers::IStringObject>());
  auto* shared =
      static_cast<containers::ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(unique);
  return shared;
}

}  // namespace kivo::bench
