// CompoundObject as a client sees it: slots, paths, key order, sharing, deep copies, merges,
// comparisons, entries without an object and members that only claim to be records.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/objects.h"
#include "support/slots.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::CallSlot;
using kivo::testing::CountingHandle;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::testing::Dump;
using kivo::testing::ErrorText;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::PayloadOf;
using kivo::testing::RecordOf;
using kivo::testing::TextAt;
using kivo::testing::TextIn;
using kivo::testing::Wrap;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::VoidInterfaceId;
using Members = std::vector<std::pair<const char*, const char*>>;

const InterfaceId* const kText = InterfaceIdOf<IStringObject>();
const InterfaceId* const kRecord = InterfaceIdOf<ICompoundObject>();
constexpr InterfaceId kCounting{"counting", 0x1234};

// The nested record stored at path; the handle keeps it alive.
ICompoundObject* NestedAt(ICompoundObject& record, const char* path,
                          Handle<ISharedTypelessObject>* handle) {
  handle->reset(record.Get(path, kRecord));
  return static_cast<ICompoundObject*>(PayloadOf(handle->get()));
}

TEST(CompoundObject, OperationsSitInTheirSlots) {
  auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  const auto value = NewText("v");
  using Path = const char*;
  using Type = const InterfaceId*;
  const auto* as_object = static_cast<const IObject*>(record);

  EXPECT_EQ(CallSlot<Type>(record, 1)->code, kivo::containers::kCompoundObjectCode);
  EXPECT_TRUE(CallSlot<bool>(record, 5));  // IsEmpty
  EXPECT_TRUE(CallSlot<bool>(record, 10, Path("a/b"),
                             static_cast<const ISharedTypelessObject*>(value.get()), true));  // Set
  EXPECT_FALSE(CallSlot<bool>(record, 5));
  EXPECT_EQ(CallSlot<std::uint32_t>(record, 6), 1u);                  // GetCount
  EXPECT_EQ(CallSlot<std::uint32_t>(record, 7), 2u);                  // GetTotalCount
  EXPECT_TRUE(CallSlot<bool>(record, 11, Path("a/b"), Type(kText)));  // Contains
  for (const std::size_t slot : {12u, 13u}) {                         // Get, GetConst
    Handle<ISharedTypelessObject> got(
        CallSlot<ISharedTypelessObject*>(record, slot, Path("a/b"), Type(kText)));
    ASSERT_NE(got, nullptr) << slot;
    EXPECT_STREQ(TextIn(got.get())->GetString(), "v");
  }
  const char* key = nullptr;
  CallSlot<void>(record, 15, &key, std::uint32_t{1});  // GetKeys
  EXPECT_STREQ(key, "a");

  auto* copy = CallSlot<IObject*>(record, 4);  // NewInstance
  EXPECT_TRUE(static_cast<ICompoundObject*>(copy)->IsEmpty());
  EXPECT_TRUE(CallSlot<bool>(copy, 2, as_object));                // CopyFrom
  EXPECT_TRUE(CallSlot<bool>(copy, 3, as_object));                // Equals
  EXPECT_EQ(CallSlot<std::uint64_t>(copy, 9, record, true), 1u);  // Merge
  EXPECT_TRUE(CallSlot<bool>(copy, 14, Path("a/b")));             // Remove
  EXPECT_EQ(static_cast<ICompoundObject*>(copy)->GetTotalCount(), 1u);
  CallSlot<void>(copy, 8);  // Clear
  EXPECT_TRUE(static_cast<ICompoundObject*>(copy)->IsEmpty());
  CallSlot<void>(copy, 0);  // Destroy
  record->Destroy();
}

