// CompoundObject: its slot table, its limit and exception texts, members that are not what they
// claim, entries without an object, cycles, containers that own themselves, and a million levels.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "compound_object.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/objects.h"
#include "support/slots.h"

namespace {

using namespace kivo::containers;
using namespace kivo::testing;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;
using Value = Handle<ISharedTypelessObject>;

const InterfaceId* const kText = kivo::utility::InterfaceIdOf<IStringObject>();
const InterfaceId* const kRecord = kivo::utility::InterfaceIdOf<ICompoundObject>();
const InterfaceId* const kVector = kivo::utility::InterfaceIdOf<ITypelessVectorObject>();

// The record stored at path; the handle keeps it alive.
ICompoundObject* RecordAt(ICompoundObject& record, const std::string& path, Value* handle) {
  handle->reset(record.Get(path.c_str(), kRecord));
  return static_cast<ICompoundObject*>(PayloadOf(handle->get()));
}

// The path a/a/.../a of `levels` segments, then tail.
std::string Chain(std::size_t levels, const char* tail) {
  std::string path;
  for (std::size_t i = 0; i < levels; ++i) path += "a/";
  return path + tail;
}

TEST(CompoundObject, OperationsSitInTheirSlots) {
  auto record = NewRecord();
  ICompoundObject* const r = record.get();
  const auto value = NewText("v");
  using Path = const char*;
  using Type = const InterfaceId*;
  EXPECT_EQ(CallSlot<Type>(r, 1)->code, kCompoundObjectCode);
  EXPECT_TRUE(CallSlot<bool>(r, 5));  // IsEmpty
  EXPECT_TRUE(CallSlot<bool>(r, 10, Path("a/b"),
                             static_cast<const ISharedTypelessObject*>(value.get()), true));  // Set
  EXPECT_EQ(CallSlot<std::uint32_t>(r, 6), 1u);                  // GetCount
  EXPECT_EQ(CallSlot<std::uint32_t>(r, 7), 2u);                  // GetTotalCount
  EXPECT_TRUE(CallSlot<bool>(r, 11, Path("a/b"), Type(kText)));  // Contains
  for (const std::size_t slot : {12u, 13u}) {                    // Get, GetConst
    Value got(CallSlot<ISharedTypelessObject*>(r, slot, Path("a/b"), Type(kText)));
    EXPECT_EQ(got->GetConstUnique(), value->GetConstUnique()) << slot;
  }
  const char* key = nullptr;
  CallSlot<void>(r, 15, &key, std::uint32_t{1});  // GetKeys
  EXPECT_STREQ(key, "a");
  Handle<ICompoundObject> copy(static_cast<ICompoundObject*>(CallSlot<IObject*>(r, 4)));
  const auto* source = static_cast<const IObject*>(r);
  EXPECT_TRUE(copy->IsEmpty());                                    // NewInstance
  EXPECT_TRUE(CallSlot<bool>(copy.get(), 2, source));              // CopyFrom
  EXPECT_TRUE(CallSlot<bool>(copy.get(), 3, source));              // Equals
  EXPECT_EQ(CallSlot<std::uint64_t>(copy.get(), 9, r, true), 1u);  // Merge
  EXPECT_TRUE(CallSlot<bool>(copy.get(), 14, Path("a/b")));        // Remove
  CallSlot<void>(copy.get(), 8);                                   // Clear
  EXPECT_TRUE(copy->IsEmpty());
  CallSlot<void>(copy.release(), 0);  // Destroy
}

TEST(CompoundObject, AFullMapRefusesOneMoreEntryAsMapSetTooLong) {
  struct SizedMap {  // holds size_ of at most max entries
    std::size_t size_, max;
    std::size_t size() const { return size_; }
    std::size_t max_size() const { return max; }
  };
  EXPECT_NO_THROW(kivo::detail::EnsureRoomForOneMore(SizedMap{1, 2}));
  EXPECT_EQ(ErrorText<std::length_error>([] {
              kivo::detail::EnsureRoomForOneMore(SizedMap{2, 2});
            }),
            "map/set too long");
}

// Only a record labelled as one is walked into; a null type record is a type of its own.
TEST(CompoundObject, AMemberIsWalkedIntoOnlyWhenItIsARecordLabelledAsOne) {
  auto bytes = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  bytes->SetTypeId(kRecord);
  auto labelled_bytes = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  labelled_bytes->Reset(bytes.release());
  const struct {
    const char* what;
    Value member;
    const InterfaceId* label;
  } cases[] = {
      {"text labelled record", Wrap(NewText("t").release(), kRecord), kRecord},
      {"nothing labelled record", Wrap(nullptr, kRecord), kRecord},
      {"bytes labelled record", std::move(labelled_bytes), kRecord},
      {"record labelled null", Wrap(NewRecord().release(), nullptr), nullptr},
      {"text labelled null", Wrap(NewText("t").release(), nullptr), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", c.member.get(), true));
    EXPECT_EQ(record->Contains("f", kRecord), c.label == kRecord);
    EXPECT_FALSE(record->Contains("f", kText));
    EXPECT_FALSE(record->Set("f/x", NewText("v").get(), false));
    EXPECT_FALSE(record->Contains("f/x", nullptr));
    EXPECT_EQ(Value(record->Get("f/x", nullptr)), nullptr);
    EXPECT_FALSE(record->Remove("f/x"));
    if (c.label == kRecord) {
      EXPECT_THROW(record->GetTotalCount(), std::bad_cast);
    } else {  // copied and compared as what it holds
      EXPECT_EQ(record->GetTotalCount(), 1u);
      auto copy = NewRecord();
      EXPECT_TRUE(copy->CopyFrom(record.get()) && copy->Equals(record.get()));
    }
    EXPECT_TRUE(record->Set("f/x", NewText("v").get(), true));
    EXPECT_EQ(Dump(*record), R"({"f":{"x":"v"}})");
  }
  auto other = NewRecord();  // a text labelled as a record against a record
  other->Set("r", Wrap(NewText("1").release(), kRecord).get(), true);
  EXPECT_FALSE(other->Equals(RecordOf({{"r/x", "1"}}).get()));
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
      [](ICompoundObject& r) { Value(r.Get("f/x", nullptr)); },
      [](ICompoundObject& r) { Value(r.GetConst("f/x", nullptr)); },
      [](ICompoundObject& r) { r.Remove("f/x"); },
      [](ICompoundObject& r) { r.GetTotalCount(); },
  };
  CountingLog log;
  for (IUniqueTypelessObject* writable :
       {text.get(), static_cast<IUniqueTypelessObject*>(nullptr)}) {
    Handle<CountingHandle> foreign(CountingHandle::New(log, 0));
    foreign->const_unique = claimed.get();
    foreign->unique = writable;
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", foreign.get(), true));
    for (const auto& walk : walks) {
      EXPECT_EQ(ErrorText<std::bad_cast>([&] { walk(*record); }), "bad cast");
    }
    EXPECT_TRUE(record->Contains("f", nullptr));  // no walk through it: no throw
  }
  // Answering alike through both, it is walked through; leading back to a record the walk is
  // inside, it closes a cycle that walks end.
  Handle<CountingHandle> foreign(CountingHandle::New(log, 0));
  foreign->unique = claimed.get();
  auto record = NewRecord();
  ASSERT_TRUE(record->Set("a/f", foreign.get(), true));
  EXPECT_TRUE(record->Set("a/f/x", NewText("v").get(), true));
  EXPECT_EQ(TextAt(*record, "a/f/x"), "v");
  Value a(record->Get("a", kRecord));
  foreign->unique = a->GetUnique();
  record->Set("a/g", foreign.get(), true);
  a.reset();
  EXPECT_EQ(record->GetTotalCount(), 4u);
  // A handle whose Share answers null is not stored; records made on the way stay.
  foreign->refuse_shares = true;
  EXPECT_FALSE(record->Set("b/c", foreign.get(), true));
  EXPECT_TRUE(record->Contains("b", kRecord));
}

TEST(CompoundObject, AFailedMemberCopyLeavesAnEntryThatReadsAsAnEmptyValue) {
  static constexpr InterfaceId kCounting{"counting", 0x1234};
  CountingLog log;
  auto source = RecordOf({{"ok", "fine"}});
  source->Set("bad", Wrap(CountingObject::New(log, 7), &kCounting).get(), true);
  auto record = NewRecord();
  log.refuse_copies = true;
  ASSERT_TRUE(record->CopyFrom(source.get()));
  EXPECT_EQ(Dump(*record), R"({"bad":-,"ok":"fine"})");
  EXPECT_EQ(record->GetTotalCount(), 2u);
  EXPECT_TRUE(record->Contains("bad", kivo::utility::VoidInterfaceId()));
  EXPECT_FALSE(record->Contains("bad", &kCounting));
  Value got(record->Get("bad", nullptr));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->GetConstUnique(), nullptr);
  EXPECT_EQ(got->GetTypeId()->code, kVoidCode);
  EXPECT_FALSE(record->Equals(source.get()));
  auto copy = NewRecord();
  ASSERT_TRUE(copy->CopyFrom(record.get()));  // copies as an entry without an object
  EXPECT_TRUE(copy->Equals(record.get()));
  auto empty = RecordOf({{"ok", "fine"}});  // an empty shared object is no such entry
  empty->Set("bad", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(), true);
  EXPECT_FALSE(empty->Equals(record.get()));
  EXPECT_FALSE(record->Set("bad/x", NewText("v").get(), false));
  EXPECT_TRUE(record->Set("bad/x", NewText("v").get(), true));
}

