// A record through kivo::sdk::Record: build it, read it with and without reasons, walk and copy it.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdio>
#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

namespace sdk = kivo::sdk;

int main() {
  const sdk::Library library = sdk::LinkedLibrary();

  // Braced members make nested records; a path makes the records on its way.
  sdk::Record record(library, {{"a", {{"b", "Hello from a nested record"}}}, {"count", 3}});
  record.Set("a/numbers", {1.5, 2.5});

  // At throws sdk::Error; Get answers an optional; Find answers the value or the reason.
  std::printf("a/b: %s\n", record.At<std::string>("a/b").c_str());
  std::printf("count as double: %g\n", record.Get<double>("count").value_or(-1));
  for (const char* path : {"a/c", "count/x", "a//b"}) {
    if (sdk::Result<std::string> text = record.Find<std::string>(path); !text) {
      std::printf("%s\n", text.error().what());
    }
  }
  if (sdk::Status status = record.TrySet("count/x", true); !status) {
    std::printf("not stored: %s\n", status.error().what());
  }

  // A nested record read from a path is the record itself: changes show in the parent.
  record.At<sdk::Record>("a").Set("c", std::uint8_t{7});
  for (const auto& [key, value] : record.At<sdk::Record>("a")) {
    std::printf("a/%s is %s\n", key.c_str(), value.Type().ToString().c_str());
  }

  // A clone is independent; == compares the data.
  sdk::Record copy = record.Clone();
  copy.Set("count", 4);
  std::printf("equal after the change: %s\n", copy == record ? "yes" : "no");
  record.MergeDeep(copy);
  std::printf("%s\n", record.Dump().c_str());
  return 0;
}