TEST(CompoundPath, SetWalksCreatesAndOverwritesAsThePathSays) {
  struct {
    Members before;
    const char* path;
    bool overwrite, answer;
    const char* after;  // the value set is the text v
  } const cases[] = {
      {{}, "", false, true, R"({"":"v"})"},
      {{}, "a/b/c", false, true, R"({"a":{"b":{"c":"v"}}})"},
      {{}, "a/", false, true, R"({"a":{"":"v"}})"},
      {{}, "/a", true, false, "{}"},
      {{}, "x//y", true, false, R"({"x":{}})"},  // keeps the record made before the failure
      {{}, "x/y//z", false, false, R"({"x":{"y":{}}})"},
      {{{"a", "old"}}, "a", false, false, R"({"a":"old"})"},
      {{{"a", "old"}}, "a", true, true, R"({"a":"v"})"},
      {{{"x", "old"}}, "x/y", false, false, R"({"x":"old"})"},
      {{{"x", "old"}}, "x/y", true, true, R"({"x":{"y":"v"}})"},
      {{{"x", "old"}}, "x//y", true, false, R"({"x":{}})"},
      {{{"a/b", "old"}}, "a/c", false, true, R"({"a":{"b":"old","c":"v"}})"},
      {{{"a/b", "old"}, {"a/c", "k"}}, "a/b", true, true, R"({"a":{"b":"v","c":"k"}})"},
      {{{"a/b", "old"}}, "a/b", false, false, R"({"a":{"b":"old"}})"},
      {{{"a/b", "old"}}, "a", true, true, R"({"a":"v"})"},
      {{{"a/b", "old"}}, "a", false, false, R"({"a":{"b":"old"}})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " overwrite " << c.overwrite);
    auto record = RecordOf(c.before);
    EXPECT_EQ(record->Set(c.path, NewText("v").get(), c.overwrite), c.answer);
    EXPECT_EQ(Dump(*record), c.after);
  }
  auto record = RecordOf({{"a", "1"}});
  EXPECT_FALSE(record->Set(nullptr, NewText("v").get(), true));
  EXPECT_FALSE(record->Set("b/c", nullptr, true));
  EXPECT_EQ(Dump(*record), R"({"a":"1"})");
}

TEST(CompoundPath, ContainsAndGetFindMembersByPathAndTypeCode) {
  // The string object's code under another name and address.
  static constexpr InterfaceId kTextAlias{"alias", kivo::containers::kStringObjectCode};
  const struct {
    const char* path;
    const InterfaceId* type;
    bool found;
  } cases[] = {
      {"a/b", nullptr, true},   {"a/b", kText, true},     {"a/b", &kTextAlias, true},
      {"a/b", kRecord, false},  {"a", kRecord, true},     {"a", kText, false},
      {"a/", kText, true},      {"", nullptr, true},      {"/a", nullptr, false},
      {"a//b", nullptr, false}, {"a/b/", nullptr, false}, {"s/x", nullptr, false},
      {"A/b", nullptr, false},  {"b", nullptr, false},    {"a/b", VoidInterfaceId(), false},
  };
  auto record = RecordOf({{"a/b", "ab"}, {"a/", "a-empty"}, {"s", "s"}, {"", "root"}});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << '"' << c.path << "\" as " << (c.type != nullptr ? c.type->name : "any"));
    EXPECT_EQ(record->Contains(c.path, c.type), c.found);
    Handle<ISharedTypelessObject> got(record->Get(c.path, c.type));
    Handle<ISharedTypelessObject> got_const(std::as_const(*record).GetConst(c.path, c.type));
    ASSERT_EQ(got != nullptr, c.found);
    ASSERT_EQ(got_const != nullptr, c.found);
    if (c.found) {
      EXPECT_EQ(got->GetConstUnique(), got_const->GetConstUnique());
    }
  }
  EXPECT_EQ(TextAt(*record, "a/b"), "ab");
  EXPECT_EQ(TextAt(*record, "a/"), "a-empty");
  EXPECT_EQ(TextAt(*record, ""), "root");
  EXPECT_FALSE(record->Contains(nullptr, nullptr));
  EXPECT_EQ(record->Get(nullptr, nullptr), nullptr);
  EXPECT_EQ(record->GetConst(nullptr, nullptr), nullptr);
  EXPECT_FALSE(record->Remove(nullptr));
}

