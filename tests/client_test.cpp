// The library and its client layer as a separately built client sees them: type records first
// used on many threads, exceptions crossing the module boundary both ways, owners, the library
// bound at link and at run time, plugins, records' conversions and errors, the dump and JSON.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "kivo/sdk/json.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/module_loader.h"
#include "kivo/sdk/plugin_host.h"
#include "kivo/sdk/sdk.h"
#include "support/objects.h"

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
using namespace kivo::containers;  // every interface of the library
using namespace kivo::testing;     // the test helpers
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using sdk::Ptr;

// Runs work(i) on threads i = 0 to 3 started together, and waits for them.
template <class Work>
void OnFourThreads(Work work) {
  std::atomic<int> waiting{4};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      for (waiting.fetch_sub(1); waiting.load() > 0;) std::this_thread::yield();
      work(i);
    });
  for (std::thread& thread : threads) thread.join();
}

// Runs first in this program, so the records are still untouched: threads started together make
// an object of every export and read its record (and a unique object's "void" record).
TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
  std::vector<const InterfaceId*> seen[4];
  OnFourThreads([&seen](int i) {
    for (const auto& [name, allocator] : kEveryExport) {
      auto object = Make<IObject>(allocator);
      seen[i].push_back(object->GetInterfaceId());
      if (auto* unique = dynamic_cast<IUniqueTypelessObject*>(object.get()))
        seen[i].push_back(unique->GetTypeId());
    }
  });
  for (const auto& mine : seen) EXPECT_EQ(mine, seen[0]);
  for (const InterfaceId* record : seen[0])
    EXPECT_EQ(record->code, kivo::utility::NameCode(record->name)) << record->name;
}

// Handles to one payload shared and ended on many threads at once: exactly one Destroy ends it.
TEST(Threads, HandlesToOnePayloadComeAndGoOnManyThreads) {
  CountingLog log;
  auto first = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
  OnFourThreads([&first](int) {
    for (int i = 0; i < 5000; ++i) Handle<ISharedTypelessObject>(first->Share());
  });
  EXPECT_EQ(log.Alive(), 1);
  first.reset();
  EXPECT_EQ(log.Alive(), 0);
}

TEST(CrossModuleException, ExceptionsCrossTheBoundaryBothWays) {
  // The library's arrive as the standard types with their texts: here a bad_cast from a member
  // labelled as a nested record whose payload is a string object.
  auto record = RecordOf({{"member", "t"}});
  Handle<ISharedTypelessObject> member(record->Get("member", nullptr));
  member->GetUnique()->SetTypeId(InterfaceIdOf<ICompoundObject>());
  EXPECT_EQ(ErrorText<std::bad_cast>([&] { record->GetTotalCount(); }), "bad cast");
  // A client's unwinds through the library's frames, which release the half-made copy.
  CountingLog log;
  log.throw_on_copy = true;
  {
    auto source = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
    auto copy = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    EXPECT_THROW(copy->CopyFrom(source.get()), CountingLog*);
    EXPECT_EQ(log.Alive(), 1);
    EXPECT_EQ(copy->GetData(), nullptr);
  }
  EXPECT_EQ(log.Alive(), 0);
}

static_assert(std::is_same_v<decltype(&std::declval<Ptr<IObject>&>()), Ptr<IObject>*>);
static_assert(!std::is_copy_constructible_v<Ptr<IObject>>);
static_assert(!std::is_convertible_v<IObject*, Ptr<IObject>>, "adopting must be explicit");

