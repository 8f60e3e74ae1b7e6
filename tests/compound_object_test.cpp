// CompoundObject as a client sees it: slots, sharing, deep copies, merges, comparisons, counts,
// entries without an object and members that only claim to be records.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "compound_test_support.h"
#include "support/counting_object.h"
#include "support/slots.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::CallSlot;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::testing::Dump;
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

const InterfaceId* const kText = InterfaceIdOf<IStringObject>();
const InterfaceId* const kRecord = InterfaceIdOf<ICompoundObject>();

// The nested record stored at path; the handle keeps it alive.
ICompoundObject* NestedAt(ICompoundObject& record, const char* path,
                          Handle<ISharedTypelessObject>* handle) {
  handle->reset(record.Get(path, kRecord));
  return *handle != nullptr ? static_cast<ICompoundObject*>(PayloadOf(handle->get())) : nullptr;
}

TEST(CompoundObject, OperationsSitInTheirSlots) {
  auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  const auto owned_value = NewText("v");
  const ISharedTypelessObject* value = owned_value.get();
  using Path = const char*;
  using Type = const InterfaceId*;

  EXPECT_EQ(CallSlot<Type>(record, 1)->code, kivo::containers::kCompoundObjectCode);
  EXPECT_TRUE(CallSlot<bool>(record, 5));                             // IsEmpty
  EXPECT_TRUE(CallSlot<bool>(record, 10, Path("a/b"), value, true));  // Set
  EXPECT_FALSE(CallSlot<bool>(record, 5));
  EXPECT_EQ(CallSlot<std::uint32_t>(record, 6), 1u);                  // GetCount
  EXPECT_EQ(CallSlot<std::uint32_t>(record, 7), 2u);                  // GetTotalCount
  EXPECT_TRUE(CallSlot<bool>(record, 11, Path("a/b"), Type(kText)));  // Contains
  for (const std::size_t slot : {12u, 13u}) {                         // Get, GetConst
    auto* got = CallSlot<ISharedTypelessObject*>(record, slot, Path("a/b"), Type(kText));
    ASSERT_NE(got, nullptr) << slot;
    EXPECT_STREQ(TextIn(got)->GetString(), "v");
    got->Destroy();
  }
  const char* key = nullptr;
  CallSlot<void>(record, 15, &key, std::uint32_t{1});  // GetKeys
  EXPECT_STREQ(key, "a");

  auto* copy = CallSlot<IObject*>(record, 4);  // NewInstance
  EXPECT_TRUE(static_cast<ICompoundObject*>(copy)->IsEmpty());
  EXPECT_TRUE(CallSlot<bool>(copy, 2, static_cast<const IObject*>(record)));  // CopyFrom
  EXPECT_TRUE(CallSlot<bool>(copy, 3, static_cast<const IObject*>(record)));  // Equals
  EXPECT_EQ(CallSlot<std::uint64_t>(copy, 9, static_cast<const ICompoundObject*>(record), true),
            1u);                                       // Merge
  EXPECT_TRUE(CallSlot<bool>(copy, 14, Path("a/b")));  // Remove
  EXPECT_FALSE(static_cast<ICompoundObject*>(copy)->Contains("a/b", nullptr));
  CallSlot<void>(copy, 8);  // Clear
  EXPECT_TRUE(static_cast<ICompoundObject*>(copy)->IsEmpty());
  CallSlot<void>(copy, 0);  // Destroy
  record->Destroy();
}

TEST(CompoundObject, CountsDirectAndAllMembers) {
  auto record = NewRecord();
  EXPECT_TRUE(record->IsEmpty());
  EXPECT_EQ(record->GetCount(), 0u);
  EXPECT_EQ(record->GetTotalCount(), 0u);
  record = RecordOf({{"a/x", "1"}, {"a/y", "2"}, {"b", "3"}, {"c/d/e", "4"}});
  EXPECT_FALSE(record->IsEmpty());
  EXPECT_EQ(record->GetCount(), 3u);
  EXPECT_EQ(record->GetTotalCount(), 7u);
  record->Clear();
  EXPECT_TRUE(record->IsEmpty());
  EXPECT_EQ(record->GetTotalCount(), 0u);
}