TEST(CompoundPath, RemoveEndsOnlyTheMemberThePathNames) {
  const char* const kAll = R"({"a":{"b":"1","c":"2"},"d":"3"})";
  const std::pair<const char*, const char*> cases[] = {
      {"a/b", R"({"a":{"c":"2"},"d":"3"})"},
      {"a", R"({"d":"3"})"},
      {"x", kAll},
      {"a/x", kAll},
      {"/a", kAll},
      {"a/b/c", kAll},
      {"", kAll},
  };
  for (const auto& [path, after] : cases) {
    SCOPED_TRACE(path);
    auto record = RecordOf({{"a/b", "1"}, {"a/c", "2"}, {"d", "3"}});
    EXPECT_EQ(record->Remove(path), after != kAll);
    EXPECT_EQ(Dump(*record), after);
  }
}

TEST(CompoundPath, GetKeysWritesAtMostCapacityPointersThatStayPut) {
  auto record = RecordOf({{"c", "3"}, {"a", "1"}, {"a key longer than the inline text", "2"}});
  const char* keys[5] = {"-", "-", "-", "-", "-"};
  record->GetKeys(keys, 0);
  EXPECT_STREQ(keys[0], "-");
  record->GetKeys(keys, 2);
  EXPECT_STREQ(keys[1], "a key longer than the inline text");
  EXPECT_STREQ(keys[2], "-");
  record->GetKeys(keys, 5);
  EXPECT_STREQ(keys[2], "c");
  EXPECT_STREQ(keys[3], "-");

  const char* long_key = keys[1];
  record->Set("b", NewText("new").get(), true);
  record->Remove("c");
  const char* again[3] = {};
  record->GetKeys(again, 3);
  EXPECT_EQ(again[1], long_key);
  EXPECT_STREQ(again[2], "b");
  record->GetKeys(nullptr, 5);  // writes nothing, and does not fail
}

TEST(CompoundObject, SetAndGetShareTheStoredPayload) {
  auto record = NewRecord();
  auto value = NewText("shared");
  ASSERT_TRUE(record->Set("one", value.get(), false));
  ASSERT_TRUE(record->Set("a/b", value.get(), false));
  Handle<ISharedTypelessObject> first(record->Get("a/b", kText));
  Handle<ISharedTypelessObject> second(record->Get("a/b", kText));
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(first->GetUnique(), value->GetUnique());
  EXPECT_EQ(second->GetUnique(), value->GetUnique());
  TextIn(first.get())->SetString("changed through a handle");
  value.reset();
  first.reset();
  EXPECT_EQ(Dump(*record),
            R"({"a":{"b":"changed through a handle"},"one":"changed through a handle"})");

  Handle<ISharedTypelessObject> handle;
  ICompoundObject* nested = NestedAt(*record, "a", &handle);
  ASSERT_TRUE(nested->Set("c", NewText("2").get(), false));
  EXPECT_EQ(TextAt(*record, "a/c"), "2");
  EXPECT_TRUE(record->Remove("a/b"));
  EXPECT_FALSE(nested->Contains("b", nullptr));
}

TEST(CompoundObject, CopyFromMakesADeepCopyThatSharesNothing) {
  auto source = RecordOf({{"a/b", "1"}, {"c", "2"}});
  auto target = RecordOf({{"z", "dropped"}});
  ASSERT_TRUE(target->CopyFrom(source.get()));
  EXPECT_EQ(Dump(*target), R"({"a":{"b":"1"},"c":"2"})");
  Handle<ISharedTypelessObject> mine, theirs;
  EXPECT_NE(NestedAt(*target, "a", &mine), NestedAt(*source, "a", &theirs));
  theirs.reset(source->Get("a/b", kText));
  TextIn(theirs.get())->SetString("changed in the source");
  EXPECT_EQ(Dump(*target), R"({"a":{"b":"1"},"c":"2"})");

  EXPECT_TRUE(target->CopyFrom(target.get()));
  EXPECT_FALSE(target->CopyFrom(nullptr));
  EXPECT_FALSE(target->CopyFrom(Make<IStringObject>(&KivoStringObjectAllocator).get()));
  EXPECT_FALSE(target->CopyFrom(NewText("not a record").get()));
  EXPECT_EQ(Dump(*target), R"({"a":{"b":"1"},"c":"2"})");
}

