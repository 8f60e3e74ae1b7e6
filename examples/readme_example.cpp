// The client-layer example of the README, built so that it keeps compiling.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// README begin
#include <kivo/sdk/linked_library.h>  // or <kivo/sdk/module_loader.h>: load the library at run time
#include <kivo/sdk/sdk.h>

namespace sdk = kivo::sdk;

int main() {
  const sdk::Library library = sdk::LinkedLibrary();  // or sdk::LoadLibraryModule(path)
  sdk::Record record(library, {{"station", {{"name", "Greenhouse 7"}, {"id", 4711}}}});
  record.Set("readings/temperature_c", {21.5, 22.25});  // makes the record "readings"

  std::string name = record.At<std::string>("station/name");    // throws sdk::Error if absent
  std::optional<double> id = record.Get<double>("station/id");  // 4711: converts exactly
  sdk::Result<bool> flag = record.Find<bool>("station/flag");   // value or reason
  if (!flag) std::puts(flag.error().what());  // "station/flag": missing (no member "flag" ...)

  for (const auto& [key, value] : record.At<sdk::Record>("station")) {
    std::printf("%s: %s\n", key.c_str(), value.Type().ToString().c_str());  // id: int32 ...
  }
  std::puts(record.Dump().c_str());  // readable JSON; kivo/sdk/json.h parses it back
  return name.empty() || !id ? 1 : 0;
}
// README end
