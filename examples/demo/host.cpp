// The demo host: hands one record to two plugins built apart, then prints it.
// SPDX-License-Identifier: MIT
//
// The host links the library; the plugins do not. Each plugin is loaded at run time and gets the
// library's exports as a table of function pointers. Plugin A (Clang, libc++) fills the record,
// plugin B (GCC, libstdc++) reads and extends it, and the host prints the result after unloading
// both: what they stored lives in the library's heap, labelled with the host's records.
#include <cstdio>
#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/plugin_host.h"
#include "kivo/sdk/sdk.h"
#include "toolchain.h"

int main(int argc, char** argv) try {
  const std::string paths[] = {argc > 1 ? argv[1] : KIVO_DEMO_PRODUCER,
                               argc > 2 ? argv[2] : KIVO_DEMO_TRANSFORMER};

  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  std::printf("host (%s): library linked, plugins loaded at run time\n",
              kivo::demo::Toolchain().c_str());

  kivo::sdk::Ptr<kivo::containers::ICompoundObject> record = library.NewRecord();
  for (const std::string& path : paths) {
    const kivo::sdk::PluginResult result =
        kivo::sdk::Plugin(path).Run(library.exports(), *record);  // unloaded after the run
    std::printf("%s %s\n", result ? "ran" : "FAILED:", result.message.c_str());
    if (!result) return 1;
  }

  std::printf("\nthe record, %u members at every depth:\n%s\n", record->GetTotalCount(),
              kivo::sdk::Dump(*record).c_str());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "error: %s\n", error.what());
  return 1;
}