TEST(CompoundObject, CopyAndMergeFromARecordNestedInTheTargetItself) {
  auto record = RecordOf({{"a/b", "1"}, {"a/c/d", "2"}, {"e", "3"}});
  Handle<ISharedTypelessObject> handle;
  ICompoundObject* nested = NestedAt(*record, "a", &handle);
  handle.reset();  // the record's member is now the only holder of nested
  ASSERT_TRUE(record->CopyFrom(nested));
  EXPECT_EQ(Dump(*record), R"({"b":"1","c":{"d":"2"}})");

  record = RecordOf({{"a/a", "inner"}, {"a/b", "2"}});
  nested = NestedAt(*record, "a", &handle);
  handle.reset();  // replacing the member under a ends nested
  EXPECT_EQ(record->Merge(nested, true), 2u);
  EXPECT_EQ(Dump(*record), R"({"a":"inner","b":"2"})");
}

TEST(CompoundObject, MergeEntersCopiesOfTheDirectMembers) {
  const struct {
    Members target, source;
    bool overwrite;
    std::uint64_t count;
    const char* after;
  } cases[] = {
      {{{"a", "1"}, {"b", "2"}},
       {{"b", "x"}, {"c", "y"}},
       false,
       1,
       R"({"a":"1","b":"2","c":"y"})"},
      {{{"a", "1"}, {"b", "2"}}, {{"b", "x"}, {"c", "y"}}, true, 2, R"({"a":"1","b":"x","c":"y"})"},
      {{{"n/p", "1"}}, {{"n/q", "2"}}, true, 1, R"({"n":{"q":"2"}})"},
      {{{"n/p", "1"}}, {{"n/q", "2"}}, false, 0, R"({"n":{"p":"1"}})"},
      {{}, {{"a", "1"}, {"b/c", "2"}}, false, 2, R"({"a":"1","b":{"c":"2"}})"},
      {{{"a", "1"}}, {}, true, 0, R"({"a":"1"})"},
  };
  for (const auto& c : cases) {
    auto target = RecordOf(c.target);
    auto source = RecordOf(c.source);
    const std::string source_before = Dump(*source);
    SCOPED_TRACE(Dump(*target) + " <- " + source_before);
    EXPECT_EQ(target->Merge(source.get(), c.overwrite), c.count);
    EXPECT_EQ(Dump(*target), c.after);
    EXPECT_EQ(Dump(*source), source_before);
    EXPECT_EQ(target->Merge(target.get(), true), 0u);
    EXPECT_EQ(target->Merge(nullptr, true), 0u);
    EXPECT_EQ(Dump(*target), c.after);
  }
}

TEST(CompoundObject, EqualsComparesKeysAndMembersInOrder) {
  const struct {
    Members a, b;
    bool equal;
  } cases[] = {
      {{}, {}, true},
      {{{"a", "1"}}, {{"a", "1"}}, true},
      {{{"a", "1"}}, {{"a", "2"}}, false},
      {{{"a", "1"}}, {{"b", "1"}}, false},
      {{{"a", "1"}}, {{"a", "1"}, {"b", "2"}}, false},
      {{{"n/x", "1"}, {"m", "2"}}, {{"m", "2"}, {"n/x", "1"}}, true},
      {{{"n/x", "1"}}, {{"n/x", "2"}}, false},
      {{{"n/x", "1"}}, {{"n", "1"}}, false},
  };
  for (const auto& c : cases) {
    auto a = RecordOf(c.a);
    auto b = RecordOf(c.b);
    SCOPED_TRACE(Dump(*a) + " vs " + Dump(*b));
    EXPECT_EQ(a->Equals(b.get()), c.equal);
    EXPECT_EQ(b->Equals(a.get()), c.equal);
  }
  auto record = RecordOf({{"a", "1"}});
  EXPECT_TRUE(record->Equals(record.get()));
  EXPECT_FALSE(record->Equals(nullptr));
  EXPECT_FALSE(record->Equals(Make<IStringObject>(&KivoStringObjectAllocator).get()));
}

