// Demo plugin B (built with GCC and libstdc++): reads the station's readings and adds a summary.
// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "kivo/sdk/plugin.h"
#include "toolchain.h"

namespace {

namespace sdk = kivo::sdk;

std::string Transform(sdk::Record& record) {
  // At throws sdk::Error naming the path and the types when the producer wrote something else.
  std::string name = record.At<std::string>("station/name");
  const auto temperatures = record.At<std::vector<double>>("readings/temperature_c");
  if (temperatures.empty()) throw std::runtime_error("the record has no temperatures");

  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  record.Set("station/name", name);

  const auto [lowest, highest] = std::minmax_element(temperatures.begin(), temperatures.end());
  const double mean = std::accumulate(temperatures.begin(), temperatures.end(), 0.0) /
                      static_cast<double>(temperatures.size());
  record.Set("summary", {{"temperature_c", {{"min", *lowest}, {"max", *highest}, {"mean", mean}}},
                         {"samples", static_cast<std::uint32_t>(temperatures.size())}});

  // The list is the record's own: appending through it changes the record.
  record.At<sdk::List>("tags").Append("checked");

  const std::string toolchain = kivo::demo::Toolchain();
  record.Set("meta/transformed_by", "transformer plugin, " + toolchain);
  return "transformer (" + toolchain + "): summarised " + std::to_string(temperatures.size()) +
         " temperatures of " + name;
}

}  // namespace

KIVO_PLUGIN(Transform)
