// kivo/sdk/json.h: Dump and Parse round trips, parse errors, and the nlohmann::json bridge.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"

namespace {

namespace sdk = kivo::sdk;
using sdk::Reason;

template <class T>
sdk::Record Extremes(const sdk::Library& library) {
  using Limits = std::numeric_limits<T>;
  return sdk::Record(library, {{"low", Limits::lowest()},
                               {"high", Limits::max()},
                               {"numbers", std::vector<T>{Limits::lowest(), Limits::max()}}});
}

// Every kind of value the layer makes reads back equal, through text and through nlohmann::json.
TEST(SdkJson, DumpThenParseGivesAnEqualRecord) {
  const sdk::Library library = sdk::LinkedLibrary();
  const sdk::Record record(
      library, {{"texts",
                 {{"plain", "a"},
                  {"escapes", "q\" b\\ \n\t\r\x01\x7f"},
                  {"utf8", "Gr\xC3\xBC\xC3\x9F"},
                  {"empty", ""}}},
                {"int8", Extremes<std::int8_t>(library)},
                {"uint8", Extremes<std::uint8_t>(library)},
                {"int16", Extremes<std::int16_t>(library)},
                {"uint16", Extremes<std::uint16_t>(library)},
                {"int32", Extremes<std::int32_t>(library)},
                {"uint32", Extremes<std::uint32_t>(library)},
                {"int64", Extremes<std::int64_t>(library)},
                {"uint64", Extremes<std::uint64_t>(library)},
                {"float", Extremes<float>(library)},
                {"double", Extremes<double>(library)},
                {"fractions", {0.1f, -2.5e-30f}},
                {"mixed", {0.1, -0.0, 1e300, 3.0}},
                {"flags", sdk::List(library, {true, false, nullptr})},
                {"nested", sdk::List(library, {sdk::List(library), sdk::Record(library), 1, "x"})},
                {"none", nullptr},
                {"empty", sdk::Record(library)}});
  for (const int indent : {0, 2}) {
    const std::string text = record.Dump(indent);
    sdk::Result<sdk::Record> parsed = sdk::Parse(library, text);
    ASSERT_TRUE(parsed) << parsed.error().what();
    EXPECT_EQ(*parsed, record) << text << "\n" << parsed->Dump(indent);
  }
  const nlohmann::json json = record;
  EXPECT_EQ(sdk::RecordFromJson(library, json).value(), record);
  EXPECT_EQ(json["uint64"]["high"].get<std::uint64_t>(), std::numeric_limits<std::uint64_t>::max());
}

struct BadJsonCase {
  const char* text;
  Reason reason;
  const char* message;  // what() must contain it
};

TEST(SdkJson, BadInputSaysWhereAndWhy) {
  const sdk::Library library = sdk::LinkedLibrary();
  std::string deep = "1";
  for (int i = 0; i < 101; ++i) deep = "{\"a\": " + deep + "}";
  const BadJsonCase cases[] = {
      {"{\n  \"a\": 1,\n  \"b\": tru\n}", Reason::kBadJson,
       "line 3, column 11: bad JSON: syntax error"},
      {"{\"a\": [1, 2}", Reason::kBadJson, "line 1, column 12"},
      {"", Reason::kBadJson, "line 1, column 1"},
      {R"({"a/b": 1})", Reason::kBadJson, "\"a/b\": bad JSON: a key holds a slash"},
      {R"({"a": ["x\u0000y"]})", Reason::kBadJson, "\"a[0]\": bad JSON: a text holds a NUL"},
      {deep.c_str(), Reason::kBadJson, "nested deeper than 100"},
      {"[1, 2]", Reason::kWrongType, "holds a JSON array, asked for record"},
  };
  for (const BadJsonCase& c : cases) {
    SCOPED_TRACE(c.text);
    const sdk::Result<sdk::Record> parsed = sdk::Parse(library, c.text);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().reason(), c.reason);
    EXPECT_NE(std::string(parsed.error().what()).find(c.message), std::string::npos)
        << parsed.error().what();
  }
}

// Arrays of numbers become the narrowest vector that holds them all, others lists.
TEST(SdkJson, ParsedValuesTakeTheirTypesFromTheText) {
  const sdk::Library library = sdk::LinkedLibrary();
  const sdk::Record record =
      sdk::Parse(library, R"({"i": [1, -2], "u": [1, 18446744073709551615], "d": [1, 0.5],
                              "l": [1, "a"], "big": [-1, 18446744073709551615], "e": [],
                              "n": 9223372036854775808, "t": true, "z": null})")
          .value();
  const std::pair<const char*, const char*> cases[] = {
      {"i", "numbers of int64"},
      {"u", "numbers of uint64"},
      {"d", "numbers of double"},
      {"l", "list"},
      {"big", "list"},
      {"e", "list"},
      {"n", "uint64"},
      {"t", "bool"},
      {"z", "empty"},
  };
  for (const auto& [path, type] : cases) EXPECT_EQ(record.TypeAt(path).ToString(), type) << path;
  EXPECT_EQ(sdk::ParseValue(library, "\"x\"")->As<std::string>(), "x");
}

}  // namespace
