// Demo plugin A (built with Clang and libc++): fills the record with a station's readings.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <string>

#include "kivo/sdk/sdk.h"
#include "plugin_api.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::sdk::Library;

std::string Produce(const Library& library, ICompoundObject& host_record) {
  namespace sdk = kivo::sdk;
  sdk::Record record = sdk::Record::View(library, host_record);
  record.Set("station", {{"name", "Greenhouse 7"},
                         {"id", std::int64_t{4711}},
                         {"location", {{"latitude", 52.52}, {"longitude", 13.405}}}});
  record.Set("readings", {{"temperature_c", {21.5, 22.25, 23.0, 22.75}},
                          {"humidity_pct", {41, 43, 45, 44}},
                          {"interval_s", std::uint32_t{900}}});
  sdk::Record owner(library, {{"team", "climate"}, {"on_call", true}});
  record.Set("tags", sdk::List(library, {"indoor", 3, owner}));

  const std::string toolchain = kivo::demo::Toolchain();
  record.Set("meta/produced_by", "producer plugin, " + toolchain);
  return "producer (" + toolchain + "): wrote " + std::to_string(host_record.GetTotalCount()) +
         " members";
}

}  // namespace

KIVO_DEMO_PLUGIN_EXPORT int KivoDemoPluginRun(const kivo::sdk::ExportTable* table,
                                              ICompoundObject* record, char* message,
                                              std::size_t capacity) {
  return kivo::demo::RunPlugin(table, record, message, capacity, Produce);
}
