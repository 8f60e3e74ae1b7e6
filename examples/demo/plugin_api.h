// The contract between the demo host and its plugins: one C entry point per plugin.
// SPDX-License-Identifier: MIT
#pragma once

// A plugin is a shared object built on its own, with any compiler and standard library. It does
// not link the library: the host hands it the table of the library's exports and a record, and
// the plugin works on the record through them. Nothing else crosses: no standard-library type, no
// exception, no memory that one side allocates and the other frees.

#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>

#include "kivo/containers/compound_object.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/library.h"

// The name under which every plugin exports its entry point.
#define KIVO_DEMO_PLUGIN_ENTRY "KivoDemoPluginRun"

// Marks the entry point for export from a plugin built with hidden visibility.
#define KIVO_DEMO_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
// Works on record through the exports in table. Writes a one-line report (or the reason for a
// failure) into message, at most capacity bytes with the terminating NUL. Answers 0 on success.
// Never lets an exception out.
typedef int (*KivoDemoPluginEntry)(const kivo::sdk::ExportTable* table,
                                   kivo::containers::ICompoundObject* record, char* message,
                                   std::size_t capacity);
}

namespace kivo::demo {

// The compiler and standard library this translation unit is built with.
inline std::string Toolchain() {
  std::string compiler;
#if defined(__clang__)
  compiler = "Clang " + std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) +
             "." + std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
  compiler = "GCC " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
             std::to_string(__GNUC_PATCHLEVEL__);
#else
  compiler = "an unknown compiler";
#endif
#if defined(_LIBCPP_VERSION)
  return compiler + " with libc++ " + std::to_string(_LIBCPP_VERSION);
#elif defined(_GLIBCXX_RELEASE)
  return compiler + " with libstdc++ " + std::to_string(_GLIBCXX_RELEASE);
#else
  return compiler + " with an unknown standard library";
#endif
}

// The body of a plugin's entry point: checks the table, runs work(library, record), which answers
// the report, and turns every failure into a message and a non-zero answer.
template <class Work>
int RunPlugin(const sdk::ExportTable* table, containers::ICompoundObject* record, char* message,
              std::size_t capacity, Work&& work) {
  std::string report;
  int status = 1;
  try {
    if (table == nullptr || record == nullptr) {
      report = "no export table or no record";
    } else if (const char* missing = sdk::FirstMissingExport(*table)) {
      report = std::string("the export table lacks ") + missing;
    } else {
      report = work(sdk::Library(*table), *record);
      status = 0;
    }
  } catch (const std::exception& error) {
    report = std::string("failed: ") + error.what();
  } catch (...) {
    report = "failed with an unknown exception";
  }
  if (message != nullptr && capacity != 0) std::snprintf(message, capacity, "%s", report.c_str());
  return status;
}

}  // namespace kivo::demo