TEST(CompoundObject, NewInstanceIsAnEmptyRecordAndLeavesTheSource) {
  auto record = RecordOf({{"a", "1"}});
  Handle<ICompoundObject> fresh(static_cast<ICompoundObject*>(record->NewInstance()));
  EXPECT_TRUE(fresh->IsEmpty());
  EXPECT_TRUE(fresh->Equals(NewRecord().get()));
  EXPECT_EQ(Dump(*record), R"({"a":"1"})");
}

TEST(CompoundObject, GetHandsOutNewSharesOfTheStoredPayload) {
  auto record = RecordOf({{"a/b", "before"}});
  Handle<ISharedTypelessObject> first(record->Get("a/b", kText));
  Handle<ISharedTypelessObject> second(record->Get("a/b", kText));
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(first->GetUnique(), second->GetUnique());

  TextIn(first.get())->SetString("changed through a handle");
  EXPECT_EQ(TextAt(*record, "a/b"), "changed through a handle");
  first.reset();
  second.reset();
  EXPECT_EQ(TextAt(*record, "a/b"), "changed through a handle");
}

TEST(CompoundObject, SetStoresAShareAndLeavesTheValueToItsCaller) {
  auto record = NewRecord();
  auto value = NewText("shared");
  ASSERT_TRUE(record->Set("one", value.get(), false));
  ASSERT_TRUE(record->Set("two/deep", value.get(), false));
  Handle<ISharedTypelessObject> stored(record->Get("one", nullptr));
  EXPECT_EQ(stored->GetUnique(), value->GetUnique());

  TextIn(value.get())->SetString("seen everywhere");
  value.reset();
  EXPECT_EQ(TextAt(*record, "one"), "seen everywhere");
  EXPECT_EQ(TextAt(*record, "two/deep"), "seen everywhere");
}

TEST(CompoundObject, ANestedRecordFromGetIsTheOneThePathsWalk) {
  auto record = RecordOf({{"a/b", "1"}});
  Handle<ISharedTypelessObject> handle;
  ICompoundObject* nested = NestedAt(*record, "a", &handle);
  ASSERT_NE(nested, nullptr);
  ASSERT_TRUE(nested->Set("c", NewText("2").get(), false));
  EXPECT_EQ(TextAt(*record, "a/c"), "2");
  EXPECT_TRUE(record->Remove("a/b"));
  EXPECT_FALSE(nested->Contains("b", nullptr));
}

TEST(CompoundObject, DestroyEndsEveryMemberUnlessAHandleStillHoldsIt) {
  CountingLog log;
  {
    auto record = NewRecord();
    static constexpr InterfaceId kCounting{"counting", 0x1234};
    record->Set("x/y", Wrap(CountingObject::New(log, 1), &kCounting).get(), true);
    record->Set("z", Wrap(CountingObject::New(log, 2), &kCounting).get(), true);
    Handle<ISharedTypelessObject> kept(record->Get("x/y", nullptr));
    record.reset();
    EXPECT_EQ(log.Alive(), 1);
  }
  EXPECT_EQ(log.Alive(), 0);
}

TEST(CompoundObject, CopyFromMakesADeepCopyThatSharesNothing) {
  auto source = RecordOf({{"a/b", "1"}, {"c", "2"}});
  auto target = RecordOf({{"z", "dropped"}});
  ASSERT_TRUE(target->CopyFrom(source.get()));
  EXPECT_EQ(Dump(*target), R"({"a":{"b":"1"},"c":"2"})");
  EXPECT_TRUE(target->Equals(source.get()));
  EXPECT_TRUE(source->Equals(target.get()));

  Handle<ISharedTypelessObject> mine(target->Get("a/b", kText));
  Handle<ISharedTypelessObject> theirs(source->Get("a/b", kText));
  EXPECT_NE(mine->GetUnique(), theirs->GetUnique());
  EXPECT_NE(PayloadOf(mine.get()), PayloadOf(theirs.get()));
  Handle<ISharedTypelessObject> my_record, their_record;
  EXPECT_NE(NestedAt(*target, "a", &my_record), NestedAt(*source, "a", &their_record));

  TextIn(theirs.get())->SetString("changed in the source");
  source->Set("a/new", NewText("3").get(), false);
  EXPECT_EQ(Dump(*target), R"({"a":{"b":"1"},"c":"2"})");
  EXPECT_FALSE(target->Equals(source.get()));
}

