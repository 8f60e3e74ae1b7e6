// Dump then Parse must give back an equal record: for records the client layer builds from the
// input, and for whatever JSON text the input is.
// SPDX-License-Identifier: MIT
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

namespace {

namespace sdk = kivo::sdk;
using kivo::fuzz::FuzzInput;

// Texts from pieces that stay valid UTF-8 and cover every escape the dump writes.
std::string Text(FuzzInput& input) {
  static constexpr const char* kPieces[] = {"a",
                                            "Z",
                                            "\"",
                                            "\\",
                                            "\n",
                                            "\t",
                                            "\r",
                                            "\x01",
                                            "\x7f",
                                            "/",
                                            "\xC3\xBC",
                                            "\xE2\x82\xAC",
                                            "\xF0\x9F\x98\x80",
                                            " ",
                                            "0"};
  std::string text;
  for (std::size_t n = input.Below(6); n > 0; --n) text += kPieces[input.Below(std::size(kPieces))];
  return text;
}

template <class T>
T Number(FuzzInput& input) {
  T value{};
  std::uint8_t bytes[sizeof(T)];
  for (std::uint8_t& byte : bytes) byte = input.Byte();
  std::memcpy(&value, bytes, sizeof(T));
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) value = T{0};  // JSON has no NaN or infinities
  }
  return value;
}

void Fill(const sdk::Library& library, FuzzInput& input, sdk::Record& record, int depth);

// Appends or stores one value of the kind the input picks.
void OneValue(const sdk::Library& library, FuzzInput& input, int depth,
              const std::function<void(const sdk::Item&)>& store) {
  switch (input.Below(depth < 4 ? 17 : 15)) {
    case 0:
      return store(Text(input));
    case 1:
      return store(input.Bool());
    case 2:
      return store(Number<std::int8_t>(input));
    case 3:
      return store(Number<std::uint8_t>(input));
    case 4:
      return store(Number<std::int16_t>(input));
    case 5:
      return store(Number<std::uint16_t>(input));
    case 6:
      return store(Number<std::int32_t>(input));
    case 7:
      return store(Number<std::uint32_t>(input));
    case 8:
      return store(Number<std::int64_t>(input));
    case 9:
      return store(Number<std::uint64_t>(input));
    case 10:
      return store(Number<float>(input));
    case 11:
      return store(Number<double>(input));
    case 12:
      return store(nullptr);
    case 13: {
      std::vector<double> numbers(input.Below(4));
      for (double& number : numbers) number = Number<double>(input);
      return store(numbers);
    }
    case 14: {
      std::vector<std::int16_t> numbers(input.Below(4));
      for (std::int16_t& number : numbers) number = Number<std::int16_t>(input);
      return store(numbers);
    }
    case 15: {
      sdk::Record nested(library);
      Fill(library, input, nested, depth + 1);
      return store(nested);
    }
    default: {
      sdk::List list(library);
      for (std::size_t n = input.Below(4); n > 0; --n) {
        OneValue(library, input, depth + 1, [&](const sdk::Item& value) { list.Append(value); });
      }
      return store(list);
    }
  }
}

void Fill(const sdk::Library& library, FuzzInput& input, sdk::Record& record, int depth) {
  for (std::size_t n = input.Below(6); n > 0 && !input.Empty(); --n) {
    const std::string key = Text(input);
    if (key.find('/') != std::string::npos) continue;  // paths are tried elsewhere
    OneValue(library, input, depth, [&](const sdk::Item& value) {
      // A key is one segment here: an empty key is a member the path form cannot name.
      if (key.empty()) return;
      record.Set(key, value);
    });
  }
}

void CheckRoundTrip(const sdk::Library& library, const sdk::Record& record) {
  for (const int indent : {0, 2}) {
    sdk::Result<sdk::Record> parsed = sdk::Parse(library, record.Dump(indent));
    KIVO_FUZZ_CHECK(parsed.ok());
    KIVO_FUZZ_CHECK(*parsed == record);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const sdk::Library library = sdk::LinkedLibrary();
  FuzzInput input(data, size);
  if (input.Bool()) {
    sdk::Record record(library);
    Fill(library, input, record, 0);
    CheckRoundTrip(library, record);
  } else if (sdk::Result<sdk::Record> parsed =
                 sdk::Parse(library, std::string_view(reinterpret_cast<const char*>(data) + 1,
                                                      size == 0 ? 0 : size - 1))) {
    CheckRoundTrip(library, *parsed);
  }
  return 0;
}
