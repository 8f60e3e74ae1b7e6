// A program for the debugger test: holds a string object, an int vector and a record, and stops.
// SPDX-License-Identifier: MIT
#include <cstdint>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

using kivo::containers::ICompoundObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypedVectorObject;

// The debugger stops here and looks at main's objects.
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

  IStringObject* text_object = text.get();
  ITypedVectorObject<int>* numbers_object = numbers.get();
  ICompoundObject* record_object = &record.object();
  KivoGdbStop();
  return text_object->GetLength() == 9 && numbers_object->GetSize() == 3 &&
                 record_object->GetCount() == 4
             ? 0
             : 1;
}
