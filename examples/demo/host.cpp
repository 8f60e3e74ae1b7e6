// The demo host: hands one record to two plugins built apart, then prints it.
// SPDX-License-Identifier: MIT
//
// The host links the library; the plugins do not. Each plugin is loaded at run time and gets the
// library's exports as a table of function pointers. Plugin A (Clang, libc++) fills the record,
// plugin B (GCC, libstdc++) reads and extends it, and the host prints the result.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"
#include "plugin_api.h"

namespace {

// Each plugin resolves its symbols in its own dependencies first, so the libc++ plugin uses libc++
// and libc++abi, never the host's libstdc++. The sanitizers' runtimes refuse such loading, so
// instrumented builds load plugins plainly.
#if defined(RTLD_DEEPBIND) && !defined(KIVO_DEMO_SANITIZED)
constexpr int kLoadFlags = RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#else
constexpr int kLoadFlags = RTLD_NOW | RTLD_LOCAL;
#endif

// A loaded plugin; unloaded when this ends.
class Plugin {
 public:
  explicit Plugin(const std::string& path)
      : path_(path), module_(dlopen(path.c_str(), kLoadFlags)) {
    if (module_ == nullptr) {
      error_ = dlerror();
      return;
    }
    run_ = reinterpret_cast<KivoDemoPluginEntry>(dlsym(module_, KIVO_DEMO_PLUGIN_ENTRY));
    if (run_ == nullptr) error_ = path + " has no entry point " KIVO_DEMO_PLUGIN_ENTRY;
  }
  ~Plugin() {
    if (module_ != nullptr) dlclose(module_);
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // Runs the plugin on record; false, with the reason printed, when it cannot be run or fails.
  bool Run(const kivo::sdk::ExportTable& table, kivo::containers::ICompoundObject& record) const {
    if (run_ == nullptr) {
      std::fprintf(stderr, "error: cannot use plugin %s: %s\n", path_.c_str(), error_.c_str());
      return false;
    }
    char message[512] = {};
    const int status = run_(&table, &record, message, sizeof(message));
    std::printf("%s %s\n", status == 0 ? "ran" : "FAILED:", message);
    return status == 0;
  }

 private:
  std::string path_;
  void* module_;
  KivoDemoPluginEntry run_ = nullptr;
  std::string error_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string producer_path = argc > 1 ? argv[1] : KIVO_DEMO_PRODUCER;
  const std::string transformer_path = argc > 2 ? argv[2] : KIVO_DEMO_TRANSFORMER;

  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  std::printf("host (%s): library linked, plugins loaded at run time\n",
              kivo::demo::Toolchain().c_str());

  // Plugins outlive the record: payloads may carry type records that live in a plugin.
  const Plugin producer(producer_path);
  const Plugin transformer(transformer_path);
  kivo::sdk::Ptr<kivo::containers::ICompoundObject> record = library.NewRecord();
  if (!producer.Run(library.exports(), *record) || !transformer.Run(library.exports(), *record)) {
    return 1;
  }

  std::printf("\nthe record, %u members at every depth:\n%s\n", record->GetTotalCount(),
              kivo::sdk::Dump(*record).c_str());
  return 0;
}