TEST(CompoundObject, CopyFromItselfNullOrAnotherClassKeepsTheMembers) {
  auto record = RecordOf({{"a/b", "1"}});
  auto text = Make<IStringObject>(&KivoStringObjectAllocator);
  auto shared = NewText("not a record");
  EXPECT_TRUE(record->CopyFrom(record.get()));
  EXPECT_FALSE(record->CopyFrom(nullptr));
  EXPECT_FALSE(record->CopyFrom(text.get()));
  EXPECT_FALSE(record->CopyFrom(shared.get()));
  EXPECT_EQ(Dump(*record), R"({"a":{"b":"1"}})");
}

TEST(CompoundObject, CopyFromARecordNestedInTheTargetItself) {
  auto record = RecordOf({{"a/b", "1"}, {"a/c/d", "2"}, {"e", "3"}});
  Handle<ISharedTypelessObject> handle;
  ICompoundObject* nested = NestedAt(*record, "a", &handle);
  handle.reset();  // the record's member is now the only holder of nested
  ASSERT_TRUE(record->CopyFrom(nested));
  EXPECT_EQ(Dump(*record), R"({"b":"1","c":{"d":"2"}})");
}

struct MergeCase {
  const char* what;
  std::vector<std::pair<const char*, const char*>> target, source;
  bool overwrite;
  std::uint64_t count;
  const char* after;
};

TEST(CompoundObject, MergeEntersCopiesOfTheDirectMembers) {
  const MergeCase cases[] = {
      {"one shared key, overwrite clear",
       {{"a", "1"}, {"b", "2"}},
       {{"b", "x"}, {"c", "y"}},
       false,
       1,
       R"({"a":"1","b":"2","c":"y"})"},
      {"one shared key, overwrite set",
       {{"a", "1"}, {"b", "2"}},
       {{"b", "x"}, {"c", "y"}},
       true,
       2,
       R"({"a":"1","b":"x","c":"y"})"},
      {"a nested record is replaced whole",
       {{"n/p", "1"}},
       {{"n/q", "2"}},
       true,
       1,
       R"({"n":{"q":"2"}})"},
      {"a nested record is kept whole",
       {{"n/p", "1"}},
       {{"n/q", "2"}},
       false,
       0,
       R"({"n":{"p":"1"}})"},
      {"into an empty record",
       {},
       {{"a", "1"}, {"b/c", "2"}},
       false,
       2,
       R"({"a":"1","b":{"c":"2"}})"},
      {"from an empty record", {{"a", "1"}}, {}, true, 0, R"({"a":"1"})"},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto target = RecordOf(c.target);
    auto source = RecordOf(c.source);
    const std::string source_before = Dump(*source);
    EXPECT_EQ(target->Merge(source.get(), c.overwrite), c.count);
    EXPECT_EQ(Dump(*target), c.after);
    EXPECT_EQ(Dump(*source), source_before);
  }
}

TEST(CompoundObject, MergeOfItselfNullOrAForeignRecordAnswersZero) {
  auto record = RecordOf({{"a", "1"}});
  EXPECT_EQ(record->Merge(record.get(), true), 0u);
  EXPECT_EQ(record->Merge(nullptr, true), 0u);
  EXPECT_EQ(Dump(*record), R"({"a":"1"})");
}

TEST(CompoundObject, MergedMembersAreIndependentOfTheSource) {
  auto source = RecordOf({{"a/b", "1"}});
  auto target = NewRecord();
  ASSERT_EQ(target->Merge(source.get(), false), 1u);
  Handle<ISharedTypelessObject> theirs(source->Get("a/b", kText));
  TextIn(theirs.get())->SetString("changed");
  EXPECT_EQ(TextAt(*target, "a/b"), "1");
}

TEST(CompoundObject, MergeFromARecordNestedUnderTheKeyItReplaces) {
  auto record = RecordOf({{"a/a", "inner"}, {"a/b", "2"}});
  Handle<ISharedTypelessObject> handle;
  ICompoundObject* nested = NestedAt(*record, "a", &handle);
  handle.reset();  // replacing the member under a ends nested
  EXPECT_EQ(record->Merge(nested, true), 2u);
  EXPECT_EQ(Dump(*record), R"({"a":"inner","b":"2"})");
}

struct EqualsCase {
  std::vector<std::pair<const char*, const char*>> a, b;
  bool equal;
};