TEST(CompoundObject, AFailedMemberCopyLeavesAnEntryThatReadsAsAnEmptyValue) {
  CountingLog log;
  auto source = RecordOf({{"ok", "fine"}});
  source->Set("bad", Wrap(CountingObject::New(log, 7), &kCounting).get(), true);
  auto record = NewRecord();
  log.refuse_copies = true;
  ASSERT_TRUE(record->CopyFrom(source.get()));
  const char* const kWithEntry = R"({"bad":-,"ok":"fine"})";
  EXPECT_EQ(Dump(*record), kWithEntry);
  EXPECT_EQ(record->GetTotalCount(), 2u);
  EXPECT_TRUE(record->Contains("bad", VoidInterfaceId()));
  EXPECT_FALSE(record->Contains("bad", &kCounting));
  EXPECT_EQ(record->Get("bad", &kCounting), nullptr);
  Handle<ISharedTypelessObject> got(record->Get("bad", VoidInterfaceId()));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->GetConstUnique(), nullptr);
  EXPECT_EQ(got->GetTypeId()->code, kivo::containers::kVoidCode);

  EXPECT_FALSE(record->Equals(source.get()));
  auto copy = NewRecord();
  ASSERT_TRUE(copy->CopyFrom(record.get()));  // copies as an entry without an object
  EXPECT_TRUE(copy->Equals(record.get()));
  auto empty = RecordOf({{"ok", "fine"}});  // "bad" an empty shared object, not an entry
  empty->Set("bad", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(), true);
  EXPECT_FALSE(empty->Equals(record.get()));

  auto kept = RecordOf({{"bad", "t"}});
  EXPECT_EQ(kept->Merge(record.get(), false), 1u);
  EXPECT_EQ(Dump(*kept), R"({"bad":"t","ok":"fine"})");
  EXPECT_EQ(kept->Merge(record.get(), true), 2u);
  EXPECT_EQ(Dump(*kept), kWithEntry);
  EXPECT_TRUE(kept->Remove("bad"));
  EXPECT_EQ(Dump(*kept), R"({"ok":"fine"})");
  EXPECT_FALSE(record->Set("bad/x", NewText("v").get(), false));
  EXPECT_EQ(Dump(*record), kWithEntry);
  EXPECT_TRUE(record->Set("bad/x", NewText("v").get(), true));
  EXPECT_EQ(Dump(*record), R"({"bad":{"x":"v"},"ok":"fine"})");
}

TEST(CompoundObject, AMemberThatOnlyClaimsToBeARecordIsNeverWalkedInto) {
  auto bytes = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  bytes->SetTypeId(kRecord);
  auto labelled_bytes = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  labelled_bytes->Reset(bytes.release());
  const Handle<ISharedTypelessObject> members[] = {
      Wrap(NewText("t").release(), kRecord), Wrap(nullptr, kRecord), std::move(labelled_bytes)};
  for (const auto& member : members) {
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", member.get(), true));
    EXPECT_TRUE(record->Contains("f", kRecord));
    EXPECT_FALSE(record->Set("f/x", NewText("v").get(), false));
    EXPECT_FALSE(record->Contains("f/x", nullptr));
    EXPECT_EQ(record->Get("f/x", nullptr), nullptr);
    EXPECT_FALSE(record->Remove("f/x"));
    EXPECT_EQ(record->GetCount(), 1u);
    EXPECT_THROW(record->GetTotalCount(), std::bad_cast);
    EXPECT_TRUE(record->Set("f/x", NewText("v").get(), true));
    EXPECT_EQ(Dump(*record), R"({"f":{"x":"v"}})");
    EXPECT_EQ(record->GetTotalCount(), 2u);
  }
}

