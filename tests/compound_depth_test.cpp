// Records and typeless vectors nested far deeper than any stack allows recursion for, used
// through the library as a client does, on a thread with a 1 MiB stack.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/objects.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessVectorObject;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::RunOnSmallStack;
using kivo::testing::Wrap;
using kivo::utility::InterfaceIdOf;

// Unoptimised builds (the sanitizer and coverage presets) pay many times more per level and go
// 50,000 deep.
#ifdef NDEBUG
constexpr std::size_t kDepth = 1000000;
#else
constexpr std::size_t kDepth = 50000;
#endif

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

TEST(CompoundDepth, ARecordAMillionLevelsDeepSurvivesEveryOperation) {
  struct {
    std::uint32_t total = 0, copy_total = 0;
    std::uint64_t merged = 0;
    bool found = false, copied = false, copy_equal = false, merge_equal = false, removed = false,
         equal_after_remove = true, vectors_equal = false, vectors_differ = false, finished = false;
  } r;
  auto work = [&r] {
    std::string path;  // a/a/.../a/v: kDepth - 1 records and the text at the bottom
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
    // Vectors and records in turn, a tenth as deep: compared, then ended.
    auto vectors = Alternating(kDepth / 10, "x");
    r.vectors_equal = vectors->Equals(Alternating(kDepth / 10, "x").get());
    r.vectors_differ = !vectors->Equals(Alternating(kDepth / 10, "y").get());
    r.finished = true;
  };
  RunOnSmallStack(work);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.total, kDepth);
  EXPECT_EQ(r.copy_total, kDepth);
  EXPECT_EQ(r.merged, 1u);
  EXPECT_TRUE(r.found && r.copied && r.copy_equal && r.merge_equal && r.removed);
  EXPECT_TRUE(r.vectors_equal && r.vectors_differ);
  EXPECT_FALSE(r.equal_after_remove);
}

}  // namespace
