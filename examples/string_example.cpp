// Creates string objects through the library's exports, copies and compares them.
// SPDX-License-Identifier: MIT
#include <cstdio>

#include "kivo/containers/exports.h"

using kivo::containers::IStringObject;

int main() {
  auto* greeting = static_cast<IStringObject*>(KivoStringObjectAllocator());
  greeting->SetString("Hello from KivoContainersLib");

  // A sibling of the same class, made without knowing the class, then filled by copying.
  auto* copy = static_cast<IStringObject*>(greeting->NewInstance());
  copy->CopyFrom(greeting);

  std::printf("%s (%s, code 0x%08X)\n", copy->GetString(), copy->GetInterfaceId()->name,
              static_cast<unsigned>(copy->GetInterfaceId()->code));
  std::printf("length %llu, equal to its source: %s\n",
              static_cast<unsigned long long>(copy->GetLength()),
              copy->Equals(greeting) ? "yes" : "no");

  copy->Destroy();
  greeting->Destroy();
  return 0;
}
