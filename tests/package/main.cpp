// A client of the installed library: the client layer and the raw exports, checked end to end.
// SPDX-License-Identifier: MIT
#include <cstdio>
#include <string>

#include "kivo/containers/exports.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

int main() {
  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  kivo::sdk::Ptr<kivo::containers::ICompoundObject> record = library.NewRecord();
  kivo::sdk::SetText(library, *record, "package/name", "installed");
  kivo::sdk::SetScalar(library, *record, "package/major", 1);

  auto* raw = static_cast<kivo::containers::IStringObject*>(KivoStringObjectAllocator());
  raw->SetString("raw");
  const bool raw_ok = std::string(raw->GetString()) == "raw";
  raw->Destroy();

  const std::string dump = kivo::sdk::Dump(*record, 0);
  std::printf("%s\n", dump.c_str());
  const bool ok = raw_ok && dump == R"({"package": {"major": 1, "name": "installed"}})";
  return ok ? 0 : 1;
}
