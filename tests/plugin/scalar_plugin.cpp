// A test plugin, linked without the library: stores one scalar of every type in the host's
// record, or throws when the record asks it to.
// SPDX-License-Identifier: MIT
#include <stdexcept>
#include <string>

#include "kivo/sdk/plugin.h"
#include "scalar_values.h"

namespace {

std::string Store(kivo::sdk::Record& record) {
  if (record.Get<std::string>("throw")) throw std::runtime_error(record.At<std::string>("throw"));
#define KIVO_TEST_STORE(Type, Key, Value) record.Set(Key, static_cast<Type>(Value));
  KIVO_TEST_SCALARS(KIVO_TEST_STORE)
#undef KIVO_TEST_STORE
  return "stored " + std::to_string(record.Size()) + " scalars";
}

}  // namespace

KIVO_PLUGIN(Store)
