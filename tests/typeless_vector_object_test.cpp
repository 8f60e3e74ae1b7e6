// TypelessVectorObject: slots, ownership of stored handles, shared copies, element-wise
// comparison and exhausted memory.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/slots.h"
#include "typeless_vector_object.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::TypelessVectorObject;
using kivo::detail::Owned;
using kivo::testing::CallSlot;
using kivo::testing::CountingHandle;
using kivo::testing::CountingHeap;
using kivo::testing::CountingLog;
using kivo::utility::IObject;

// An owned typeless vector from the export, seen as the concrete class.
struct Vector {
  TypelessVectorObject* object = static_cast<TypelessVectorObject*>(
      static_cast<ITypelessVectorObject*>(KivoTypelessVectorObjectAllocator()));
  Vector() = default;
  // Appends a new counting handle for each value, and a null element for -1.
  Vector(CountingLog& log, const std::vector<int>& values) {
    for (int v : values) object->PushBack(v < 0 ? nullptr : CountingHandle::New(log, v));
  }
  ~Vector() { object->Destroy(); }
  TypelessVectorObject* operator->() const { return object; }
  // The stored handle at index, still owned by the vector.
  const CountingHandle* at(std::size_t index) const {
    return static_cast<const CountingHandle*>(object->GetData()[index]);
  }
  // The value behind every stored handle.
  std::vector<int> values() const {
    std::vector<int> result;
    for (std::size_t i = 0; i < object->GetSize(); ++i) result.push_back(*at(i)->value);
    return result;
  }
};

template <class Operation>
std::string BadAllocText(Operation operation) {
  try {
    operation();
  } catch (const std::bad_alloc& error) {
    return error.what();
  }
  return "no exception";
}

TEST(TypelessVector, ExportAndNewInstanceGiveEmptyVectorsWithoutStorage) {
  CountingLog log;
  Vector vector;
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetCapacity(), 0u);
  EXPECT_EQ(vector->GetData(), nullptr);
  EXPECT_EQ(vector->GetAt(0), nullptr);
  EXPECT_FALSE(vector->RemoveAt(0));
  EXPECT_EQ(vector->GetInterfaceId(), kivo::utility::InterfaceIdOf<ITypelessVectorObject>());
  vector->PushBack(CountingHandle::New(log, 1));
  Owned<IObject> fresh(vector->NewInstance());
  auto* typed = dynamic_cast<TypelessVectorObject*>(fresh.get());
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->GetSize(), 0u);
  EXPECT_EQ(typed->GetData(), nullptr);
}

TEST(TypelessVector, PushBackAdoptsTheItemAndGetAtHandsOutSharesThatOutliveTheVector) {
  CountingLog log;
  CountingHandle* item = CountingHandle::New(log, 5);
  auto* vector = static_cast<ITypelessVectorObject*>(KivoTypelessVectorObjectAllocator());
  vector->PushBack(item);
  ISharedTypelessObject* shares[] = {vector->GetAt(0), std::as_const(*vector).GetAt(0)};
  for (ISharedTypelessObject* share : shares) {
    ASSERT_NE(share, nullptr);
    EXPECT_NE(share, item);
    EXPECT_EQ(static_cast<CountingHandle*>(share)->value, item->value);
  }
  shares[0]->Destroy();
  EXPECT_EQ(vector->GetSize(), 1u);
  EXPECT_EQ(vector->GetData()[0], item);
  for (const std::int32_t index : {-1, 1, 0x7FFFFFFF}) EXPECT_EQ(vector->GetAt(index), nullptr);
  vector->Destroy();
  EXPECT_EQ(log.Alive(), 1);  // the vector ended the item it adopted, and only that
  EXPECT_EQ(*static_cast<CountingHandle*>(shares[1])->value, 5);
  shares[1]->Destroy();
}

TEST(TypelessVector, RemoveAtAndClearEndTheirHandlesSkipNullOnesAndKeepTheStorage) {
  CountingLog log;
  Vector vector(log, {1, 2, -1, 3});
  ISharedTypelessObject* const* data = vector->GetData();
  const CountingHandle* second = vector.at(1);
  EXPECT_TRUE(vector->RemoveAt(0));
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(vector.at(0), second);
  EXPECT_EQ(vector->GetAt(1), nullptr);  // the null element, read as null
  EXPECT_TRUE(vector->RemoveAt(1));
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(vector.values(), (std::vector<int>{2, 3}));
  EXPECT_FALSE(vector->RemoveAt(2));
  EXPECT_FALSE(vector->RemoveAt(-1));
  vector->PushBack(nullptr);
  vector->Clear();
  EXPECT_EQ(log.destroyed, 3);
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetData(), data);
}

