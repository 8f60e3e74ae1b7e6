// CompoundObject: its exception texts, members that are not what they claim, cycles,
// containers that own themselves, and a million levels.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <typeinfo>
#include <vector>

#include "support/counting_heap.h"
#include "support/objects.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace {

using namespace kivo::containers;
using namespace kivo::testing;
using Value = Handle<ISharedTypelessObject>;
using R = ICompoundObject&;  // what the tables of operations take
using V = ITypelessVectorObject&;

const auto* const kText = kivo::utility::InterfaceIdOf<IStringObject>();
const auto* const kRecord = kivo::utility::InterfaceIdOf<ICompoundObject>();
const auto* const kVector = kivo::utility::InterfaceIdOf<ITypelessVectorObject>();

// The record stored at path; the handle keeps it alive.
ICompoundObject* RecordAt(ICompoundObject& record, const std::string& path, Value* handle) {
  handle->reset(record.Get(path.c_str(), kRecord));
  return static_cast<ICompoundObject*>(PayloadOf(handle->get()));
}

// Runs work() on a new thread with a 1 MiB stack (a Windows program's default) and waits for
// it. A thread that overflows its stack may end the process quietly (under Wine with exit code
// 0), so callers check a result that work() sets when it is done.
template <class Work>
void RunOnSmallStack(Work& work) {
  constexpr std::size_t kStack = std::size_t{1} << 20;
#ifdef _WIN32
  const auto run = [](LPVOID context) -> DWORD { return (*static_cast<Work*>(context))(), 0; };
  HANDLE thread =
      CreateThread(nullptr, kStack, run, &work, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  const auto run = [](void* context) -> void* { return (*static_cast<Work*>(context))(), nullptr; };
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStack);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, run, &work) == 0) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
#endif
}

// Only a record labelled as one is walked into; a null type record is a type of its own.
TEST(CompoundObject, AMemberIsWalkedIntoOnlyWhenItIsARecordLabelledAsOne) {
  auto bytes = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  bytes->SetTypeId(kRecord);
  const Value members[] = {Wrap(NewText("t").release(), kRecord), Wrap(nullptr, kRecord),
                           Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator),
                           Wrap(NewRecord().release(), nullptr),
                           Wrap(NewText("t").release(), nullptr)};
  members[2]->Reset(bytes.release());
  for (const auto& member : members) {
    const bool claims = member->GetTypeId() == kRecord;
    SCOPED_TRACE(&member - members);
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", member.get(), true));
    EXPECT_EQ(record->Contains("f", kRecord), claims);
    EXPECT_FALSE(record->Contains("f", kText) || record->Set("f/x", NewText("v").get(), false) ||
                 record->Contains("f/x", nullptr) || record->Remove("f/x") ||
                 Value(record->Get("f/x", nullptr)) != nullptr);
    auto copy = NewRecord();  // a member not walked into is copied and compared as what it holds
    EXPECT_TRUE(claims || (record->GetTotalCount() == 1 && copy->CopyFrom(record.get()) &&
                           copy->Equals(record.get())));
    EXPECT_TRUE(record->Set("f/x", NewText("v").get(), true));
    EXPECT_TRUE(record->Equals(RecordOf({{"f/x", "v"}}).get()));
  }
  auto unlabelled = NewRecord(), labelled = NewRecord();  // the same records, labelled apart
  unlabelled->Set("f", Wrap(NewRecord().release(), nullptr).get(), true);
  labelled->Set("f", Wrap(NewRecord().release(), kRecord).get(), true);
  EXPECT_FALSE(unlabelled->Equals(labelled.get()) || labelled->Equals(unlabelled.get()));
}

TEST(CompoundObject, AHandleWhoseWritableUniqueIsNoRecordMakesEveryWalkThroughItABadCast) {
  // Its read-only unique object says record; its writable one says text, or is missing.
  const Value labelled = Wrap(NewRecord().release(), kRecord), text = NewText("t");
  IUniqueTypelessObject* const claimed = labelled->GetUnique();
  void (*const walks[])(R) = {[](R r) { r.Set("f/x", NewText("v").get(), true); },
                              [](R r) { r.Contains("f/x", nullptr); }, [](R r) { r.Remove("f/x"); },
                              [](R r) { r.GetTotalCount(); }};
  CountingLog log;
  Handle<CountingHandle> foreign(new CountingHandle(log));
  foreign->const_unique = claimed;
  for (IUniqueTypelessObject* writable : {text->GetUnique(), (IUniqueTypelessObject*)nullptr}) {
    foreign->unique = writable;
    auto record = NewRecord();
    ASSERT_TRUE(record->Set("f", foreign.get(), true));
    for (const auto walk : walks)
      EXPECT_EQ(ErrorText<std::bad_cast>([&] { walk(*record); }), "bad cast");
    EXPECT_TRUE(record->Contains("f", nullptr));  // no walk through it: no throw
  }
  // A handle whose Share answers null is not stored; the record made on the way stays.
  foreign->refuse_shares = true;
  auto record = NewRecord();
  EXPECT_TRUE(!record->Set("b/c", foreign.get(), true) && record->Contains("b", kRecord));
  // Answering alike through both, it is walked through, here 20 records down; leading back to a
  // record the walk is inside, one the library holds once, it closes a cycle counted once.
  foreign->refuse_shares = false;
  foreign->unique = claimed;
  auto deep = NewRecord();
  ASSERT_TRUE(deep->Set(Chain(20, "f").c_str(), foreign.get(), true));
  EXPECT_TRUE(deep->Set(Chain(20, "f/x").c_str(), NewText("v").get(), true));
  EXPECT_EQ(deep->GetTotalCount(), 22u);
  Value level5;
  ASSERT_NE(RecordAt(*deep, Chain(4, "a"), &level5), nullptr);
  foreign->unique = level5->GetUnique();
  ASSERT_TRUE(deep->Set(Chain(20, "g").c_str(), foreign.get(), true));
  level5.reset();
  EXPECT_EQ(deep->GetTotalCount(), 23u);
}

