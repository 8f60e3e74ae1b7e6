// Dump then Parse must give back an equal record: for records the client layer builds from the
// input, and for whatever JSON text the input is.
// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fuzz_support.h"
#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

namespace {

namespace sdk = kivo::sdk;
using kivo::fuzz::FuzzInput;
using Store = std::function<void(const sdk::Item&)>;

// Texts from pieces that stay valid UTF-8 and cover every escape the dump writes.
std::string Text(FuzzInput& in) {
  // clang-format off
  static const std::string_view kPieces[] = {"a", "Z", "\"", "\\", "\n", "\t", "\r", "\x01", "\x7f", "/",
                                             "\xC3\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", " ", "0"};
  // clang-format on
  std::string text;
  for (std::size_t n = in.Below(6); n > 0; --n) text += kPieces[in.Below(std::size(kPieces))];
  return text;
}

template <class T>
T Number(FuzzInput& in) {
  T value{};
  if constexpr (std::is_same_v<T, bool>) return in.Bool();
  in.Fill(&value, sizeof value);
  if constexpr (std::is_floating_point_v<T>) return std::isfinite(value) ? value : 0;  // as JSON
  return value;
}

template <class T>
std::vector<T> Numbers(FuzzInput& in) {
  std::vector<T> numbers(in.Below(4));
  for (T& number : numbers) number = Number<T>(in);
  return numbers;
}

void Fill(const sdk::Library& library, FuzzInput& in, sdk::Record& record, int depth);

// Stores one value of the kind the input picks: a scalar of each type, a text, null, vectors, a
// record or a list.
void OneValue(const sdk::Library& library, FuzzInput& in, int depth, const Store& store) {
#define KIVO_FUZZ_SCALAR(Type, name, Kind) \
  [](FuzzInput& in, const Store& store) { store(Number<Type>(in)); },
  static constexpr void (*kScalars[])(FuzzInput&,
                                      const Store&) = {KIVO_SDK_FOR_EACH_SCALAR(KIVO_FUZZ_SCALAR)};
#undef KIVO_FUZZ_SCALAR
  const std::size_t choice = in.Below(std::size(kScalars) + (depth < 4 ? 6 : 4));
  if (choice < std::size(kScalars)) return kScalars[choice](in, store);
  switch (choice - std::size(kScalars)) {
    case 0:
      return store(Text(in));
    case 1:
      return store(nullptr);
    case 2:
      return store(Numbers<double>(in));
    case 3:
      return store(Numbers<std::int16_t>(in));
    case 4: {
      sdk::Record nested(library);
      Fill(library, in, nested, depth + 1);
      return store(nested);
    }
    default: {
      sdk::List list(library);
      for (std::size_t n = in.Below(4); n > 0; --n) {
        OneValue(library, in, depth + 1, [&](const sdk::Item& value) { list.Append(value); });
      }
      return store(list);
    }
  }
}

// Keys are single segments the path form can name: not empty, no slash.
void Fill(const sdk::Library& library, FuzzInput& in, sdk::Record& record, int depth) {
  for (std::size_t n = in.Below(6); n > 0 && !in.Empty(); --n) {
    const std::string key = Text(in);
    if (key.empty() || key.find('/') != std::string::npos) continue;
    OneValue(library, in, depth, [&](const sdk::Item& value) { record.Set(key, value); });
  }
}

void CheckRoundTrip(const sdk::Library& library, const sdk::Record& record) {
  for (const int indent : {0, 2}) {
    sdk::Result<sdk::Record> parsed = sdk::Parse(library, record.Dump(indent));
    KIVO_FUZZ_CHECK(parsed.ok() && *parsed == record);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const sdk::Library library = sdk::LinkedLibrary();
  FuzzInput in(data, size);
  if (in.Bool()) {
    sdk::Record record(library);
    Fill(library, in, record, 0);
    CheckRoundTrip(library, record);
  } else if (sdk::Result<sdk::Record> parsed = sdk::Parse(
                 library,
                 std::string_view(reinterpret_cast<const char*>(data), size).substr(size > 0))) {
    CheckRoundTrip(library, *parsed);
  }
  return 0;
}
