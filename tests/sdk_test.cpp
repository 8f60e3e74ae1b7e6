// The client layer: owners, the library bound at link and at run time, plugins, records'
// conversions and errors, the dump and JSON.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/module_loader.h"
#include "kivo/sdk/plugin_host.h"
#include "kivo/sdk/sdk.h"
#include "support/counting_object.h"

namespace {

namespace sdk = kivo::sdk;
using kivo::containers::ISharedTypelessObject;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::IObject;
using sdk::adopt;
using sdk::Ptr;

static_assert(std::is_same_v<decltype(&std::declval<Ptr<IObject>&>()), Ptr<IObject>*>);
static_assert(!std::is_copy_constructible_v<Ptr<IObject>>);
static_assert(!std::is_convertible_v<IObject*, Ptr<IObject>>, "adopting must be explicit");

TEST(SdkPtr, EveryObjectOwnedIsEndedExactlyOnce) {
  CountingLog log;
  const auto make = [&log] { return CountingObject::New(log); };
  {
    Ptr<CountingObject> a(adopt, make());
    Ptr<CountingObject> b(std::move(a));  // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_TRUE(!a && b && log.destroyed == 0);
    a = Ptr<CountingObject>(adopt, make());
    b = std::move(a);  // ends the one b held
    Ptr<CountingObject>& alias = b;
    b = std::move(alias);  // keeps it
    EXPECT_TRUE(b && log.destroyed == 1);
    Ptr<IObject> base = std::move(b);  // NOLINT(bugprone-use-after-move)
    EXPECT_FALSE(b);
    base.reset();
    base = nullptr;
    EXPECT_EQ(log.destroyed, 2);
    a.attach(make());
    CountingObject* const raw = a.release();
    EXPECT_FALSE(a);
    a.attach(raw);
    a.attach(a.get());  // the same one again: nothing ends
    EXPECT_EQ(a.detach(), raw);
    EXPECT_EQ(log.destroyed, 2);
    raw->Destroy();
    a.attach(make());
    CountingObject** const slot = a.put();  // ends the previous one
    EXPECT_TRUE(*slot == nullptr && log.destroyed == 4);
    *slot = make();
    a.attach(make());
    EXPECT_EQ(log.destroyed, 5);
  }
  EXPECT_EQ(log.destroyed, 6);
  EXPECT_EQ(log.created, 6);
  const sdk::Library library = sdk::LinkedLibrary();
  Ptr<IObject> object = library.NewString("text");
  EXPECT_FALSE(sdk::InterfaceCast<kivo::containers::ICompoundObject>(std::move(object)));
  ASSERT_TRUE(object) << "a failed conversion leaves the object with its owner";
  EXPECT_STREQ(sdk::InterfaceCast<kivo::containers::IStringObject>(std::move(object))->GetString(),
               "text");
  EXPECT_FALSE(object);  // NOLINT(bugprone-use-after-move)
}

TEST(SdkLibrary, LoadingBindsTheModuleOrNamesItAndWhatItLacks) {
  EXPECT_STREQ(sdk::LoadLibraryModule(KIVO_TEST_LIBRARY_PATH).NewString("x")->GetString(), "x");
#if defined(_WIN32)
  static constexpr char kNoExports[] = "kernel32.dll";
#else
  static constexpr char kNoExports[] = "libm.so.6";
#endif
  const std::pair<void (*)(), const char*> cases[] = {
      {[] { (void)sdk::LoadLibraryModule("no_such_module.so"); }, "'no_such_module.so'"},
      {[] { (void)sdk::LoadLibraryModule(kNoExports); }, "'KivoCompoundObjectAllocator'"},
      {[] { (void)sdk::LoadLibraryModule(kNoExports); }, kNoExports},
      {[] { sdk::Plugin("no_such_plugin.so"); }, "no_such_plugin.so"},
      {[] { sdk::Plugin(KIVO_TEST_LIBRARY_PATH); }, KIVO_TEST_LIBRARY_PATH},
  };
  for (const auto& [load, text] : cases) {
    try {
      load();
      ADD_FAILURE() << "loaded " << text;
    } catch (const sdk::LoadError& error) {
      EXPECT_NE(std::string(error.what()).find(text), std::string::npos) << error.what();
    }
  }
}

bool IsLoaded(const char* path) {
#if defined(_WIN32)
  return ::GetModuleHandleA(path) != nullptr;
#else
  void* const module = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  return module != nullptr && ::dlclose(module) == 0;
#endif
}

// The plugin labels its scalars with the host's records, so they outlive it. It refuses a table
// with a null entry; what it throws comes back as a message.
TEST(SdkPlugin, ScalarsOutliveThePluginAndFailuresBecomeMessages) {
  const sdk::Library library = sdk::LinkedLibrary();
  const auto run = [](const sdk::ExportTable& table, sdk::Record record) {
    return sdk::Plugin(KIVO_TEST_SCALAR_PLUGIN).Run(table, record.object());
  };
  sdk::Record stored(library);
  const sdk::PluginResult result = run(library.exports(), stored);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(result.message, "stored 11 scalars");
  ASSERT_FALSE(IsLoaded(KIVO_TEST_SCALAR_PLUGIN)) << "the plugin must really be unloaded";
#define KIVO_TEST_CHECK(Type, Name, Kind)                                         \
  EXPECT_EQ(stored.At<Type>(#Name), std::numeric_limits<Type>::max()) << #Name;   \
  EXPECT_EQ(stored.At<sdk::Value>(#Name).object()->GetConstUnique()->GetTypeId(), \
            sdk::ScalarTypeId<Type>());
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_TEST_CHECK)
#undef KIVO_TEST_CHECK
  const sdk::PluginResult failed = run(library.exports(), {library, {{"throw", "asked to"}}});
  EXPECT_EQ(failed.status, sdk::kPluginFailed);
  EXPECT_EQ(failed.message, "failed: asked to");
  sdk::ExportTable table = library.exports();
  table.KivoStringObjectAllocator = nullptr;
  sdk::Record untouched(library);
  const sdk::PluginResult refused = run(table, untouched);
  EXPECT_EQ(refused.status, sdk::kPluginBadTable);
  EXPECT_EQ(refused.message, "the export table lacks the export KivoStringObjectAllocator");
  EXPECT_TRUE(untouched.Empty());
  EXPECT_THROW(sdk::Library{table}, sdk::ExportTableError);
  EXPECT_THROW(sdk::CheckExportTable(nullptr), sdk::ExportTableError);
}

// What an operation answers: "ok", or the text of its error.
std::string Text(const sdk::Status& status) { return status.ok() ? "ok" : status.error().what(); }
std::string Set(sdk::Record& record, const char* path) { return Text(record.TrySet(path, 1)); }
std::string Remove(sdk::Record& record, const char* path) { return Text(record.Remove(path)); }

// What reading path as T answers: the type and JSON text of the value stored as T, or the error.
template <class T>
std::string Read(sdk::Record& record, const char* path) {
  const sdk::Result<T> got = record.Find<T>(path);
  if (!got) return got.error().what();
  const auto value = sdk::Record(record.library(), {{"v", *got}}).At<sdk::Value>("v");
  return value.Type().ToString() + " " + value.Dump(0);
}

TEST(SdkRecord, ReadsConvertWhenTheAskedTypeHoldsTheValueAndMistakesSayWhy) {
  const sdk::Library library = sdk::LinkedLibrary();
  sdk::Record record(library, {{"a/name", "probe"},
                               {"i", 7},
                               {"m", -1},
                               {"big", 300},
                               {"u8", std::uint8_t{128}},
                               {"max", ~std::uint64_t{0}},
                               {"p53", (std::int64_t{1} << 53) + 1},
                               {"p24", (1 << 24) + 1},
                               {"two", 2.0},
                               {"half", 2.5},
                               {"low", -0x1p63},
                               {"high", 0x1p63},
                               {"nan", std::nan("")},
                               {"tenth", 0.1},
                               {"huge", 1e300},
                               {"yes", true},
                               {"ds", {1.0, -2.0}},
                               {"is", std::vector<int>{1, 300}},
                               {"list", sdk::List(library, {1, 2.5f})},
                               {"texts", std::vector<std::string>{"x"}}});
  const struct {
    std::string (*run)(sdk::Record&, const char*);
    const char *path, *answer;
  } cases[] = {
      {Read<std::int64_t>, "i", "int64 7"},
      {Read<double>, "m", "double -1"},
      {Read<std::int8_t>, "big", "\"big\": not representable: int32 300 does not fit int8"},
      {Read<unsigned>, "m", "\"m\": not representable: int32 -1 does not fit uint32"},
      {Read<std::int8_t>, "u8", "\"u8\": not representable: uint8 128 does not fit int8"},
      {Read<std::uint8_t>, "u8", "uint8 128"},
      {Read<std::int64_t>, "max",
       "\"max\": not representable: uint64 18446744073709551615 does not fit int64"},
      {Read<double>, "p53",
       "\"p53\": not representable: int64 9007199254740993 does not fit double"},
      {Read<float>, "p24", "\"p24\": not representable: int32 16777217 does not fit float"},
      {Read<int>, "two", "int32 2"},
      {Read<int>, "half", "\"half\": not representable: double 2.500000 does not fit int32"},
      {Read<std::int64_t>, "low", "int64 -9223372036854775808"},
      {Read<std::int64_t>, "high",
       "\"high\": not representable: double 9223372036854775808.000000 does not fit int64"},
      {Read<int>, "nan", "\"nan\": not representable: double nan does not fit int32"},
      {Read<float>, "tenth", "float 0.1"},
      {Read<float>, "huge", "\"huge\": not representable: double 1000000000000000052504"},
      {Read<int>, "yes", "\"yes\": wrong type: holds bool, asked for int32"},
      {Read<bool>, "i", "\"i\": wrong type: holds int32, asked for bool"},
      {Read<std::vector<std::int8_t>>, "ds", "numbers of int8 [1, -2]"},
      {Read<std::vector<std::uint8_t>>, "is",
       "\"is[1]\": not representable: int32 300 does not fit uint8"},
      {Read<std::vector<double>>, "list", "numbers of double [1, 2.5]"},
      {Read<std::vector<int>>, "a/name",
       "\"a/name\": wrong type: holds text, asked for numbers of int32"},
      {Read<std::vector<std::string>>, "texts", "list [\"x\"]"},
      {Read<std::string>, "a/nam", "\"a/nam\": missing (no member \"nam\" in \"a\")"},
      {Read<int>, "a/name/x",
       "\"a/name/x\": path runs through a non-record member: \"a/name\" holds text"},
      {Read<int>, "i/x", "\"i/x\": path runs through a non-record member: \"i\" holds int32"},
      {Read<int>, "", "bad path: empty path"},
      {Set, "a/name/sub",
       "\"a/name/sub\": path runs through a non-record member: \"a/name\" holds text; "
       "PathMode::kReplaceNonRecords replaces it"},
      {Set, "a//b", "\"a//b\": bad path: empty segment"},
      {Set, "n/", "\"n/\": bad path: trailing slash"},
      {Remove, "/i", "\"/i\": bad path: leading slash"},
      {Remove, "gone", "\"gone\": missing (no member \"gone\")"},
  };
  for (const auto& c : cases) {  // the answer, or a long one's start
    const std::string answer = c.run(record, c.path);
    EXPECT_EQ(answer.substr(0, std::strlen(c.answer)), c.answer) << answer;
  }
  EXPECT_EQ(record.At<std::string>("a/name"), "probe");  // failed writes change nothing
  EXPECT_THROW(record.Set("a/name/sub", 1), sdk::Error);
  record.Set("a/name/sub", 1, sdk::PathMode::kReplaceNonRecords);
  EXPECT_EQ(record.At<int>("a/name/sub"), 1);
  EXPECT_EQ(sdk::Record(library, {{"n", 7}, {"v", {1, 2}}}),  // by value, not type
            sdk::Record(library, {{"n", 7.0}, {"v", sdk::List(library, {1.0, 2})}}));
}

TEST(SdkDump, TextsAreEscapedAndStayValidUtf8AndASelfHoldingRecordEndsInAMarker) {
  const sdk::Library library = sdk::LinkedLibrary();
  const std::pair<Ptr<ISharedTypelessObject>, const char*> cases[] = {
      {sdk::MakeText(library, "say \"hi\" \\ tab\tline\nreturn\r\x01\x7f"),
       R"("say \"hi\" \\ tab\tline\nreturn\r\u0001\u007f")"},
      {sdk::MakeText(library, "Gr\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80"),
       "\"Gr\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {sdk::MakeText(library, "bad \xFF \xC3( \xE0\x80\x80"),
       R"("bad \u00ff \u00c3( \u00e0\u0080\u0080")"},
      {sdk::MakeVector(library, {std::nan(""), -HUGE_VAL, 1e300}),
       R"(["NaN", "-Infinity", 1e+300])"},
  };
  for (const auto& [value, json] : cases) EXPECT_EQ(sdk::Dump(value.get(), 0), json);
  Ptr<ISharedTypelessObject> value = sdk::MakeObjectValue(library, library.NewRecord());
  auto* self = sdk::PayloadAs<kivo::containers::ICompoundObject>(*value);
  ASSERT_TRUE(self->Set("self", value.get(), true));
  const std::string dump = sdk::Dump(*self, 0);
  EXPECT_EQ(dump.rfind(R"({"self": {"self": )", 0), 0u) << dump;
  EXPECT_NE(dump.find("\"<nested too deep>\""), std::string::npos);
  ASSERT_TRUE(self->Remove("self"));  // breaks the cycle, so the record can end
}

TEST(SdkJson, DumpThenParseGivesAnEqualRecordAndBadTextSaysWhereAndWhy) {
  const sdk::Library library = sdk::LinkedLibrary();
  using I64 = std::numeric_limits<std::int64_t>;
  const sdk::Record record(
      library,
      {{"t", {{"escapes", "q\" b\\ \n\t\r\x01\x7f"}, {"utf8", "Gr\xC3\xBC"}, {"e", ""}}},
       {"u8", std::vector<std::uint8_t>{0, 255}},
       {"i64", std::vector<std::int64_t>{I64::min(), I64::max()}},
       {"u64", ~std::uint64_t{0}},
       {"f", {0.1f, -2.5e-30f}},
       {"d", {0.1, -0.0, 1e300, 3.0}},
       {"flags", sdk::List(library, {true, false, nullptr})},
       {"nested", sdk::List(library, {sdk::List(library), sdk::Record(library), 1, "x"})}});
  for (const int indent : {0, 2}) {
    const sdk::Result<sdk::Record> parsed = sdk::Parse(library, record.Dump(indent));
    ASSERT_TRUE(parsed) << parsed.error().what();
    EXPECT_EQ(*parsed, record) << parsed->Dump(indent);
  }
  EXPECT_EQ(sdk::RecordFromJson(library, nlohmann::json(record)).value(), record);
  std::string deep = "1";
  for (int i = 0; i < 101; ++i) deep = "{\"a\": " + deep + "}";
  const std::pair<std::string, const char*> cases[] = {
      {"{\n  \"a\": 1,\n  \"b\": tru\n}", "line 3, column 11: bad JSON: syntax error"},
      {"{\"a\": [1, 2}", "line 1, column 12"},
      {"", "line 1, column 1"},
      {R"({"a/b": 1})", "\"a/b\": bad JSON: a key holds a slash"},
      {R"({"a": ["x\u0000y"]})", "\"a[0]\": bad JSON: a text holds a NUL"},
      {deep, "nested deeper than 100"},
      {"[1, 2]", "holds a JSON array, asked for record"},
  };
  for (const auto& [text, message] : cases) {
    const sdk::Result<sdk::Record> parsed = sdk::Parse(library, text);
    ASSERT_FALSE(parsed) << text;
    EXPECT_NE(std::string(parsed.error().what()).find(message), std::string::npos)
        << parsed.error().what();
  }
}

}  // namespace