TEST(CompoundObject, EqualsComparesKeysAndMembersInOrder) {
  const EqualsCase cases[] = {
      {{}, {}, true},
      {{{"a", "1"}}, {{"a", "1"}}, true},
      {{{"a", "1"}}, {{"a", "2"}}, false},
      {{{"a", "1"}}, {{"b", "1"}}, false},
      {{{"a", "1"}}, {{"a", "1"}, {"b", "2"}}, false},
      {{{"n/x", "1"}, {"m", "2"}}, {{"m", "2"}, {"n/x", "1"}}, true},
      {{{"n/x", "1"}}, {{"n/x", "2"}}, false},
      {{{"n/x", "1"}}, {{"n", "1"}}, false},
  };
  for (const EqualsCase& c : cases) {
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

// A record holding the entry "bad" without an object, left by a member whose copy failed, and
// the text "ok".
struct RecordWithEmptyEntry {
  CountingLog log;
  static constexpr InterfaceId kCounting{"counting", 0x1234};
  Handle<ICompoundObject> source = NewRecord();
  Handle<ICompoundObject> record = NewRecord();

  RecordWithEmptyEntry() {
    source->Set("bad", Wrap(CountingObject::New(log, 7), &kCounting).get(), true);
    source->Set("ok", NewText("fine").get(), true);
    log.refuse_copies = true;
    EXPECT_TRUE(record->CopyFrom(source.get()));
    log.refuse_copies = false;
  }
};

TEST(CompoundObject, AFailedMemberCopyLeavesAnEntryThatReadsAsAnEmptyValue) {
  RecordWithEmptyEntry fixture;
  ICompoundObject& record = *fixture.record;
  EXPECT_EQ(Dump(record), R"({"bad":-,"ok":"fine"})");
  EXPECT_EQ(record.GetCount(), 2u);
  EXPECT_EQ(record.GetTotalCount(), 2u);

  EXPECT_TRUE(record.Contains("bad", nullptr));
  EXPECT_TRUE(record.Contains("bad", VoidInterfaceId()));
  EXPECT_FALSE(record.Contains("bad", &RecordWithEmptyEntry::kCounting));
  for (const InterfaceId* type : {static_cast<const InterfaceId*>(nullptr), VoidInterfaceId()}) {
    Handle<ISharedTypelessObject> got(record.Get("bad", type));
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->GetConstUnique(), nullptr);
    EXPECT_EQ(got->GetTypeId()->code, kivo::containers::kVoidCode);
  }
  EXPECT_EQ(record.Get("bad", &RecordWithEmptyEntry::kCounting), nullptr);

  EXPECT_FALSE(record.Equals(fixture.source.get()));
  EXPECT_FALSE(fixture.source->Equals(&record));
  auto copy = NewRecord();
  ASSERT_TRUE(copy->CopyFrom(&record));  // the entry copies as an entry without an object
  EXPECT_EQ(Dump(*copy), R"({"bad":-,"ok":"fine"})");
  EXPECT_TRUE(copy->Equals(&record));
  auto empty_member = RecordOf({{"ok", "fine"}});
  empty_member->Set("bad", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(),
                    true);
  EXPECT_FALSE(empty_member->Equals(&record));
}

TEST(CompoundObject, AnEntryWithoutAnObjectMergesAndGivesWayLikeAnyMember) {
  RecordWithEmptyEntry fixture;
  auto kept = RecordOf({{"bad", "t"}});
  EXPECT_EQ(kept->Merge(fixture.record.get(), false), 1u);
  EXPECT_EQ(Dump(*kept), R"({"bad":"t","ok":"fine"})");
  auto replaced = RecordOf({{"bad", "t"}});
  EXPECT_EQ(replaced->Merge(fixture.record.get(), true), 2u);
  EXPECT_EQ(Dump(*replaced), R"({"bad":-,"ok":"fine"})");

  ICompoundObject& record = *fixture.record;
  EXPECT_FALSE(record.Set("bad", NewText("v").get(), false));
  EXPECT_FALSE(record.Set("bad/x", NewText("v").get(), false));
  EXPECT_EQ(Dump(record), R"({"bad":-,"ok":"fine"})");
  EXPECT_TRUE(record.Set("bad/x", NewText("v").get(), true));
  EXPECT_EQ(Dump(record), R"({"bad":{"x":"v"},"ok":"fine"})");
  EXPECT_TRUE(replaced->Remove("bad"));
  EXPECT_EQ(Dump(*replaced), R"({"ok":"fine"})");
}

// Members labelled ICompoundObject whose payload is not a record of the library.
Handle<ISharedTypelessObject> LabelledText() { return Wrap(NewText("t").release(), kRecord); }
Handle<ISharedTypelessObject> LabelledNothing() { return Wrap(nullptr, kRecord); }
Handle<ISharedTypelessObject> LabelledBytes() {
  auto bytes = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  bytes->SetTypeId(kRecord);
  auto shared = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  shared->Reset(bytes.release());
  return shared;
}

TEST(CompoundObject, AMemberThatOnlyClaimsToBeARecordIsNeverWalkedInto) {
  struct Case {
    const char* what;
    Handle<ISharedTypelessObject> (*make)();
  };
  const Case cases[] = {
      {"a shared object labelled as a record", &LabelledText},
      {"no payload labelled as a record", &LabelledNothing},
      {"raw bytes labelled as a record", &LabelledBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", c.make().get(), true));
    EXPECT_TRUE(record->Contains("f", kRecord));

    EXPECT_FALSE(record->Set("f/x", NewText("v").get(), false));
    EXPECT_FALSE(record->Contains("f/x", nullptr));
    EXPECT_EQ(record->Get("f/x", nullptr), nullptr);
    EXPECT_FALSE(record->Remove("f/x"));
    EXPECT_EQ(record->GetCount(), 1u);
    try {
      record->GetTotalCount();
      ADD_FAILURE() << "no exception";
    } catch (const std::bad_cast& error) {
      EXPECT_STREQ(error.what(), "bad cast");
    }

    EXPECT_TRUE(record->Set("f/x", NewText("v").get(), true));
    EXPECT_EQ(Dump(*record), R"({"f":{"x":"v"}})");
    EXPECT_EQ(record->GetTotalCount(), 2u);
  }
}

// A stand-in shared object whose writable and read-only unique objects differ: the read-only
// one is labelled as a record, the writable one is not.
class SplitHandle final : public ISharedTypelessObject {
 public:
  static SplitHandle* New() {
    return new SplitHandle(
        std::shared_ptr<IUniqueTypelessObject>(LabelledUnique(kRecord), Ender()),
        std::shared_ptr<IUniqueTypelessObject>(LabelledUnique(VoidInterfaceId()), Ender()));
  }
  void Destroy() noexcept override { delete this; }
  const InterfaceId* GetInterfaceId() const override {
    return InterfaceIdOf<ISharedTypelessObject>();
  }
  bool CopyFrom(const IObject*) override { return false; }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return nullptr; }
  const InterfaceId* GetTypeId() const override { return readable_->GetTypeId(); }
  bool AssignValue(const ISharedTypelessObject*) override { return false; }
  IUniqueTypelessObject* GetUnique() override { return writable_.get(); }
  const ITypelessObject* GetConstUnique() const override { return readable_.get(); }
  void Reset(IUniqueTypelessObject*) override {}
  ISharedTypelessObject* Share() const override { return new SplitHandle(readable_, writable_); }

  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  struct Ender {
    void operator()(IUniqueTypelessObject* unique) const { unique->Destroy(); }
  };
  static IUniqueTypelessObject* LabelledUnique(const InterfaceId* type) {
    auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    unique->SetObject(KivoCompoundObjectAllocator());
    unique->SetTypeId(type);
    return unique.release();
  }
  SplitHandle(std::shared_ptr<IUniqueTypelessObject> readable,
              std::shared_ptr<IUniqueTypelessObject> writable)
      : readable_(std::move(readable)), writable_(std::move(writable)) {}
  ~SplitHandle() = default;

  std::shared_ptr<IUniqueTypelessObject> readable_, writable_;
};

TEST(CompoundObject, AMemberWhoseWritableSideIsNoRecordFailsOnlyTheTotalCount) {
  auto record = NewRecord();
  Handle<ISharedTypelessObject> split(SplitHandle::New());
  ASSERT_TRUE(record->Set("s", split.get(), true));
  EXPECT_FALSE(record->Set("s/x", NewText("v").get(), false));
  EXPECT_FALSE(record->Contains("s/x", nullptr));
  EXPECT_THROW(record->GetTotalCount(), std::bad_cast);
  EXPECT_TRUE(record->Set("s/x", NewText("v").get(), true));
  EXPECT_EQ(record->GetTotalCount(), 2u);
}

}  // namespace
