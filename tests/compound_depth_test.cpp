// Records and typeless vectors nested far deeper than any stack allows recursion for, used
// through the library as a client does, on a thread with a 1 MiB stack.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "compound_test_support.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessVectorObject;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::PayloadOf;
using kivo::testing::RunOnSmallStack;
using kivo::testing::Wrap;
using kivo::utility::InterfaceIdOf;

// Under the sanitizers every level costs many times more, so those builds go 50,000 deep.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kDepth = 50000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::size_t kDepth = 50000;
#else
constexpr std::size_t kDepth = 1000000;
#endif
#else
constexpr std::size_t kDepth = 1000000;
#endif

TEST(CompoundDepth, ARecordAMillionLevelsDeepSurvivesEveryOperation) {
  struct {
    std::uint32_t total = 0, copy_total = 0;
    std::uint64_t merged = 0;
    bool found = false, copied = false, copy_equal = false, merge_equal = false, removed = false,
         equal_after_remove = true, finished = false;
  } r;
  auto work = [&r] {
    std::string path;  // a/a/.../a/v: kDepth - 1 records and the text at the bottom
    path.reserve(2 * kDepth);
    for (std::size_t i = 1; i < kDepth; ++i) path += "a/";
    path += 'v';
    auto record = NewRecord();
    if (!record->Set(path.c_str(), NewText("leaf").get(), false)) return;
    r.total = record->GetTotalCount();
    r.found = record->Contains(path.c_str(), InterfaceIdOf<IStringObject>());
    auto copy = NewRecord();
    r.copied = copy->CopyFrom(record.get());
    r.copy_total = copy->GetTotalCount();
    r.copy_equal = copy->Equals(record.get());
    auto merged = NewRecord();
    r.merged = merged->Merge(record.get(), true);
    r.merge_equal = record->Equals(merged.get());
    r.removed = copy->Remove(path.c_str());
    r.equal_after_remove = copy->Equals(record.get());
    copy->Clear();
    record.reset();
    merged.reset();
    r.finished = true;
  };
  RunOnSmallStack(work);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.total, kDepth);
  EXPECT_EQ(r.copy_total, kDepth);
  EXPECT_EQ(r.merged, 1u);
  EXPECT_TRUE(r.found && r.copied && r.copy_equal && r.merge_equal && r.removed);
  EXPECT_FALSE(r.equal_after_remove);
}

// A value that alternates between a typeless vector and a record holding it under "v", levels
// deep, with the text leaf at the bottom.
Handle<ISharedTypelessObject> Alternating(std::size_t levels, const char* leaf) {
  Handle<ISharedTypelessObject> inner = NewText(leaf);
  for (std::size_t i = 0; i < levels; ++i) {
    auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
    vector->PushBack(inner.release());
    auto record = NewRecord();
    record->Set("v", Wrap(vector.release(), InterfaceIdOf<ITypelessVectorObject>()).get(), true);
    inner = Wrap(record.release(), InterfaceIdOf<ICompoundObject>());
  }
  return inner;
}

TEST(CompoundDepth, DeepVectorsAndRecordsCompareWithoutRecursion) {
  struct {
    bool same = false, different = true, finished = false;
  } r;
  auto work = [&r] {
    const std::size_t levels = kDepth / 10;
    auto a = Alternating(levels, "x");
    r.same = a->Equals(Alternating(levels, "x").get());
    r.different = a->Equals(Alternating(levels, "y").get());
    // The vector just under the top record, against its twin.
    Handle<ISharedTypelessObject> top(
        static_cast<ICompoundObject*>(PayloadOf(a.get()))->Get("v", nullptr));
    auto twin = Alternating(levels, "x");
    Handle<ISharedTypelessObject> twin_top(
        static_cast<ICompoundObject*>(PayloadOf(twin.get()))->Get("v", nullptr));
    r.same = r.same && PayloadOf(top.get())->Equals(PayloadOf(twin_top.get()));
    r.finished = true;
  };
  RunOnSmallStack(work);
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.same);
  EXPECT_FALSE(r.different);
}

}  // namespace