// A vector holding a text and, after it, a handle to itself.
Value VectorHoldingItself(const char* text) {
  auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  vector->PushBack(NewText(text).release());
  ITypelessVectorObject* const inside = vector.get();
  auto handle = Wrap(vector.release(), kVector);
  inside->PushBack(handle->Share());
  return handle;
}

TEST(CompoundCycles, EveryWalkEndsAndRemovingTheClosingMemberFreesEveryBlock) {
  // The record at holder/loop is held, an ancestor of holder or holder itself; each record holds
  // a text under x or y too. A copy cuts the cycle with an empty value, as many members in all.
  const struct {
    const char* what;
    std::string holder, held;
    std::uint32_t total;
  } shapes[] = {
      {"a record inside itself", "a", "a", 4},
      {"two records holding each other", "a/b", "a", 5},
      // Deeper than a walk scans its path: the way back is looked up in its index.
      {"level 30 holding level 20", Chain(29, "a"), Chain(19, "a"), 33},
  };
  CountingHeap heap;
  const std::ptrdiff_t baseline = heap.Live();
  bool finished = false;
  auto work = [&] {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(shape.what);
      for (const bool by_clear : {false, true}) {
        Handle<ICompoundObject> records[] = {NewRecord(), NewRecord()};
        for (auto& record : records) {
          record->Set((shape.holder + "/x").c_str(), NewText("1").get(), true);
          record->Set((shape.held + "/y").c_str(), NewText("2").get(), true);
          Value held;
          RecordAt(*record, shape.held, &held);
          record->Set((shape.holder + "/loop").c_str(), held.get(), true);
        }
        EXPECT_EQ(records[0]->GetTotalCount(), shape.total);
        EXPECT_TRUE(records[0]->Equals(records[1].get()));
        auto copy = NewRecord();
        ASSERT_TRUE(copy->CopyFrom(records[0].get()));
        EXPECT_EQ(copy->GetTotalCount(), shape.total);
        EXPECT_FALSE(copy->Equals(records[0].get()));
        for (auto& record : records) {
          Value holder;
          if (by_clear) {
            RecordAt(*record, shape.holder, &holder)->Clear();
          } else {
            EXPECT_TRUE(record->Remove((shape.holder + "/loop").c_str()));
          }
        }
      }
      EXPECT_EQ(heap.Live(), baseline);
    }
    Value vectors[] = {VectorHoldingItself("1"), VectorHoldingItself("1"),
                       VectorHoldingItself("2")};
    EXPECT_TRUE(vectors[0]->Equals(vectors[1].get()));
    EXPECT_FALSE(vectors[0]->Equals(vectors[2].get()));
    for (const auto& v : vectors) static_cast<ITypelessVectorObject*>(PayloadOf(v.get()))->Clear();
    finished = true;
  };
  RunOnSmallStack(work);
  EXPECT_TRUE(finished);
  EXPECT_EQ(heap.Live(), baseline);
}