TEST(CompoundObject, AHandleWhoseWritableUniqueIsNoRecordMakesEveryWalkThroughItABadCast) {
  // Its read-only unique object says record, its writable one says text, or is missing.
  auto claimed = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  claimed->SetObject(NewRecord().release());
  claimed->SetTypeId(kRecord);
  auto text = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  text->SetObject(Make<IStringObject>(&KivoStringObjectAllocator).release());
  text->SetTypeId(kText);
  const std::function<void(ICompoundObject&)> walks[] = {
      [](ICompoundObject& r) { r.Set("f/x", NewText("v").get(), true); },
      [](ICompoundObject& r) { r.Set("f/x", NewText("v").get(), false); },
      [](ICompoundObject& r) { r.Contains("f/x", nullptr); },
      [](ICompoundObject& r) { Handle<ISharedTypelessObject>(r.Get("f/x", nullptr)); },
      [](ICompoundObject& r) { Handle<ISharedTypelessObject>(r.GetConst("f/x", nullptr)); },
      [](ICompoundObject& r) { r.Remove("f/x"); },
      [](ICompoundObject& r) { r.GetTotalCount(); },
  };
  for (IUniqueTypelessObject* writable :
       {text.get(), static_cast<IUniqueTypelessObject*>(nullptr)}) {
    CountingLog log;
    Handle<CountingHandle> foreign(CountingHandle::New(log, 0));
    foreign->const_unique = claimed.get();
    foreign->unique = writable;
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", foreign.get(), true));
    for (const auto& walk : walks) {
      EXPECT_EQ(ErrorText<std::bad_cast>([&] { walk(*record); }), "bad cast");
    }
    EXPECT_TRUE(record->Contains("f", nullptr));  // no walk through it: no throw
    EXPECT_EQ(record->GetCount(), 1u);
  }
  // Answering alike through both, such a handle is walked through, here 20 records down.
  CountingLog log;
  Handle<CountingHandle> foreign(CountingHandle::New(log, 0));
  foreign->unique = claimed.get();
  std::string path;
  for (int i = 0; i < 20; ++i) path += "a/";
  auto record = NewRecord();
  ASSERT_TRUE(record->Set((path + "f").c_str(), foreign.get(), true));
  EXPECT_TRUE(record->Set((path + "f/x").c_str(), NewText("v").get(), true));
  EXPECT_EQ(TextAt(*record, (path + "f/x").c_str()), "v");
  EXPECT_EQ(record->GetTotalCount(), 22u);
  // Copies and comparisons go through its own CopyFrom (which fails: an entry without an object)
  // and Equals.
  auto copy = NewRecord();
  ASSERT_TRUE(copy->CopyFrom(record.get()));
  EXPECT_EQ(copy->GetTotalCount(), 21u);
  EXPECT_FALSE(copy->Equals(record.get()));
  auto twin = NewRecord();
  twin->Set((path + "f").c_str(), foreign.get(), true);
  EXPECT_TRUE(twin->Equals(record.get()));
  // A handle whose Share answers null is not stored; records made on the way stay.
  foreign->refuse_shares = true;
  EXPECT_FALSE(twin->Set("b/c", foreign.get(), true));
  EXPECT_EQ(Dump(*twin).substr(0, 9), R"({"a":{"a")");
  EXPECT_TRUE(twin->Contains("b", kRecord));
  // Leading back to a record the walk is inside, one the library holds once, it closes a cycle.
  Handle<ISharedTypelessObject> level5(record->Get("a/a/a/a/a", kRecord));
  foreign->unique = level5->GetUnique();
  foreign->refuse_shares = false;
  record->Set((path + "g").c_str(), foreign.get(), true);
  level5.reset();
  EXPECT_EQ(record->GetTotalCount(), 23u);
}

TEST(CompoundObject, AMemberLabelledWithANullTypeRecordIsATypeOfItsOwn) {
  auto record = NewRecord();
  record->Set("t", Wrap(NewText("t").release(), nullptr).get(), true);
  record->Set("r/x", NewText("1").get(), true);
  // A record labelled null: not walked into, but copied and compared as the record it holds.
  record->Set("n",
              Wrap(Make<ICompoundObject>(&KivoCompoundObjectAllocator).release(), nullptr).get(),
              true);
  EXPECT_TRUE(record->Contains("t", nullptr));
  EXPECT_FALSE(record->Contains("t", kText));
  EXPECT_FALSE(record->Contains("n", kRecord));
  EXPECT_FALSE(record->Set("n/x", NewText("v").get(), false));
  EXPECT_EQ(record->GetTotalCount(), 4u);
  auto copy = NewRecord();
  ASSERT_TRUE(copy->CopyFrom(record.get()));
  EXPECT_TRUE(copy->Equals(record.get()));
  // A text labelled as a record against a record: not equal.
  auto other = NewRecord();
  other->Set("r", Wrap(NewText("1").release(), kRecord).get(), true);
  EXPECT_FALSE(other->Equals(RecordOf({{"r/x", "1"}}).get()));
}

}  // namespace
