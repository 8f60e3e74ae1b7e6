// kivo::sdk::Dump: every kind of object as JSON text.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"
#include "support/counting_object.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::sdk::Dump;
using kivo::sdk::Library;
using kivo::sdk::MakeScalar;
using kivo::sdk::MakeText;
using kivo::sdk::MakeVector;
using kivo::sdk::Ptr;

class SdkDump : public ::testing::Test {
 protected:
  std::string Compact(const Ptr<ISharedTypelessObject>& value) { return Dump(value.get(), 0); }

  const Library library = kivo::sdk::LinkedLibrary();
};

struct TextCase {
  const char* text;
  const char* json;
};

TEST_F(SdkDump, TextsAreEscapedAndStayValidUtf8) {
  const TextCase cases[] = {
      {"plain", R"("plain")"},
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"tab\tline\nreturn\r\x01\x7f", R"("tab\tline\nreturn\r\u0001\u007f")"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"bad \xFF \xC3( \xE0\x80\x80", R"("bad \u00ff \u00c3( \u00e0\u0080\u0080")"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Dump(*library.NewString(c.text)), c.json);
  }
}

TEST_F(SdkDump, NumericVectorsPrintOnOneLine) {
  EXPECT_EQ(Compact(MakeVector(library, {-1, 0, 7})), "[-1, 0, 7]");
  EXPECT_EQ(Compact(MakeVector(library, std::vector<int>{})), "[]");
  EXPECT_EQ(Compact(MakeVector(library, {std::int8_t{-128}, std::int8_t{127}})), "[-128, 127]");
  EXPECT_EQ(Compact(MakeVector(library, {std::numeric_limits<std::uint64_t>::max()})),
            "[18446744073709551615]");
  EXPECT_EQ(Compact(MakeVector(library, {0.1, -2.5, 1e300})), "[0.1, -2.5, 1e+300]");
  EXPECT_EQ(Compact(MakeVector(library, {0.1f})), "[0.1]");
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(Compact(MakeVector(library, {std::numeric_limits<double>::quiet_NaN(), inf, -inf})),
            R"(["NaN", "Infinity", "-Infinity"])");
}

TEST_F(SdkDump, ScalarsPrintAsJsonValues) {
  EXPECT_EQ(Compact(MakeScalar(library, true)), "true");
  EXPECT_EQ(Compact(MakeScalar(library, std::numeric_limits<std::int64_t>::min())),
            "-9223372036854775808");
  EXPECT_EQ(Compact(MakeScalar(library, std::uint16_t{65535})), "65535");
  EXPECT_EQ(Compact(MakeScalar(library, 0.5)), "0.5");
}

TEST_F(SdkDump, EmptyAndUnknownPayloadsSayWhatTheyAre) {
  EXPECT_EQ(Compact(library.NewSharedValue()), "null");
  EXPECT_EQ(Dump(nullptr), "null");

  static constexpr kivo::utility::InterfaceId kPoint{"example::Point",
                                                     kivo::utility::NameCode("example::Point")};
  Ptr<ISharedTypelessObject> point = library.NewSharedValue();
  auto bytes = library.NewUniqueBytes(16);
  bytes->SetTypeId(&kPoint);
  point->Reset(bytes.release());
  EXPECT_EQ(Compact(point), R"({"type": "example::Point"})");

  kivo::testing::CountingLog log;
  Ptr<kivo::testing::CountingObject> foreign(kivo::sdk::adopt,
                                             kivo::testing::CountingObject::New(log));
  EXPECT_EQ(Dump(*foreign), R"({"interface": "kivo::testing::ICountingObject"})");
}

TEST_F(SdkDump, RecordsNestRecordsAndTypelessVectors) {
  const kivo::sdk::Record record(
      library, {{"name", "probe"},
                {"data", {{"readings", {1.5, 2.0}}, {"count", std::uint32_t{2}}, {"empty", {}}}},
                {"tags", kivo::sdk::List(library, {"a", 1})},
                {"none", kivo::sdk::List(library)}});
  EXPECT_EQ(record.Dump(), R"({
  "data": {
    "count": 2,
    "empty": {},
    "readings": [1.5, 2]
  },
  "name": "probe",
  "none": [],
  "tags": [
    "a",
    1
  ]
})");
  EXPECT_EQ(record.Dump(0),
            R"({"data": {"count": 2, "empty": {}, "readings": [1.5, 2]}, "name": "probe", )"
            R"("none": [], "tags": ["a", 1]})");
}

TEST_F(SdkDump, ARecordThatHoldsItselfEndsInAMarker) {
  Ptr<ISharedTypelessObject> value = kivo::sdk::MakeObjectValue(library, library.NewRecord());
  ICompoundObject* record = kivo::sdk::PayloadAs<ICompoundObject>(*value);
  ASSERT_NE(record, nullptr);
  ASSERT_TRUE(record->Set("self", value.get(), true));

  const std::string dump = Dump(*record, 0);
  EXPECT_EQ(dump.rfind(R"({"self": {"self": )", 0), 0u) << dump;
  EXPECT_NE(dump.find("\"<nested too deep>\""), std::string::npos);

  ASSERT_TRUE(record->Remove("self"));  // breaks the cycle, so the record can end
}

}  // namespace
