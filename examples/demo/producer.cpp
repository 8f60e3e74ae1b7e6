// Demo plugin A (built with Clang and libc++): fills the record with a station's readings.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <string>

#include "kivo/sdk/sdk.h"
#include "plugin_api.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::sdk::Library;

std::string Produce(const Library& library, ICompoundObject& record) {
  namespace sdk = kivo::sdk;
  sdk::SetText(library, record, "station/name", "Greenhouse 7");
  sdk::SetScalar(library, record, "station/id", std::int64_t{4711});
  sdk::SetScalar(library, record, "station/location/latitude", 52.52);
  sdk::SetScalar(library, record, "station/location/longitude", 13.405);
  sdk::SetVector(library, record, "readings/temperature_c", {21.5, 22.25, 23.0, 22.75});
  sdk::SetVector(library, record, "readings/humidity_pct", {41, 43, 45, 44});
  sdk::SetScalar(library, record, "readings/interval_s", std::uint32_t{900});

  kivo::sdk::Ptr<ICompoundObject> owner = library.NewRecord();
  sdk::SetText(library, *owner, "team", "climate");
  sdk::SetScalar(library, *owner, "on_call", true);
  sdk::SetObject(library, record, "tags",
                 sdk::MakeTypelessVector(library, sdk::MakeText(library, "indoor"),
                                         sdk::MakeScalar(library, 3),
                                         sdk::MakeObjectValue(library, std::move(owner))));

  const std::string toolchain = kivo::demo::Toolchain();
  sdk::SetText(library, record, "meta/produced_by", "producer plugin, " + toolchain);
  return "producer (" + toolchain + "): wrote " + std::to_string(record.GetTotalCount()) +
         " members";
}

}  // namespace

KIVO_DEMO_PLUGIN_EXPORT int KivoDemoPluginRun(const kivo::sdk::ExportTable* table,
                                              ICompoundObject* record, char* message,
                                              std::size_t capacity) {
  return kivo::demo::RunPlugin(table, record, message, capacity, Produce);
}
