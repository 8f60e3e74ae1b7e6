// A client of the installed library: the client layer and the raw exports, checked end to end.
// SPDX-License-Identifier: MIT
#include <cstdio>
#include <string>

#include "kivo/containers/exports.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

int main() {
  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  const kivo::sdk::Record record(library, {{"package/name", "installed"}, {"package/major", 1}});

  auto* raw = static_cast<kivo::containers::IStringObject*>(KivoStringObjectAllocator());
  raw->SetString("raw");
  const bool raw_ok = std::string(raw->GetString()) == "raw";
  raw->Destroy();

  const std::string dump = record.Dump(0);
  std::printf("%s %s\n", KIVO_VERSION_STRING, dump.c_str());
  const bool ok = raw_ok && dump == R"({"package": {"major": 1, "name": "installed"}})";
  return ok ? 0 : 1;
}
