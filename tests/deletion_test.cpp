// The deletion rule: `delete` through any interface pointer ends the object with Destroy, so
// standard owners with their default deleters return every block to the library's heap.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <memory>

#include "kivo/containers/exports.h"
#include "support/counting_heap.h"

namespace {

using kivo::containers::IStringObject;
using kivo::testing::CountingHeap;

// `delete` through an interface pointer must run Destroy: the object and its text block go back.
TEST(Deletion, DeleteThroughAnyInterfaceReturnsEveryBlock) {
  CountingHeap heap;
  IStringObject* null_text = nullptr;
  delete null_text;
  {
    std::unique_ptr<IStringObject> owned(static_cast<IStringObject*>(KivoStringObjectAllocator()));
    owned->SetString("a text long enough to need a heap block");
    EXPECT_EQ(heap.Live(), 2);
  }
  EXPECT_EQ(heap.Live(), 0);
  {
    std::shared_ptr<kivo::utility::IObject> shared(
        static_cast<IStringObject*>(KivoStringObjectAllocator()));
    EXPECT_EQ(heap.Live(), 1);
  }
  EXPECT_EQ(heap.Live(), 0);
  kivo::utility::ISharedInterface* root = KivoStringObjectAllocator();
  delete root;
  EXPECT_EQ(heap.Live(), 0);
}

}  // namespace
