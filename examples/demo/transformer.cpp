// Demo plugin B (built with GCC and libstdc++): reads the station's readings and adds a summary.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kivo/sdk/sdk.h"
#include "plugin_api.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ITypelessVectorObject;
using kivo::sdk::Library;

std::string Transform(const Library& library, ICompoundObject& record) {
  namespace sdk = kivo::sdk;
  std::optional<std::string> name = sdk::GetText(record, "station/name");
  std::optional<std::vector<double>> temperatures =
      sdk::GetVector<double>(record, "readings/temperature_c");
  if (!name || !temperatures || temperatures->empty()) {
    throw std::runtime_error("the record has no station name or no temperatures");
  }

  std::transform(name->begin(), name->end(), name->begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  sdk::SetText(library, record, "station/name", *name);

  const auto [lowest, highest] = std::minmax_element(temperatures->begin(), temperatures->end());
  const double mean = std::accumulate(temperatures->begin(), temperatures->end(), 0.0) /
                      static_cast<double>(temperatures->size());
  sdk::SetScalar(library, record, "summary/temperature_c/min", *lowest);
  sdk::SetScalar(library, record, "summary/temperature_c/max", *highest);
  sdk::SetScalar(library, record, "summary/temperature_c/mean", mean);
  sdk::SetScalar(library, record, "summary/samples",
                 static_cast<std::uint32_t>(temperatures->size()));

  // The vector is the record's own: appending through the reference changes the record.
  if (auto tags = sdk::GetObject<ITypelessVectorObject>(record, "tags")) {
    sdk::Append(**tags, sdk::MakeText(library, "checked"));
  }

  const std::string toolchain = kivo::demo::Toolchain();
  sdk::SetText(library, record, "meta/transformed_by", "transformer plugin, " + toolchain);
  return "transformer (" + toolchain + "): summarised " + std::to_string(temperatures->size()) +
         " temperatures of " + *name;
}

}  // namespace

KIVO_DEMO_PLUGIN_EXPORT int KivoDemoPluginRun(const kivo::sdk::ExportTable* table,
                                              ICompoundObject* record, char* message,
                                              std::size_t capacity) {
  return kivo::demo::RunPlugin(table, record, message, capacity, Transform);
}