TEST(CompoundCycles, AContainerWhoseOneOwnerIsItsOwnMemberEndsCleanlyInsideTheCall) {
  // Each operation ends the one owner, and with it the container.
  const std::function<void(ICompoundObject&)> record_cases[] = {
      [](ICompoundObject& r) { r.Clear(); },
      [](ICompoundObject& r) { r.Remove("self"); },
      [](ICompoundObject& r) { r.Set("self", NewText("v").get(), true); },
      [](ICompoundObject& r) {
        r.Merge(RecordOf({{"self", "v"}}).get(), true);
      },
      [](ICompoundObject& r) {
        r.CopyFrom(RecordOf({{"b", "v"}}).get());
      },
  };
  const std::function<void(ITypelessVectorObject&)> vector_cases[] = {
      [](ITypelessVectorObject& v) { v.RemoveAt(1); },
      [](ITypelessVectorObject& v) { v.Clear(); },
      [](ITypelessVectorObject&
             v) {  // from a vector with an element, which a dead one must not take
        auto source = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
        source->PushBack(NewText("v").release());
        v.CopyFrom(source.get());
      },
  };
  CountingHeap heap;
  const std::ptrdiff_t baseline = heap.Live();
  for (const auto& operation : record_cases) {
    ICompoundObject* record = nullptr;
    {
      auto outer = RecordOf({{"a/x", "1"}, {"a/n/y", "2"}});
      Value handle;
      record = RecordAt(*outer, "a", &handle);
      record->Set("self", handle.get(), true);
    }
    operation(*record);
    EXPECT_EQ(heap.Live(), baseline);
  }
  for (const auto& operation : vector_cases) {
    operation(*static_cast<ITypelessVectorObject*>(PayloadOf(VectorHoldingItself("1").get())));
    EXPECT_EQ(heap.Live(), baseline);
  }
}

