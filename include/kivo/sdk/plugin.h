// The plugin side of a plugin boundary: one C entry point, checked and exception-safe.
// SPDX-License-Identifier: MIT
#pragma once

// A plugin is a module built on its own, with any compiler and standard library, that need not
// link the library: its host hands it the ExportTable and a record. The whole plugin is a
// function and one macro:
//
//   #include "kivo/sdk/plugin.h"
//
//   std::string Work(kivo::sdk::Record& record) {
//     record.Set("greeting", "hello");
//     return "wrote a greeting";
//   }
//   KIVO_PLUGIN(Work)
//
// The entry checks the table (size, contract version, entries) and the library behind it before
// it calls Work, and turns every exception into a status and a message for the host: nothing but
// an int and NUL-terminated bytes cross back. Hosts run plugins with kivo/sdk/plugin_host.h.

#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>

#include "kivo/containers/compound_object.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/record.h"
#include "kivo/sdk/self_check.h"

/// The name under which every plugin exports its entry point.
#define KIVO_PLUGIN_ENTRY_NAME "KivoPluginRun"

/// Marks a function for export from a module built with hidden visibility.
#if defined(_WIN32)
#define KIVO_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define KIVO_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

extern "C" {
/// A plugin's entry point: works on record through the exports in table and writes a one-line
/// report, or the reason for a failure, into message (at most capacity bytes with the NUL).
/// Answers a kivo::sdk::PluginStatus. Never lets an exception out.
typedef int (*KivoPluginEntry)(const kivo::sdk::ExportTable* table,
                               kivo::containers::ICompoundObject* record, char* message,
                               std::size_t capacity);
}

namespace kivo::sdk {

/// What a plugin's entry answers.
enum PluginStatus : int {
  kPluginOk = 0,        ///< the work ran; the message is its report
  kPluginBadTable = 1,  ///< the table or the library behind it is not the one the plugin expects
  kPluginFailed = 2,    ///< the work threw; the message is what() of the exception
};

namespace detail {

inline void WriteMessage(char* message, std::size_t capacity, const char* prefix,
                         const char* text) noexcept {
  if (message != nullptr && capacity != 0) std::snprintf(message, capacity, "%s%s", prefix, text);
}

}  // namespace detail

/// The body of a plugin's entry point (KIVO_PLUGIN writes it): checks table and the library
/// behind it, runs work(record) on a Record viewing record, which answers the report, and turns
/// every failure into a PluginStatus and a message.
template <class Work>
int RunPlugin(const ExportTable* table, containers::ICompoundObject* record, char* message,
              std::size_t capacity, Work&& work) noexcept {
  try {
    if (record == nullptr) {
      detail::WriteMessage(message, capacity, "", "no record");
      return kPluginBadTable;
    }
    const std::string problem = table != nullptr ? SelfCheckProblem(*table) : "no export table";
    if (!problem.empty()) {
      detail::WriteMessage(message, capacity, "", problem.c_str());
      return kPluginBadTable;
    }
    Record view = Record::View(Library(*table), *record);
    const std::string report = work(view);
    detail::WriteMessage(message, capacity, "", report.c_str());
    return kPluginOk;
  } catch (const std::exception& error) {
    detail::WriteMessage(message, capacity, "failed: ", error.what());
  } catch (...) {
    detail::WriteMessage(message, capacity, "", "failed with an exception of an unknown type");
  }
  return kPluginFailed;
}

}  // namespace kivo::sdk

/// Defines the plugin's entry point around work, a function std::string(kivo::sdk::Record&).
#define KIVO_PLUGIN(work)                                                                          \
  KIVO_PLUGIN_EXPORT int KivoPluginRun(const ::kivo::sdk::ExportTable* table,                      \
                                       ::kivo::containers::ICompoundObject* record, char* message, \
                                       std::size_t capacity) {                                     \
    return ::kivo::sdk::RunPlugin(table, record, message, capacity, work);                         \
  }