TEST(SdkPtr, EveryObjectOwnedIsEndedExactlyOnce) {
  CountingLog log;
  const auto make = [&log] { return CountingObject::New(log); };
  {
    Ptr<CountingObject> a(sdk::adopt, make()), b(std::move(a));  // a move ends nothing
    EXPECT_TRUE(!a && b && log.destroyed == 0);                  // NOLINT(bugprone-use-after-move)
    a = Ptr<CountingObject>(sdk::adopt, make());
    b = std::move(a);  // ends the one b held
    Ptr<CountingObject>& alias = b;
    b = std::move(alias);  // keeps it
    Ptr<IObject> base(sdk::adopt, make());
    base = std::move(b);  // ends base's; still one owner of b's
    base.reset();
    base = nullptr;
    a.attach(make());
    CountingObject* const raw = a.release();
    a.attach(raw);
    a.attach(a.get());  // the same one again: nothing ends
    EXPECT_TRUE(a.detach() == raw && log.destroyed == 3);
    raw->Destroy();
    a.attach(make());
    CountingObject** const slot = a.put();  // ends the previous one
    EXPECT_TRUE(*slot == nullptr && log.destroyed == 5);
    *slot = make();
    a.attach(make());
    EXPECT_EQ(log.destroyed, 6);
  }
  EXPECT_TRUE(log.destroyed == 7 && log.created == 7);
  Ptr<IObject> object = sdk::LinkedLibrary().NewString("text");
  EXPECT_FALSE(sdk::InterfaceCast<ICompoundObject>(std::move(object)));
  ASSERT_TRUE(object) << "a failed conversion leaves the object with its owner";
  EXPECT_STREQ(sdk::InterfaceCast<IStringObject>(std::move(object))->GetString(), "text");
  EXPECT_FALSE(object);  // NOLINT(bugprone-use-after-move)
}

TEST(SdkLibrary, LoadingBindsTheModuleOrNamesItAndWhatItLacks) {
  EXPECT_STREQ(sdk::LoadLibraryModule(KIVO_TEST_LIBRARY_PATH).NewString("x")->GetString(), "x");
  const std::pair<void (*)(), const char*> cases[] = {
      {[] { (void)sdk::LoadLibraryModule("no_such_module.so"); }, "'no_such_module.so'"},
      {[] { (void)sdk::LoadLibraryModule(KIVO_TEST_SCALAR_PLUGIN); },
       KIVO_TEST_SCALAR_PLUGIN "' has no export 'KivoCompoundObjectAllocator'"},
      {[] { sdk::Plugin("no_such_plugin.so"); }, "no_such_plugin.so"},
      {[] { sdk::Plugin(KIVO_TEST_LIBRARY_PATH); }, KIVO_TEST_LIBRARY_PATH},
  };
  for (const auto& [load, text] : cases)
    EXPECT_NE(ErrorText<sdk::LoadError>(load).find(text), std::string::npos) << text;
}

bool IsLoaded(const char* path) {
#if defined(_WIN32)
  return ::GetModuleHandleA(path) != nullptr;
#else
  return ::dlopen(path, RTLD_NOW | RTLD_NOLOAD) != nullptr;  // a test that finds it fails anyway
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
  EXPECT_EQ(run(library.exports(), stored).message, "stored 11 scalars");
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

// What reading element i as T answers: the type and JSON text of the value as T, or the error.
template <class T>
std::string Read(const sdk::List& list, std::size_t i) {
  const sdk::Result<T> got = list.Find<T>(i);
  if (!got) return got.error().what();
  const auto value = sdk::List(list.library(), {*got}).At<sdk::Value>(0);
  return value.Type().ToString() + " " + value.Dump(0);
}

// What an operation answered: "ok", or the text of its error.
template <class Answer>
std::string Said(const Answer& answer) {
  return answer.ok() ? "ok" : answer.error().what();
}

// Every answer must hold its expected text: all of it, or the telling part of a long one.
void ExpectAnswers(const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [answer, part] : cases)
    EXPECT_NE(answer.find(part), std::string::npos) << answer;
}

