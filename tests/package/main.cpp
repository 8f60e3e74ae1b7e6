// A client of the installed library: the client layer and the raw exports, checked end to end.
// The debugger test stops it in KivoGdbStop and prints main's objects through the printers.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdio>
#include <string>

#include "kivo/containers/exports.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

using namespace kivo::containers;

extern "C" __attribute__((noinline)) void KivoGdbStop() { asm volatile(""); }

int main() {
  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  kivo::sdk::Ptr<IStringObject> text = library.NewString("hello gdb");
  kivo::sdk::Ptr<ITypedVectorObject<int>> numbers = library.NewVector<int>();
  for (int value : {1, 2, 3}) numbers->PushBack(value);
  kivo::sdk::Record record(library, {{"name", "a probe with a long name"},
                                     {"data/values", {1.5, 2.5}},
                                     {"data/count", std::int64_t{-2}},
                                     {"an empty record, keyed long", kivo::sdk::Record(library)},
                                     {"tags", kivo::sdk::List(library, {"a", true})}});

  auto* text_object = static_cast<IStringObject*>(KivoStringObjectAllocator());
  text_object->SetString(text->GetString());
  ITypedVectorObject<int>* numbers_object = numbers.get();
  ICompoundObject* record_object = &record.object();
  KivoGdbStop();

  const std::string dump = record.Dump(0);
  std::printf("%s %s\n", KIVO_VERSION_STRING, dump.c_str());
  const bool ok =
      std::string(text_object->GetString()) == "hello gdb" && numbers_object->GetSize() == 3 &&
      record_object->GetCount() == 4 &&
      dump ==
          R"({"an empty record, keyed long": {}, "data": {"count": -2, "values": [1.5, 2.5]}, "name": "a probe with a long name", "tags": ["a", true]})";
  text_object->Destroy();
  return ok ? 0 : 1;
}
