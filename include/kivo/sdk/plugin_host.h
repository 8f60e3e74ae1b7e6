// The host side of a plugin boundary: load a plugin module, bind its entry point, run it.
// SPDX-License-Identifier: MIT
#pragma once

// A host that links the library (or loaded it with LoadLibraryModule) runs plugins written with
// kivo/sdk/plugin.h:
//
//   kivo::sdk::Plugin plugin("./libmy_plugin.so");        // throws LoadError
//   kivo::sdk::PluginResult result = plugin.Run(table, *record);
//   if (!result) std::fprintf(stderr, "%s\n", result.message.c_str());
//
// On Linux a plugin is loaded with RTLD_NOW | RTLD_LOCAL, plus RTLD_DEEPBIND so that a plugin
// built with another standard library resolves its symbols in its own dependencies first (not
// under a sanitizer, whose runtime refuses such loading). On Windows a path with a folder is
// loaded with that folder searched first for the plugin's own DLLs.
//
// Scalars a plugin stores are labelled with the table's records, which belong to the host, so
// they stay readable after the plugin is unloaded. Objects the plugin made with the library live
// in the library's heap and outlive the plugin as well.

#include <string>
#include <utility>

#include "kivo/sdk/module_loader.h"
#include "kivo/sdk/plugin.h"

namespace kivo::sdk {

/// What a plugin's entry answered: a PluginStatus and its report or the reason it failed.
struct PluginResult {
  int status = kPluginFailed;  ///< a PluginStatus
  std::string message;         ///< the plugin's report, or why it failed
  /// True when the plugin ran its work (kPluginOk).
  explicit operator bool() const noexcept { return status == kPluginOk; }
};

namespace detail {

#if defined(_WIN32)
inline ModuleHandle OpenPlugin(const std::string& path) {
  const bool has_folder = path.find_first_of("/\\") != std::string::npos;
  return ::LoadLibraryExA(path.c_str(), nullptr, has_folder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}

inline KivoPluginEntry FindEntry(ModuleHandle module) {
  return reinterpret_cast<KivoPluginEntry>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, KIVO_PLUGIN_ENTRY_NAME)));
}
#else
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVO_SDK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIVO_SDK_SANITIZED 1
#endif
#endif

#if defined(RTLD_DEEPBIND) && !defined(KIVO_SDK_SANITIZED)
inline constexpr int kPluginLoadFlags = RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#else
inline constexpr int kPluginLoadFlags = RTLD_NOW | RTLD_LOCAL;
#endif

inline ModuleHandle OpenPlugin(const std::string& path) {
  return ::dlopen(path.c_str(), kPluginLoadFlags);
}

inline KivoPluginEntry FindEntry(ModuleHandle module) {
  return reinterpret_cast<KivoPluginEntry>(::dlsym(module, KIVO_PLUGIN_ENTRY_NAME));
}
#endif

}  // namespace detail

/// A loaded plugin module with its entry point bound; unloaded when the Plugin ends. Move-only.
class Plugin {
 public:
  /// Loads the module at path and binds its entry. Throws LoadError naming path when the module
  /// cannot be loaded, or naming the entry when the module has none (it is unloaded again).
  explicit Plugin(std::string path) : path_(std::move(path)), module_(detail::OpenPlugin(path_)) {
    if (module_ == nullptr) {
      throw LoadError("cannot load the plugin '" + path_ + "': " + detail::LoaderMessage());
    }
    entry_ = detail::FindEntry(module_);
    if (entry_ == nullptr) {
      Unload();
      throw LoadError("the plugin '" + path_ + "' has no entry point " KIVO_PLUGIN_ENTRY_NAME);
    }
  }
  ~Plugin() { Unload(); }
  /// Takes other's module over.
  Plugin(Plugin&& other) noexcept
      : path_(std::move(other.path_)),
        module_(std::exchange(other.module_, nullptr)),
        entry_(std::exchange(other.entry_, nullptr)) {}
  /// Unloads this module and takes other's over.
  Plugin& operator=(Plugin&& other) noexcept {
    if (this != &other) {
      Unload();
      path_ = std::move(other.path_);
      module_ = std::exchange(other.module_, nullptr);
      entry_ = std::exchange(other.entry_, nullptr);
    }
    return *this;
  }

  /// The path the plugin was loaded from.
  const std::string& path() const noexcept { return path_; }

  /// Runs the plugin on record with the exports in table, which must outlive every scalar the
  /// plugin stores (its records label them). Never throws but std::bad_alloc; an unloaded
  /// Plugin answers kPluginFailed.
  PluginResult Run(const ExportTable& table, containers::ICompoundObject& record) const {
    PluginResult result;
    if (entry_ == nullptr) {
      result.message = "the plugin '" + path_ + "' is unloaded";
      return result;
    }
    char message[1024] = {};
    result.status = entry_(&table, &record, message, sizeof(message));
    result.message = message;
    return result;
  }

  /// Unloads the module now; Run then fails. Objects the plugin made stay valid.
  void Unload() noexcept {
    entry_ = nullptr;
    if (module_ != nullptr) detail::CloseModule(std::exchange(module_, nullptr));
  }

 private:
  std::string path_;
  detail::ModuleHandle module_;
  KivoPluginEntry entry_ = nullptr;
};

}  // namespace kivo::sdk