TEST(SdkRecord, ReadsConvertWhenTheAskedTypeHoldsTheValueAndMistakesSayWhereAndWhy) {
  const sdk::Library library = sdk::LinkedLibrary();
  const sdk::List values(
      library, {7, 300, (std::int64_t{1} << 53) + 1, 2.0, 2.5, -0x1p63, 0x1p63, std::nan(""), 0.1,
                1e300, true, "12", std::vector<double>{1.0, -2.0}, sdk::List(library, {1, 2.5f}),
                std::vector<int>{1, 300}, -1});
  sdk::Record record(library, {{"a/name", "probe"}, {"i", 7}});
  ExpectAnswers({
      {Read<std::int64_t>(values, 0), "int64 7"},
      {Read<std::int8_t>(values, 1), "\"[1]\": not representable: int32 300 does not fit int8"},
      {Read<double>(values, 2), "int64 9007199254740993 does not fit double"},
      {Read<int>(values, 3), "int32 2"},
      {Read<int>(values, 4), "\"[4]\": not representable: double 2.500000 does not fit int32"},
      {Read<std::int64_t>(values, 5), "int64 -9223372036854775808"},
      {Read<std::int64_t>(values, 6), "double 9223372036854775808.000000 does not fit int64"},
      {Read<int>(values, 7), "\"[7]\": not representable: double nan does not fit int32"},
      {Read<float>(values, 8), "float 0.1"},
      {Read<float>(values, 9), "\"[9]\": not representable: double 1000000000000000052504"},
      {Read<int>(values, 10), "\"[10]\": wrong type: holds bool, asked for int32"},
      {Read<std::vector<int>>(values, 11), "wrong type: holds text, asked for numbers of int32"},
      {Read<std::vector<std::int8_t>>(values, 12), "numbers of int8 [1, -2]"},
      {Read<std::vector<double>>(values, 13), "numbers of double [1, 2.5]"},
      {Read<std::vector<std::uint8_t>>(values, 14), "\"[14][1]\": not representable: int32 300"},
      {Read<unsigned>(values, 15), "\"[15]\": not representable: int32 -1 does not fit uint32"},
      {Said(record.Find<int>("a/nam")), R"("a/nam": missing (no member "nam" in "a"))"},
      {Said(record.Find<int>("i/x")), R"("i/x": path runs through a non-record member: "i" h)"},
      {Said(record.Find<int>("")), "bad path: empty path"},
      {Said(record.TrySet("a/name/x", 1)), R"("a/name" holds text; PathMode::kReplaceNonRecords)"},
      {Said(record.TrySet("a//b", 1)), R"("a//b": bad path: empty segment)"},
      {Said(record.TrySet("n/", 1)), R"("n/": bad path: trailing slash)"},
      {Said(record.Remove("/i")), R"("/i": bad path: leading slash)"},
      {Said(record.Remove("gone")), R"("gone": missing (no member "gone"))"},
  });
  EXPECT_EQ(record.Dump(0), R"({"a": {"name": "probe"}, "i": 7})");  // the mistakes changed nothing
  EXPECT_THROW(record.Set("a/name/x", 1), sdk::Error);
  record.Set("a/name/x", 1, sdk::PathMode::kReplaceNonRecords);
  EXPECT_EQ(record.At<int>("a/name/x"), 1);
  EXPECT_EQ(sdk::Record(library, {{"n", 7}, {"v", {1, 2}}}),  // equal by value, not by type
            sdk::Record(library, {{"n", 7.0}, {"v", sdk::List(library, {1.0, 2})}}));
}

// Reads from a path give the stored records and lists; Set and Clone copy deeply, a copied
// Record is a handle; Merge replaces nested records whole, MergeDeep merges them.
TEST(SdkRecord, PathsReachTheStoredValuesCopiesAreDeepAndMergeDeepMergesNestedRecords) {
  const sdk::Library library = sdk::LinkedLibrary();
  sdk::Record record(library, {{"b/x", 1}, {"ab", 2}, {"B", sdk::List(library, {"a"})}});
  record.At<sdk::Record>("b").Set("y", 2);
  record.At<sdk::List>("B").Append(sdk::Record(library, {{"k", true}}));
  sdk::Record clone = record.Clone(), handle = record;
  clone.At<sdk::List>("B").At<sdk::Record>(1).Set("k", false);
  handle.Set("ab", 3);
  EXPECT_EQ(record.Dump(0), R"({"B": ["a", {"k": true}], "ab": 3, "b": {"x": 1, "y": 2}})");
  const sdk::Record other(library, {{"b/z", 3}, {"ab", 4}});
  EXPECT_EQ(clone.Merge(other, /*overwrite=*/false), 0u);
  EXPECT_EQ(clone.Merge(other), 2u);
  EXPECT_EQ(clone.Dump(0), R"({"B": ["a", {"k": false}], "ab": 4, "b": {"z": 3}})");
  record.MergeDeep(other);
  EXPECT_EQ(record.At<sdk::Record>("b").Dump(0), R"({"x": 1, "y": 2, "z": 3})");
  record.Set("place", probe::Place{"Greenhouse", 52.5, {1, 2}});
  EXPECT_EQ(record.At<sdk::Record>("place").Dump(0),
            R"({"codes": [1, 2], "latitude": 52.5, "name": "Greenhouse"})");
  EXPECT_EQ(record.At<probe::Place>("place").codes, (std::vector<int>{1, 2}));
  ASSERT_TRUE(record.Remove("place/codes").ok());
  EXPECT_EQ(Said(record.Find<probe::Place>("place")),
            R"("place/codes": missing (no member "codes"))");
}

TEST(SdkJson, DumpEscapesAndParseReadsBackOrSaysWhereAndWhy) {
  const sdk::Library library = sdk::LinkedLibrary();
  using I64 = std::numeric_limits<std::int64_t>;
  const sdk::Record record(
      library,
      {{"l",
        sdk::List(library, {"q\" \\ \t\n\r\x01\x7f", "Gr\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80", "",
                            ~std::uint64_t{0}, std::vector<std::int64_t>{I64::min(), I64::max()},
                            std::vector<float>{0.1f, -2.5e-30f}, std::vector<double>{-0.0, 1e300},
                            true, nullptr, sdk::List(library), sdk::Record(library)})}});
  EXPECT_EQ(record.Dump(0),
            R"({"l": ["q\" \\ \t\n\r\u0001\u007f", ")"
            "Gr\xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80"
            R"(", "", 18446744073709551615, [-9223372036854775808, )"
            R"(9223372036854775807], [0.1, -2.5e-30], [-0, 1e+300], true, null, [], {}]})");
  const sdk::List odd(
      library, {"bad \xFF \xC3( \xE0\x80\x80", std::vector<double>{std::nan(""), -HUGE_VAL}});
  EXPECT_EQ(odd.Dump(0), R"(["bad \u00ff \u00c3( \u00e0\u0080\u0080", ["NaN", "-Infinity"]])");
  EXPECT_EQ(sdk::RecordFromJson(library, nlohmann::json(record)).value(), record);
  std::string deep = "1";
  for (int i = 0; i < 101; ++i) deep = "{\"a\": " + deep + "}";
  // A record that holds itself ends in a marker.
  Ptr<ISharedTypelessObject> value = sdk::MakeObjectValue(library, library.NewRecord());
  auto* self = sdk::PayloadAs<ICompoundObject>(*value);
  ASSERT_TRUE(self->Set("self", value.get(), true));
  ExpectAnswers({
      {Said(sdk::Parse(library, "{\n  \"a\": 1,\n  \"b\": tru\n}")),
       "line 3, column 11: bad JSON: syntax error"},
      {Said(sdk::Parse(library, "")), "line 1, column 1: bad JSON: syntax error"},
      {Said(sdk::Parse(library, R"({"a/b": 1})")), "\"a/b\": bad JSON: a key holds a slash"},
      {Said(sdk::Parse(library, R"({"a": ["x\u0000y"]})")),
       "\"a[0]\": bad JSON: a text holds a NUL"},
      {Said(sdk::Parse(library, deep)), "\": bad JSON: nested deeper than 100"},
      {Said(sdk::Parse(library, "[1, 2]")), "wrong type: holds a JSON array, asked for record"},
      {sdk::Dump(*self, 0), R"({"self": {"self": "<nested too deep>"}})"},
  });
  ASSERT_TRUE(self->Remove("self"));  // breaks the cycle, so the record can end
}

}  // namespace
