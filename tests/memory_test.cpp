// The memory routines: never null, the new-handler loop and the fixed exception texts.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>

#include "internal/memory.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/error_text.h"

namespace {

using kivo::testing::ErrorText;

using kivo::testing::CountingHeap;

TEST(Memory, AllBitsSetSizeIsABadArrayLength) {
  EXPECT_EQ(ErrorText<std::bad_array_new_length>(
                [] { kivo::detail::Allocate(std::numeric_limits<std::size_t>::max()); }),
            "bad array new length");
}

TEST(Memory, AllocatorRejectsCountsWhoseByteSizeOverflows) {
  kivo::detail::Allocator<std::uint64_t> allocator;
  EXPECT_THROW(allocator.allocate(std::numeric_limits<std::size_t>::max() / 4),
               std::bad_array_new_length);
}

TEST(Memory, ExhaustionWithoutNewHandlerThrowsBadAllocation) {
  CountingHeap heap;
  heap.FailAfter(0);
  EXPECT_EQ(ErrorText<std::bad_alloc>([] { kivo::detail::Allocate(64); }), "bad allocation");
  EXPECT_EQ(heap.Failures(), 1u);
}

CountingHeap* handler_heap = nullptr;
int handler_calls = 0;

TEST(Memory, NewHandlerIsCalledUntilTheHeapYields) {
  CountingHeap heap;
  handler_heap = &heap;
  handler_calls = 0;
  heap.FailAfter(0);
  std::new_handler previous = std::set_new_handler([] {
    if (++handler_calls == 3) handler_heap->FailNone();
  });
  void* block = kivo::detail::Allocate(32);
  std::set_new_handler(previous);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(handler_calls, 3);
  EXPECT_EQ(heap.Failures(), 3u);
  kivo::detail::Deallocate(block);
  EXPECT_EQ(heap.Live(), 0);
}

TEST(Memory, ZeroByteRequestsGiveDistinctBlocks) {
  void* a = kivo::detail::Allocate(0);
  void* b = kivo::detail::Allocate(0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(a, b);
  kivo::detail::Deallocate(a);
  kivo::detail::Deallocate(b);
}

}  // namespace
