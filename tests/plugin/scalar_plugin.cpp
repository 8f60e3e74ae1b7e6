// A test plugin, linked without the library: stores the largest value of every scalar type in the
// host's record under the type's name, or throws when the record asks it to.
// SPDX-License-Identifier: MIT
#include <limits>
#include <stdexcept>
#include <string>

#include "kivo/sdk/plugin.h"

static std::string Store(kivo::sdk::Record& record) {
  if (record.Get<std::string>("throw")) throw std::runtime_error(record.At<std::string>("throw"));
#define KIVO_TEST_STORE(Type, Name, Kind) record.Set(#Name, std::numeric_limits<Type>::max());
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_TEST_STORE)
#undef KIVO_TEST_STORE
  return "stored " + std::to_string(record.Size()) + " scalars";
}

KIVO_PLUGIN(Store)
