// kivo::sdk::Record, List and Value: reasons for mistakes, conversions, handles and copies.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"
#include "support/counting_object.h"

namespace probe {
struct Place {
  std::string name;
  double latitude = 0;
  std::vector<int> codes;
};
KIVO_SDK_FIELDS(Place, name, latitude, codes)
}  // namespace probe

namespace {

namespace sdk = kivo::sdk;
using sdk::Kind;
using sdk::Reason;

class SdkRecord : public ::testing::Test {
 protected:
  const sdk::Library library = sdk::LinkedLibrary();
  sdk::Record record{library, {{"config/app/name", "probe"}, {"n", 7}}};
};

struct MistakeCase {
  const char* mistake;
  std::function<sdk::Status(sdk::Record&)> attempt;
  Reason reason;
  const char* text;  // what() must contain it
};

// Each mistake answers its reason in the checked form and throws it from the throwing one.
TEST_F(SdkRecord, MistakesAnswerTheirReason) {
  const MistakeCase cases[] = {
      {"typo in a path",
       [](sdk::Record& r) { return r.Find<std::string>("config/ap/name").error(); },
       Reason::kMissing, R"("config/ap/name": missing (no member "ap" in "config"))"},
      {"missing key", [](sdk::Record& r) { return r.Find<int>("config/app/port").error(); },
       Reason::kMissing, "no member \"port\" in \"config/app\""},
      {"wrong type", [](sdk::Record& r) { return r.Find<double>("config/app/name").error(); },
       Reason::kWrongType, "holds text, asked for double"},
      {"does not fit", [](sdk::Record& r) { return r.Find<std::int8_t>("big").error(); },
       Reason::kNotRepresentable, "int32 300 does not fit int8"},
      {"negative as unsigned", [](sdk::Record& r) { return r.Find<unsigned>("m").error(); },
       Reason::kNotRepresentable, "int32 -1 does not fit uint32"},
      {"set through a text", [](sdk::Record& r) { return r.TrySet("config/app/name/sub", 1); },
       Reason::kThroughNonRecord, "\"config/app/name\" holds text"},
      {"read through a number", [](sdk::Record& r) { return r.Find<int>("n/x").error(); },
       Reason::kThroughNonRecord, "\"n\" holds int32"},
      {"empty segment", [](sdk::Record& r) { return r.TrySet("a//b", "x"); }, Reason::kBadPath,
       "empty segment"},
      {"bad key in braces",
       [](sdk::Record& r) {
         return r.TrySet("a", {{"b/", 1}});
       },
       Reason::kBadPath, "\"b/\": bad path: trailing slash"},
      {"leading slash", [](sdk::Record& r) { return r.Remove("/n"); }, Reason::kBadPath,
       "leading slash"},
      {"trailing slash", [](sdk::Record& r) { return r.TrySet("n/", 1); }, Reason::kBadPath,
       "trailing slash"},
      {"empty path", [](sdk::Record& r) { return r.Find<int>("").error(); }, Reason::kBadPath,
       "empty path"},
      {"remove absent", [](sdk::Record& r) { return r.Remove("gone"); }, Reason::kMissing,
       "no member \"gone\""},
      {"list index", [](sdk::Record& r) { return r.At<sdk::List>("l").Find<int>(2).error(); },
       Reason::kMissing, "\"[2]\": missing"},
  };
  record.Set("l", sdk::List(library, {1})).Set("m", -1).Set("big", 300);
  for (const MistakeCase& c : cases) {
    SCOPED_TRACE(c.mistake);
    const sdk::Status status = c.attempt(record);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().reason(), c.reason);
    EXPECT_NE(std::string(status.error().what()).find(c.text), std::string::npos)
        << status.error().what();
    EXPECT_THROW(status.value(), sdk::Error);
  }
  // Nothing was changed by the failed writes, and the text in the way is still a text.
  EXPECT_EQ(record.At<std::string>("config/app/name"), "probe");
  EXPECT_FALSE(record.Contains("a"));
  EXPECT_THROW(record.Set("config/app/name/sub", 1), sdk::Error);
  // Replacing a member in the way takes an explicit request.
  record.Set("config/app/name/sub", 1, sdk::PathMode::kReplaceNonRecords);
  EXPECT_EQ(record.At<int>("config/app/name/sub"), 1);
  // A null text is "" and an unsupported inline size throws, like the other creators.
  record.Set("t", static_cast<const char*>(nullptr));
  EXPECT_EQ(record.At<std::string>("t"), "");
  EXPECT_THROW((void)library.NewUniqueBytes(33), std::length_error);
}