TEST(CompoundCycles, EveryWalkEndsAndRemovingTheClosingMemberFreesEveryBlock) {
  // holder/loop holds the record `held`, an ancestor further up than a walk scans its path: the
  // way back is looked up in the path's index. Both hold a text. (The record fuzzer closes cycles
  // onto the record itself and its first ancestor.)
  const std::string holder = Chain(29, "a"), held = Chain(19, "a");
  CountingHeap heap;
  Handle<ICompoundObject> records[] = {NewRecord(), NewRecord()};
  for (auto& record : records) {
    record->Set((holder + "/x").c_str(), NewText("1").get(), true);
    record->Set((held + "/y").c_str(), NewText("2").get(), true);
    record->Set((holder + "/loop").c_str(), Value(record->Get(held.c_str(), kRecord)).get(), true);
  }
  auto copy = NewRecord();  // cuts the cycle with an empty value
  EXPECT_TRUE(copy->CopyFrom(records[0].get()) && records[0]->Equals(records[1].get()));
  EXPECT_EQ(records[0]->GetTotalCount(), 33u);
  EXPECT_EQ(copy->GetTotalCount(), 33u);
  for (auto& record : records) EXPECT_TRUE(record->Remove((holder + "/loop").c_str()));
  // Cycles of different lengths: A and X hold only each other; B holds Y, and Y and Z hold each
  // other. Each holds the text 1 under v. Their comparison ends, equal.
  auto outer =
      RecordOf({{"a/s/v", "1"}, {"a/v", "1"}, {"b/s/s/v", "1"}, {"b/s/v", "1"}, {"b/v", "1"}});
  Value a, b, x, y, z;
  ICompoundObject* const record_a = RecordAt(*outer, "a", &a);
  ICompoundObject* const record_b = RecordAt(*outer, "b", &b);
  ICompoundObject* const record_z = RecordAt(*outer, "b/s/s", &z);
  RecordAt(*outer, "a/s", &x)->Set("s", a.get(), true);
  RecordAt(*outer, "b/s", &y);
  record_z->Set("s", y.get(), true);
  for (Value* handle : {&a, &b, &x, &y, &z}) handle->reset();
  outer->Remove("a");
  EXPECT_TRUE(record_a->Equals(record_b) && record_b->Equals(record_a));
  record_a->Remove("s");  // ends X, and with it A
  record_z->Remove("s");
}  // the heap ends the process if a block is left

TEST(CompoundCycles, AContainerWhoseOneOwnerIsItsOwnMemberEndsCleanlyInsideTheCall) {
  void (*const record_cases[])(R) = {
      [](R r) { r.Clear(); }, [](R r) { r.Remove("self"); },
      [](R r) { r.Set("self", NewText("v").get(), true); },
      [](R r) { r.Merge(RecordOf({std::pair("self", "v")}).get(), true); },
      [](R r) { r.CopyFrom(RecordOf({std::pair("self", "v")}).get()); }};
  void (*const vector_cases[])(V) = {
      [](V v) { v.RemoveAt(1); }, [](V v) { v.Clear(); },
      [](V v) {  // from one with an element, which a dead one must not take
        auto source = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
        source->PushBack(NewText("v").release());
        v.CopyFrom(source.get());
      }};
  CountingHeap heap;
  for (const auto operation : record_cases) {
    ICompoundObject* const record = RecordOf({{"x", "1"}, {"n/y", "2"}}).release();
    record->Set("self", Wrap(record, kRecord).get(), true);  // its one owner from here on
    operation(*record);  // ends the one owner, and with it the record
    EXPECT_EQ(heap.Live(), 0);
  }
  for (const auto operation : vector_cases) {
    auto* const vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator).release();
    vector->PushBack(NewText("1").release());
    vector->PushBack(Wrap(vector, kVector).release());
    operation(*vector);
    EXPECT_EQ(heap.Live(), 0);
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

// Far deeper than recursion could go, on a thread with a 1 MiB stack. A thread that overflows it
// may end quietly: the answers are all there only when the work has finished.
TEST(CompoundDepth, ARecordAMillionLevelsDeepSurvivesEveryOperation) {
  std::vector<bool> answers;
  auto work = [&answers] {
    const std::string path = Chain(kDepth - 1, "v");
    auto record = NewRecord(), copy = NewRecord(), merged = NewRecord();
    answers = {record->Set(path.c_str(), NewText("leaf").get(), false),
               record->GetTotalCount() == kDepth,
               record->Contains(path.c_str(), kText),
               copy->CopyFrom(record.get()) && copy->GetTotalCount() == kDepth,
               copy->Equals(record.get()),
               merged->Merge(record.get(), true) == 1 && merged->Equals(record.get()),
               copy->Remove(path.c_str()) && !copy->Equals(record.get())};
    copy->Clear();
    auto vectors = Alternating(kDepth / 10, "x");  // a tenth as deep, in turns
    answers.push_back(vectors->Equals(Alternating(kDepth / 10, "x").get()));
    answers.push_back(!vectors->Equals(Alternating(kDepth / 10, "y").get()));
  };
  RunOnSmallStack(work);
  EXPECT_EQ(answers, std::vector<bool>(9, true));
}

}  // namespace