// Unoptimised builds (the sanitizer and coverage presets) pay many times more per level.
#ifdef NDEBUG
constexpr std::size_t kDepth = 1000000;
#else
constexpr std::size_t kDepth = 50000;
#endif

// Alternately a typeless vector and a record holding it under "v", levels deep, over a text.
Value Alternating(std::size_t levels, const char* leaf) {
  Value inner = NewText(leaf);
  for (std::size_t i = 0; i < levels; ++i) {
    auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
    vector->PushBack(inner.release());
    auto record = NewRecord();
    record->Set("v", Wrap(vector.release(), kVector).get(), true);
    inner = Wrap(record.release(), kRecord);
  }
  return inner;
}

// Far deeper than recursion could go, on a thread with a 1 MiB stack.
TEST(CompoundDepth, ARecordAMillionLevelsDeepSurvivesEveryOperation) {
  std::uint64_t answers[9] = {};
  bool finished = false;
  auto work = [&] {
    const std::string path = Chain(kDepth - 1, "v");
    auto record = NewRecord();
    answers[0] = record->Set(path.c_str(), NewText("leaf").get(), false);
    answers[1] = record->GetTotalCount();
    answers[2] = record->Contains(path.c_str(), kText);
    auto copy = NewRecord();
    answers[3] = copy->CopyFrom(record.get()) && copy->GetTotalCount() == kDepth;
    answers[4] = copy->Equals(record.get());
    auto merged = NewRecord();
    answers[5] = merged->Merge(record.get(), true) == 1 && merged->Equals(record.get());
    answers[6] = copy->Remove(path.c_str()) && !copy->Equals(record.get());
    copy->Clear();
    record.reset();
    merged.reset();
    auto vectors = Alternating(kDepth / 10, "x");  // a tenth as deep, in turns
    answers[7] = vectors->Equals(Alternating(kDepth / 10, "x").get());
    answers[8] = !vectors->Equals(Alternating(kDepth / 10, "y").get());
    finished = true;
  };
  RunOnSmallStack(work);
  ASSERT_TRUE(finished);
  const std::uint64_t expected[9] = {1, kDepth, 1, 1, 1, 1, 1, 1, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(answers[i], expected[i]) << "answer " << i;
}

}  // namespace