struct ConversionCase {
  const char* what;
  std::function<void(sdk::Record&)> store;
  std::function<bool(const sdk::Record&)> read;  // true when the read answers as expected
};

template <class T>
std::function<bool(const sdk::Record&)> Reads(T expected) {
  return [expected](const sdk::Record& r) { return r.Get<T>("v") == expected; };
}
template <class T>
std::function<bool(const sdk::Record&)> Refuses(Reason reason) {
  return [reason](const sdk::Record& r) {
    const sdk::Result<T> result = r.Find<T>("v");
    return !result && result.error().reason() == reason;
  };
}

TEST_F(SdkRecord, NumbersConvertWhenTheAskedTypeHoldsThem) {
  static constexpr auto kMax64 = std::numeric_limits<std::int64_t>::max();
  const ConversionCase cases[] = {
      {"int32 as int64", [](auto& r) { r.Set("v", 7); }, Reads<std::int64_t>(7)},
      {"int32 as double", [](auto& r) { r.Set("v", -7); }, Reads<double>(-7.0)},
      {"uint8 as int8", [](auto& r) { r.Set("v", std::uint8_t{127}); }, Reads<std::int8_t>(127)},
      {"uint8 128 as int8", [](auto& r) { r.Set("v", std::uint8_t{128}); },
       Refuses<std::int8_t>(Reason::kNotRepresentable)},
      {"-1 as uint64", [](auto& r) { r.Set("v", -1); },
       Refuses<std::uint64_t>(Reason::kNotRepresentable)},
      {"int64 max as uint64", [](auto& r) { r.Set("v", kMax64); },
       Reads<std::uint64_t>(static_cast<std::uint64_t>(kMax64))},
      {"uint64 max as int64", [](auto& r) { r.Set("v", ~std::uint64_t{0}); },
       Refuses<std::int64_t>(Reason::kNotRepresentable)},
      {"2^53+1 as double", [](auto& r) { r.Set("v", (std::int64_t{1} << 53) + 1); },
       Refuses<double>(Reason::kNotRepresentable)},
      {"2^24+1 as float", [](auto& r) { r.Set("v", (1 << 24) + 1); },
       Refuses<float>(Reason::kNotRepresentable)},
      {"2.0 as int", [](auto& r) { r.Set("v", 2.0); }, Reads<int>(2)},
      {"2.5 as int", [](auto& r) { r.Set("v", 2.5); }, Refuses<int>(Reason::kNotRepresentable)},
      {"-2^63 as int64", [](auto& r) { r.Set("v", -9223372036854775808.0); },
       Reads<std::int64_t>(std::numeric_limits<std::int64_t>::min())},
      {"2^63 as int64", [](auto& r) { r.Set("v", 9223372036854775808.0); },
       Refuses<std::int64_t>(Reason::kNotRepresentable)},
      {"NaN as int", [](auto& r) { r.Set("v", std::nan("")); },
       Refuses<int>(Reason::kNotRepresentable)},
      {"0.1 as float", [](auto& r) { r.Set("v", 0.1); }, Reads<float>(0.1f)},
      {"1e300 as float", [](auto& r) { r.Set("v", 1e300); },
       Refuses<float>(Reason::kNotRepresentable)},
      {"float as double", [](auto& r) { r.Set("v", 0.5f); }, Reads<double>(0.5)},
      {"bool as int", [](auto& r) { r.Set("v", true); }, Refuses<int>(Reason::kWrongType)},
      {"int as bool", [](auto& r) { r.Set("v", 1); }, Refuses<bool>(Reason::kWrongType)},
      {"numbers as int8s",
       [](auto& r) {
         r.Set("v", {1.0, -2.0});
       },
       Reads<std::vector<std::int8_t>>({1, -2})},
      {"numbers that do not fit",
       [](auto& r) {
         r.Set("v", std::vector<int>{1, 300});
       },
       Refuses<std::vector<std::uint8_t>>(Reason::kNotRepresentable)},
      {"list of numbers as doubles",
       [](auto& r) {
         r.Set("v", sdk::List(r.library(), {1, 2.5f}));
       },
       Reads<std::vector<double>>({1.0, 2.5})},
      {"texts as a list",
       [](auto& r) {
         r.Set("v", std::vector<std::string>{"a", "b"});
       },
       Reads<std::vector<std::string>>({"a", "b"})},
      {"text as numbers", [](auto& r) { r.Set("v", "12"); },
       Refuses<std::vector<int>>(Reason::kWrongType)},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.what);
    c.store(record);
    EXPECT_TRUE(c.read(record));
  }
}

