// Stores a text in a record under the path a/b and reads it back, through the exports only.
// SPDX-License-Identifier: MIT
#include <cstdio>

#include "kivo/containers/exports.h"

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::utility::InterfaceIdOf;
using kivo::utility::ISharedInterface;

int main() {
  // A record and a string object with a text.
  auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  auto* text = static_cast<IStringObject*>(KivoStringObjectAllocator());
  text->SetString("Hello from a nested record");

  // A unique object takes over the string object and labels it with the string record.
  auto* unique = static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessNonTrivialObjectAllocator());
  unique->SetObject(text);
  unique->SetTypeId(InterfaceIdOf<IStringObject>());

  // A shared object takes over the unique object.
  auto* shared = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(unique);

  // The record makes the nested record a and stores its own share of the value under b in it.
  // The client's shared object stays the client's; the record's share keeps the value alive.
  if (!record->Set("a/b", shared, true)) {
    std::fprintf(stderr, "Set failed\n");
    return 1;
  }
  shared->Destroy();

  // A typed read: null unless the member's payload is labelled as a string object.
  ISharedTypelessObject* handle = record->Get("a/b", InterfaceIdOf<IStringObject>());
  if (handle == nullptr) {
    std::fprintf(stderr, "no text at a/b\n");
    return 1;
  }
  const auto* payload = static_cast<const ISharedInterface*>(handle->GetUnique()->GetConstData());
  const auto* stored = static_cast<const IStringObject*>(payload);
  std::printf("a/b: %s\n", stored->GetString());
  std::printf("members: %u direct, %u in all\n", static_cast<unsigned>(record->GetCount()),
              static_cast<unsigned>(record->GetTotalCount()));

  // The handle is the client's to end; the record ends its members, and the string object ends
  // with the last share of it.
  handle->Destroy();
  record->Destroy();
  return 0;
}