TEST(TypelessVector, CopyFromEndsItsOwnHandlesAndTakesSharesOfTheSourceElements) {
  CountingLog log;
  Vector source(log, {1, -1, 2}), target(log, {7, 8, 9}), empty;
  ISharedTypelessObject* const* data = target->GetData();
  ASSERT_TRUE(target->CopyFrom(source.object));
  EXPECT_EQ(log.destroyed, 3);
  ASSERT_EQ(target->GetSize(), 3u);
  EXPECT_EQ(target->GetData()[1], nullptr);
  for (const std::size_t i : {0, 2}) {
    EXPECT_NE(target.at(i), source.at(i));
    EXPECT_EQ(target.at(i)->value, source.at(i)->value);
  }
  EXPECT_TRUE(target->Equals(source.object));
  ASSERT_TRUE(target->CopyFrom(empty.object));
  EXPECT_EQ(target->GetSize(), 0u);
  EXPECT_EQ(target->GetData(), data);
  EXPECT_EQ(log.Alive(), 2);
}

// The slots of ITypedVectorObject<ISharedTypelessObject>, called by position.
TEST(TypelessVectorSlots, EachOperationSitsAtItsPosition) {
  CountingLog log;
  auto* vector = KivoTypelessVectorObjectAllocator();
  ISharedTypelessObject* first = CountingHandle::New(log, 1);
  ISharedTypelessObject* second = CountingHandle::New(log, 2);
  CallSlot<void>(vector, 10, first);  // PushBack
  CallSlot<void>(vector, 10, second);
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 2u);                 // GetSize
  auto* data = CallSlot<ISharedTypelessObject* const*>(vector, 11);  // GetData
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[0], first);
  EXPECT_EQ(data[1], second);
  for (const std::size_t slot : {8u, 9u}) {  // GetAt, GetAt const
    auto* share = CallSlot<ISharedTypelessObject*>(vector, slot, std::int32_t{1});
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(static_cast<CountingHandle*>(share)->value,
              static_cast<CountingHandle*>(second)->value);
    share->Destroy();
  }
  EXPECT_TRUE(CallSlot<bool>(vector, 7, std::int32_t{0}));  // RemoveAt
  EXPECT_EQ(log.destroyed, 3);                              // 2 shares, then first
  CallSlot<void>(vector, 6);                                // Clear
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 0u);
  EXPECT_EQ(log.destroyed, 4);
  CallSlot<void>(vector, 0);  // Destroy
}

// A new shared object holding a 4-byte trivial payload with value.
ISharedTypelessObject* NewSharedInt(std::int32_t value) {
  auto* unique = static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessTrivialObjectAllocator_4());
  std::memcpy(unique->GetData(), &value, sizeof(value));
  unique->SetTypeId(kivo::utility::InterfaceIdOf<kivo::containers::IInt32VectorObject>());
  auto* shared = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(unique);
  return shared;
}

TEST(TypelessVectorWithSharedObjects, CopiesShareTheUniqueObjectsSoAssignedValuesShowInBoth) {
  Vector source, target;
  source->PushBack(NewSharedInt(10));
  source->PushBack(NewSharedInt(20));
  ASSERT_TRUE(target->CopyFrom(source.object));
  for (std::int32_t i = 0; i < 2; ++i) {
    EXPECT_NE(target->GetData()[i], source->GetData()[i]);
    EXPECT_EQ(target->GetData()[i]->GetUnique(), source->GetData()[i]->GetUnique());
  }
  Owned<ISharedTypelessObject> replacement(NewSharedInt(99));
  ASSERT_TRUE(source->GetData()[0]->AssignValue(replacement.get()));
  Owned<ISharedTypelessObject> read(target->GetAt(0));
  EXPECT_EQ(std::memcmp(read->GetUnique()->GetConstData(), replacement->GetUnique()->GetData(), 4),
            0);
  EXPECT_TRUE(target->Equals(source.object));
}

}  // namespace
