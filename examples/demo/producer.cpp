// Demo plugin A (built with Clang and libc++): fills the record with a station's readings.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <string>

#include "kivo/sdk/plugin.h"
#include "toolchain.h"

namespace {

namespace sdk = kivo::sdk;

std::string Produce(sdk::Record& record) {
  const sdk::Library& library = record.library();
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
  return "producer (" + toolchain + "): wrote " + std::to_string(record.object().GetTotalCount()) +
         " members";
}

}  // namespace

KIVO_PLUGIN(Produce)