// Names a scalar type after its record: "int64" for kivo::sdk::int64.
struct ScalarNames {
  template <class T>
  static std::string GetName(int) {
    return sdk::ScalarName<T>();
  }
};

template <class T>
class SdkScalars : public SdkRecord {};
using ScalarTypes =
    ::testing::Types<bool, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                     std::uint32_t, std::int64_t, std::uint64_t, float, double>;
TYPED_TEST_SUITE(SdkScalars, ScalarTypes, ScalarNames);

// Every scalar type keeps its width and its extremes, alone and in a vector.
TYPED_TEST(SdkScalars, RoundTripAtTheirOwnWidth) {
  using T = TypeParam;
  for (const T value : {std::numeric_limits<T>::lowest(), T{1}, std::numeric_limits<T>::max()}) {
    this->record.Set("a/scalar", value);
    EXPECT_EQ(this->record.template At<T>("a/scalar"), value);
    EXPECT_EQ(this->record.TypeAt("a/scalar").kind, sdk::KindOf<T>());
    if constexpr (!std::is_same_v<T, bool>) {
      this->record.Set("a/numbers", std::vector<T>{value, T{0}});
      EXPECT_EQ(this->record.template At<std::vector<T>>("a/numbers"),
                (std::vector<T>{value, T{0}}));
    }
  }
}

struct TypeCase {
  const char* path;
  const char* type;
};

TEST_F(SdkRecord, TypeAtNamesWhatIsStored) {
  static constexpr kivo::utility::InterfaceId kPoint{"example::Point",
                                                     kivo::utility::NameCode("example::Point")};
  auto bytes = library.NewUniqueBytes(12);
  bytes->SetTypeId(&kPoint);
  sdk::Value point(library, library.NewSharedValue());
  point.object()->Reset(bytes.release());
  // The record keeps a copy of the object until the fixture ends, after this body.
  static kivo::testing::CountingLog log;
  sdk::Value foreign = sdk::Value(
      library,
      sdk::MakeObjectValue(library, sdk::Ptr<kivo::testing::CountingObject>(
                                        sdk::adopt, kivo::testing::CountingObject::New(log))));
  record.Set("empty", nullptr)
      .Set("flag", false)
      .Set("wide", std::uint16_t{1})
      .Set("f", 1.5f)
      .Set("numbers", {1.0, 2.0})
      .Set("list", sdk::List(library))
      .Set("point", point)
      .Set("foreign", foreign);
  const TypeCase cases[] = {
      {"absent", "missing"},
      {"empty", "empty"},
      {"flag", "bool"},
      {"wide", "uint16"},
      {"n", "int32"},
      {"f", "float"},
      {"config/app/name", "text"},
      {"numbers", "numbers of double"},
      {"list", "list"},
      {"config", "record"},
      {"point", "bytes of 12 (example::Point)"},
      {"foreign", "object of kivo::testing::ICountingObject"},
  };
  for (const TypeCase& c : cases) EXPECT_EQ(record.TypeAt(c.path).ToString(), c.type) << c.path;
}

