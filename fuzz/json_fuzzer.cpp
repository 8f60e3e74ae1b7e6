// Dump then Parse must give back an equal record: for records the client layer builds from the
// input, and for whatever JSON text the input is.
// SPDX-License-Identifier: MIT
#include "fuzz_support.h"
#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

namespace {

namespace sdk = kivo::sdk;
using kivo::fuzz::FuzzInput;

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

// Sets key to a scalar of T or a vector of them; floating point stays finite, as JSON has it.
template <class T>
void SetNumbers(FuzzInput& in, sdk::Record& record, const std::string& key) {
  if constexpr (std::is_same_v<T, bool>) {
    record.Set(key, in.Bool());
  } else {
    const bool vector = in.Bool();
    std::vector<T> numbers(vector ? in.Below(4) : 1);
    for (T& number : numbers) {
      in.Fill(&number, sizeof number);
      if (!std::isfinite(static_cast<double>(number))) number = 0;
    }
    vector ? record.Set(key, numbers) : record.Set(key, numbers[0]);
  }
}

// Members the client layer makes from values of every kind; nested records and lists come from
// parsed texts. Keys are single segments the path form can name: not empty, no slash.
void Fill(FuzzInput& in, sdk::Record& record) {
#define KIVO_FUZZ_SCALAR(Type, name, Kind) &SetNumbers<Type>,
  static constexpr void (*kNumbers[])(
      FuzzInput&, sdk::Record&, const std::string&) = {KIVO_SDK_FOR_EACH_SCALAR(KIVO_FUZZ_SCALAR)};
#undef KIVO_FUZZ_SCALAR
  while (!in.Empty()) {
    const std::string key = Text(in);
    const std::size_t choice = in.Below(std::size(kNumbers) + 2);
    if (key.empty() || key.find('/') != std::string::npos) continue;
    if (choice < std::size(kNumbers)) {
      kNumbers[choice](in, record, key);
    } else {
      choice == std::size(kNumbers) ? record.Set(key, Text(in)) : record.Set(key, nullptr);
    }
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
    Fill(in, record);
    CheckRoundTrip(library, record);
  } else if (sdk::Result<sdk::Record> parsed = sdk::Parse(
                 library,
                 std::string_view(reinterpret_cast<const char*>(data), size).substr(size > 0))) {
    CheckRoundTrip(library, *parsed);
  }
  return 0;
}
