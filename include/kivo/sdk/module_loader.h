// LoadLibraryModule(): the library bound at run time (dlopen, or LoadLibrary on Windows).
// SPDX-License-Identifier: MIT
#pragma once

// For modules that do not link the library: they load the module by file name and look up the 25
// exports by name. A module loaded this way stays loaded until the process ends, because the
// objects it made may outlive every handle on it and must return to its heap.

#include <stdexcept>
#include <string>

#include "kivo/sdk/export_table.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/self_check.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kivo::sdk {

/// The library module could not be loaded or lacks an export; what() names the file and export.
class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file name under which the build installs the library's module (major version 1).
#if defined(_WIN32)
inline constexpr const char kLibraryFileName[] = "KivoContainersLib.dll";
#elif defined(__APPLE__)
inline constexpr const char kLibraryFileName[] = "libKivoContainersLib.1.dylib";
#else
inline constexpr const char kLibraryFileName[] = "libKivoContainersLib.so.1";
#endif

namespace detail {

#if defined(_WIN32)
using ModuleHandle = HMODULE;

inline ModuleHandle OpenModule(const std::string& path) { return ::LoadLibraryA(path.c_str()); }

inline void CloseModule(ModuleHandle module) { ::FreeLibrary(module); }

inline utility::ObjectAllocator FindExport(ModuleHandle module, const char* name) {
  /// Through void (*)(), the generic function pointer, so that no warning about the types fires.
  return reinterpret_cast<utility::ObjectAllocator>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

inline std::string LoaderMessage() {
  return "Windows error " + std::to_string(static_cast<unsigned long>(::GetLastError()));
}
#else
using ModuleHandle = void*;

inline ModuleHandle OpenModule(const std::string& path) {
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

inline void CloseModule(ModuleHandle module) { ::dlclose(module); }

inline utility::ObjectAllocator FindExport(ModuleHandle module, const char* name) {
  return reinterpret_cast<utility::ObjectAllocator>(::dlsym(module, name));
}

inline std::string LoaderMessage() {
  const char* message = ::dlerror();
  return message != nullptr ? message : "unknown error";
}
#endif

}  // namespace detail

/// Loads the library module from path and binds its 25 exports; a bare file name is searched for
/// as the platform's loader does. Throws LoadError naming path when the module cannot be loaded,
/// naming path and the first missing export when it lacks one (the module is released again), and
/// naming what differs when its objects are not those these headers describe (SelfCheck).
inline Library LoadLibraryModule(const std::string& path = kLibraryFileName) {
  detail::ModuleHandle module = detail::OpenModule(path);
  if (module == nullptr) {
    throw LoadError("cannot load the library module '" + path + "': " + detail::LoaderMessage());
  }
  ExportTable table = EmptyExportTable();
  const char* missing = nullptr;
  ForEachExport(table, [&](const char* name, utility::ObjectAllocator& entry) {
    if (missing != nullptr) return;
    entry = detail::FindExport(module, name);
    if (entry == nullptr) missing = name;
  });
  if (missing != nullptr) {
    detail::CloseModule(module);
    throw LoadError("the library module '" + path + "' has no export '" + missing + "'");
  }
  if (std::string problem = SelfCheckProblem(table); !problem.empty()) {
    detail::CloseModule(module);
    throw LoadError("the library module '" + path + "' failed the self-check: " + problem);
  }
  return Library(table);
}

}  // namespace kivo::sdk