TEST_F(SdkRecord, NestedRecordsAndListsReadFromAPathAreTheStoredOnes) {
  record.At<sdk::Record>("config/app").Set("port", 8080);
  EXPECT_EQ(record.At<int>("config/app/port"), 8080);
  record.Set("tags", sdk::List(library, {"a"}));
  record.At<sdk::List>("tags").Append(2).Append(sdk::Record(library, {{"k", true}}));
  const sdk::List tags = record.At<sdk::List>("tags");
  ASSERT_EQ(tags.Size(), 3u);
  EXPECT_EQ(tags.At<int>(1), 2);
  EXPECT_EQ(tags.At<sdk::Record>(2).At<bool>("k"), true);
  std::vector<std::string> seen;
  for (const sdk::Value& value : tags) seen.push_back(value.Type().ToString());
  EXPECT_EQ(seen, (std::vector<std::string>{"text", "int32", "record"}));
}

TEST_F(SdkRecord, KeysAndIterationGoInBytewiseOrder) {
  sdk::Record keys(library, {{"b", 1}, {"ab", 2}, {"a", 3}, {"B", 4}});
  EXPECT_EQ(keys.Keys(), (std::vector<std::string>{"B", "a", "ab", "b"}));
  std::string walked;
  for (const auto& [key, value] : keys) walked += key + "=" + std::to_string(value.As<int>()) + " ";
  EXPECT_EQ(walked, "B=4 a=3 ab=2 b=1 ");
  EXPECT_TRUE(keys.Remove("ab").ok());
  EXPECT_EQ(keys.Size(), 3u);
  EXPECT_TRUE(sdk::Record(library).Empty());
}

// Set and Clone copy deeply (lists too), handles share, and == compares data, not types.
TEST_F(SdkRecord, CopiesAreIndependentAndEqualityIsByValue) {
  record.Set("list", sdk::List(library, {sdk::Record(library, {{"x", 1}})}));
  sdk::Record clone = record.Clone();
  EXPECT_EQ(clone, record);
  clone.At<sdk::List>("list").At<sdk::Record>(0).Set("x", 2);
  EXPECT_NE(clone, record);
  EXPECT_EQ(record.At<sdk::List>("list").At<sdk::Record>(0).At<int>("x"), 1);

  sdk::Record handle = record;
  handle.Set("n", std::int64_t{7});
  EXPECT_EQ(record.TypeAt("n").kind, Kind::kInt64) << "a copy of a Record is a handle";
  record.Set("self", record);  // a copy, so no cycle
  EXPECT_EQ(record.At<sdk::Record>("self").Contains("self"), false);

  sdk::Record narrow(library, {{"n", 7}, {"f", 0.1f}, {"v", {1, 2}}});
  sdk::Record wide(library, {{"n", 7.0}, {"f", 0.1}, {"v", sdk::List(library, {1.0, 2})}});
  EXPECT_EQ(narrow, wide);
  wide.Set("v", {1, 3});
  EXPECT_NE(narrow, wide);
}

TEST_F(SdkRecord, MergeReplacesNestedRecordsWholeAndMergeDeepMergesThem) {
  const sdk::Record other(library, {{"config/app/port", 1}, {"extra", true}});
  sdk::Record shallow = record.Clone();
  EXPECT_EQ(shallow.Merge(other), 2u);
  EXPECT_FALSE(shallow.Contains("config/app/name"));
  EXPECT_EQ(shallow.Merge(other, /*overwrite=*/false), 0u);
  record.MergeDeep(other);
  EXPECT_EQ(record.At<std::string>("config/app/name"), "probe");
  EXPECT_EQ(record.At<int>("config/app/port"), 1);
  EXPECT_TRUE(record.At<bool>("extra"));
}

TEST_F(SdkRecord, FieldListsStoreAStructAsARecordAndReadItBack) {
  const probe::Place place{"Greenhouse", 52.5, {1, 2}};
  record.Set("place", place);
  EXPECT_EQ(record.At<double>("place/latitude"), 52.5);
  const probe::Place back = record.At<probe::Place>("place");
  EXPECT_EQ(back.name, "Greenhouse");
  EXPECT_EQ(back.codes, (std::vector<int>{1, 2}));
  ASSERT_TRUE(record.Remove("place/codes").ok());
  const sdk::Result<probe::Place> partial = record.Find<probe::Place>("place");
  ASSERT_FALSE(partial);
  EXPECT_STREQ(partial.error().what(), R"("place/codes": missing (no member "codes"))");
}

}  // namespace
