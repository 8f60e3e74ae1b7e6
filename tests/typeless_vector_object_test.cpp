// TypelessVectorObject: slots, ownership of stored handles, shared copies, element-wise
// comparison and exhausted memory.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "kivo/containers/exports.h"
#include "support/counting_handle.h"
#include "support/counting_heap.h"
#include "support/slots.h"
#include "typeless_vector_object.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::ITypedVectorObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::TypelessVectorObject;
using kivo::testing::CallSlot;
using kivo::testing::CountingHandle;
using kivo::testing::CountingHeap;
using kivo::testing::HandleTally;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;

// An owned typeless vector from the export, seen as the concrete class for its capacity.
struct Vector {
  TypelessVectorObject* object = static_cast<TypelessVectorObject*>(
      static_cast<ITypelessVectorObject*>(KivoTypelessVectorObjectAllocator()));
  Vector() = default;
  // Appends a new counting handle for each value.
  Vector(HandleTally& tally, const std::vector<int>& values) {
    for (int value : values) object->PushBack(CountingHandle::New(tally, value));
  }
  ~Vector() {
    if (object != nullptr) object->Destroy();
  }
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;
  TypelessVectorObject* operator->() const { return object; }
  const ITypelessVectorObject* constant() const { return object; }
  // The stored handle at index, still owned by the vector.
  const CountingHandle* at(std::size_t index) const {
    return static_cast<const CountingHandle*>(object->GetData()[index]);
  }
  // The value behind every stored handle.
  std::vector<int> values() const {
    std::vector<int> result;
    for (std::size_t i = 0; i < object->GetSize(); ++i) result.push_back(*at(i)->value());
    return result;
  }
};

TEST(TypelessVector, NewVectorHasNoElementsAndNoStorage) {
  Vector vector;
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetCapacity(), 0u);
  EXPECT_EQ(vector->GetData(), nullptr);
  EXPECT_EQ(vector->GetAt(0), nullptr);
  EXPECT_EQ(vector.constant()->GetAt(0), nullptr);
  EXPECT_FALSE(vector->RemoveAt(0));
  EXPECT_STREQ(vector->GetInterfaceId()->name, "kivo::containers::ITypelessVectorObject");
  EXPECT_EQ(vector->GetInterfaceId()->code, kivo::containers::kTypelessVectorObjectCode);
}

TEST(TypelessVector, PushBackAdoptsTheItemAndGetAtHandsOutANewShare) {
  HandleTally tally;
  {
    Vector vector;
    CountingHandle* item = CountingHandle::New(tally, 5);
    vector->PushBack(item);
    EXPECT_EQ(vector->GetData()[0], item);
    for (ISharedTypelessObject* share : {vector->GetAt(0), vector.constant()->GetAt(0)}) {
      ASSERT_NE(share, nullptr);
      EXPECT_NE(share, item);
      EXPECT_EQ(static_cast<CountingHandle*>(share)->value(), item->value());
      EXPECT_TRUE(share->Equals(item));
      share->Destroy();
    }
    EXPECT_EQ(vector->GetSize(), 1u);
    EXPECT_EQ(vector->GetData()[0], item);
    EXPECT_EQ(tally.Live(), 1);
    for (const std::int32_t index : {-1, 1, 0x7FFFFFFF}) EXPECT_EQ(vector->GetAt(index), nullptr);
  }
  EXPECT_EQ(tally.Live(), 0);  // the vector ended the handle it adopted
}

TEST(TypelessVector, HandlesFromGetAtOutliveTheElementAndTheVector) {
  HandleTally tally;
  auto* vector = new Vector(tally, {1, 2});
  ISharedTypelessObject* first = (*vector)->GetAt(0);
  ISharedTypelessObject* second = (*vector)->GetAt(1);
  (*vector)->Clear();
  EXPECT_EQ(tally.Live(), 2);
  delete vector;
  EXPECT_EQ(*static_cast<CountingHandle*>(first)->value(), 1);
  EXPECT_EQ(*static_cast<CountingHandle*>(second)->value(), 2);
  first->Destroy();
  second->Destroy();
  EXPECT_EQ(tally.Live(), 0);
}

TEST(TypelessVector, ClearEndsEveryHandleAndKeepsStorage) {
  HandleTally tally;
  Vector vector(tally, {1, 2});
  vector->PushBack(nullptr);
  vector->PushBack(CountingHandle::New(tally, 3));
  ISharedTypelessObject* const* data = vector->GetData();
  const std::uint64_t capacity = vector->GetCapacity();
  vector->Clear();
  EXPECT_EQ(tally.destroyed, 3);  // the null element is skipped
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetData(), data);
  EXPECT_EQ(vector->GetCapacity(), capacity);
}

TEST(TypelessVector, RemoveAtEndsTheHandleAndKeepsTheOthersInOrder) {
  HandleTally tally;
  Vector vector(tally, {1, 2, 3});
  ISharedTypelessObject* const* data = vector->GetData();
  const CountingHandle* second = vector.at(1);
  EXPECT_TRUE(vector->RemoveAt(0));
  EXPECT_EQ(tally.destroyed, 1);
  EXPECT_EQ(vector.values(), (std::vector<int>{2, 3}));
  EXPECT_EQ(vector.at(0), second);
  EXPECT_EQ(vector->GetData(), data);
  EXPECT_FALSE(vector->RemoveAt(2));
  EXPECT_FALSE(vector->RemoveAt(-1));
  EXPECT_EQ(tally.destroyed, 1);
  vector->PushBack(nullptr);
  EXPECT_TRUE(vector->RemoveAt(2));  // a null element goes without a Destroy
  EXPECT_EQ(tally.destroyed, 1);
  EXPECT_EQ(vector.values(), (std::vector<int>{2, 3}));
}

TEST(TypelessVector, AppendsGrowCapacityByHalfStartingFromOne) {
  HandleTally tally;
  CountingHeap heap;
  Vector vector;
  heap.ResetSizes();
  for (int i = 0; i < 13; ++i) vector->PushBack(CountingHandle::New(tally, i));
  const std::vector<std::size_t> pointer_counts = {1, 2, 3, 4, 6, 9, 13};
  std::vector<std::size_t> requests;
  for (std::size_t count : pointer_counts) requests.push_back(count * sizeof(void*));
  EXPECT_EQ(heap.Sizes(), requests);
  EXPECT_EQ(vector->GetCapacity(), 13u);
  EXPECT_EQ(vector.values(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(TypelessVector, ExhaustedMemoryInPushBackLeavesTheItemWithTheCaller) {
  HandleTally tally;
  CountingHeap heap;
  for (const std::size_t count : {0u, 4u}) {
    SCOPED_TRACE(count);
    Vector vector;
    for (std::size_t i = 0; i < count; ++i) vector->PushBack(CountingHandle::New(tally, 0));
    ISharedTypelessObject* const* data = vector->GetData();
    const std::ptrdiff_t live = heap.Live();
    CountingHandle* item = CountingHandle::New(tally, 9);
    heap.FailAfter(0);
    try {
      vector->PushBack(item);
      ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& error) {
      EXPECT_STREQ(error.what(), "bad allocation");
    }
    heap.FailNone();
    EXPECT_EQ(vector->GetSize(), count);
    EXPECT_EQ(vector->GetData(), data);
    EXPECT_EQ(heap.Live(), live);
    EXPECT_EQ(tally.Live(), static_cast<int>(count) + 1);  // nothing ended the item
    item->Destroy();
  }
}

TEST(TypelessVector, CopyFromReplacesHandlesWithSharesOfTheSourceElements) {
  HandleTally tally;
  Vector source(tally, {1, 2});
  Vector target(tally, {7, 8, 9});
  ASSERT_TRUE(target->CopyFrom(source.object));
  EXPECT_EQ(tally.destroyed, 3);  // the target's own handles
  ASSERT_EQ(target->GetSize(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_NE(target.at(i), source.at(i));
    EXPECT_EQ(target.at(i)->value(), source.at(i)->value());  // the same value, shared
  }
  EXPECT_TRUE(target->Equals(source.object));
  EXPECT_EQ(tally.Live(), 4);
}

TEST(TypelessVector, CopyFromAnEmptyVectorKeepsTheStorage) {
  HandleTally tally;
  Vector source, target(tally, {1, 2, 3});
  ISharedTypelessObject* const* data = target->GetData();
  ASSERT_TRUE(target->CopyFrom(source.object));
  EXPECT_EQ(target->GetSize(), 0u);
  EXPECT_EQ(target->GetData(), data);
  EXPECT_EQ(tally.Live(), 0);
}

TEST(TypelessVector, CopyFromItselfNullOrAnotherClassChangesNothing) {
  HandleTally tally;
  Vector vector(tally, {1, 2});
  auto* numbers = static_cast<ITypedVectorObject<long long>*>(KivoInt64VectorObjectAllocator());
  Vector empty;
  EXPECT_TRUE(vector->CopyFrom(vector.object));
  EXPECT_FALSE(vector->CopyFrom(nullptr));
  EXPECT_FALSE(vector->CopyFrom(numbers));
  EXPECT_FALSE(empty->Equals(numbers));
  EXPECT_FALSE(numbers->Equals(empty.object));
  EXPECT_EQ(tally.made, 2);
  EXPECT_EQ(tally.destroyed, 0);
  EXPECT_EQ(vector.values(), (std::vector<int>{1, 2}));
  numbers->Destroy();
}

TEST(TypelessVector, ExhaustedMemoryInCopyFromLeaksNoHandle) {
  HandleTally tally;
  CountingHeap heap;
  struct State {
    std::unique_ptr<Vector> source, target;
  };
  const std::size_t failures = kivo::testing::SweepAllocationFailures(
      heap,
      [&] {
        return State{std::make_unique<Vector>(tally, std::vector<int>{1, 2, 3, 4, 5}),
                     std::make_unique<Vector>(tally, std::vector<int>{6})};
      },
      [](State& state) { (*state.target)->CopyFrom(state.source->object); },
      [&](State& state, const char* what) {
        if (what != nullptr) {
          EXPECT_STREQ(what, "bad allocation");
        }
        // Every handle alive is held by one of the two vectors.
        EXPECT_EQ(tally.Live(),
                  static_cast<int>((*state.source)->GetSize() + (*state.target)->GetSize()));
        if (what == nullptr) {
          EXPECT_EQ(state.target->values(), (std::vector<int>{1, 2, 3, 4, 5}));
        }
      });
  EXPECT_EQ(failures, 4u);  // the target grows from 1 to 2, 3, 4 and 6
  EXPECT_EQ(tally.Live(), 0);
}

struct EqualsCase {
  std::vector<int> a;  // -1 stands for a null element
  std::vector<int> b;
  bool equal;
};

void Fill(Vector& vector, HandleTally& tally, const std::vector<int>& values) {
  for (int value : values) {
    vector->PushBack(value < 0 ? nullptr : CountingHandle::New(tally, value));
  }
}

TEST(TypelessVector, EqualsComparesCountAndEachPairThroughTheHandles) {
  const EqualsCase cases[] = {
      {{}, {}, true},           {{1, 2}, {1, 2}, true}, {{1, 2}, {1, 2, 3}, false},
      {{1, 2}, {2, 1}, false},  {{-1}, {-1}, true},     {{-1}, {1}, false},
      {{1, -1}, {1, 0}, false},
  };
  HandleTally tally;
  for (const EqualsCase& c : cases) {
    Vector a, b;
    Fill(a, tally, c.a);
    Fill(b, tally, c.b);
    EXPECT_EQ(a->Equals(b.object), c.equal);
    EXPECT_EQ(b->Equals(a.object), c.equal);
    EXPECT_TRUE(a->Equals(a.object));
    EXPECT_FALSE(a->Equals(nullptr));
  }
}

TEST(TypelessVector, NullElementsReadAsNullAndCopyAsNull) {
  HandleTally tally;
  Vector source;
  Fill(source, tally, {1, -1, 2});
  EXPECT_EQ(source->GetAt(1), nullptr);
  Vector copy;
  ASSERT_TRUE(copy->CopyFrom(source.object));
  ASSERT_EQ(copy->GetSize(), 3u);
  EXPECT_EQ(copy->GetData()[1], nullptr);
  EXPECT_TRUE(copy->Equals(source.object));
}

TEST(TypelessVector, NewInstanceIsAnEmptyTypelessVector) {
  HandleTally tally;
  Vector vector(tally, {1});
  IObject* fresh = vector->NewInstance();
  auto* typed = dynamic_cast<TypelessVectorObject*>(fresh);
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->GetSize(), 0u);
  EXPECT_EQ(typed->GetData(), nullptr);
  EXPECT_EQ(typed->GetInterfaceId(), vector->GetInterfaceId());
  IObject* second = typed->NewInstance();  // the new vector carries the same allocator
  EXPECT_NE(dynamic_cast<TypelessVectorObject*>(second), nullptr);
  second->Destroy();
  fresh->Destroy();
  EXPECT_EQ(vector->GetSize(), 1u);
}

int allocator_calls = 0;
ISharedInterface* CountingTypelessAllocator() {
  ++allocator_calls;
  return KivoTypelessVectorObjectAllocator();
}

TEST(TypelessVector, NewInstanceCallsTheAllocatorThatMadeTheVector) {
  allocator_calls = 0;
  auto* vector = new TypelessVectorObject(&CountingTypelessAllocator);
  IObject* fresh = vector->NewInstance();
  EXPECT_EQ(allocator_calls, 1);
  EXPECT_NE(dynamic_cast<TypelessVectorObject*>(fresh), nullptr);
  fresh->Destroy();
  vector->Destroy();
}

// Slots of IObject and ITypedVectorObject<ISharedTypelessObject>, called by position.
TEST(TypelessVectorSlots, EachOperationSitsAtItsPosition) {
  HandleTally tally;
  ISharedInterface* vector = KivoTypelessVectorObjectAllocator();
  ISharedTypelessObject* first = CountingHandle::New(tally, 1);
  ISharedTypelessObject* second = CountingHandle::New(tally, 2);
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
    EXPECT_NE(share, second);
    EXPECT_TRUE(share->Equals(second));
    share->Destroy();
  }
  EXPECT_EQ(CallSlot<const InterfaceId*>(vector, 1)->code,  // GetInterfaceId
            kivo::containers::kTypelessVectorObjectCode);

  auto* fresh = CallSlot<IObject*>(vector, 4);  // NewInstance
  ASSERT_NE(fresh, nullptr);
  const IObject* source = static_cast<ITypelessVectorObject*>(vector);
  EXPECT_FALSE(CallSlot<bool>(fresh, 3, source));  // Equals
  EXPECT_TRUE(CallSlot<bool>(fresh, 2, source));   // CopyFrom
  EXPECT_TRUE(CallSlot<bool>(fresh, 3, source));

  EXPECT_TRUE(CallSlot<bool>(vector, 7, std::int32_t{0}));  // RemoveAt
  EXPECT_EQ(tally.destroyed, 3);                            // 2 shares, then first
  CallSlot<void>(vector, 6);                                // Clear
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 0u);
  EXPECT_EQ(tally.destroyed, 4);

  CallSlot<void>(fresh, 0);  // Destroy
  CallSlot<void>(vector, 0);
  EXPECT_EQ(tally.Live(), 0);
}

// With the library's own shared typeless objects behind the handles.

// A new shared object holding a 4-byte trivial payload with value, typed as int vectors are.
ISharedTypelessObject* NewSharedInt(std::int32_t value) {
  auto* unique = static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessTrivialObjectAllocator_4());
  std::memcpy(unique->GetData(), &value, sizeof(value));
  unique->SetTypeId(kivo::utility::InterfaceIdOf<ITypedVectorObject<int>>());
  auto* shared = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(unique);
  return shared;
}

std::int32_t ValueOf(ISharedTypelessObject* shared) {
  std::int32_t value = 0;
  std::memcpy(&value, shared->GetUnique()->GetConstData(), sizeof(value));
  return value;
}

TEST(TypelessVectorWithSharedObjects, CopiesShareTheUniqueObjects) {
  Vector source, target;
  source->PushBack(NewSharedInt(10));
  source->PushBack(NewSharedInt(20));
  ASSERT_TRUE(target->CopyFrom(source.object));
  for (std::int32_t i = 0; i < 2; ++i) {
    EXPECT_NE(target->GetData()[i], source->GetData()[i]);
    EXPECT_EQ(target->GetData()[i]->GetUnique(), source->GetData()[i]->GetUnique());
  }
  EXPECT_TRUE(target->Equals(source.object));
  // A value written through one vector's handle shows through the other's.
  ISharedTypelessObject* replacement = NewSharedInt(99);
  ASSERT_TRUE(source->GetData()[0]->AssignValue(replacement));
  replacement->Destroy();
  ISharedTypelessObject* read = target->GetAt(0);
  EXPECT_EQ(ValueOf(read), 99);
  read->Destroy();
}

TEST(TypelessVectorWithSharedObjects, EqualsComparesThePayloadValues) {
  Vector a, b;
  a->PushBack(NewSharedInt(1));
  b->PushBack(NewSharedInt(1));
  EXPECT_NE(a->GetData()[0]->GetUnique(), b->GetData()[0]->GetUnique());
  EXPECT_TRUE(a->Equals(b.object));
  a->PushBack(NewSharedInt(2));
  b->PushBack(NewSharedInt(3));
  EXPECT_FALSE(a->Equals(b.object));
}

TEST(TypelessVectorWithSharedObjects, HandleFromGetAtKeepsThePayloadAfterTheVectorEnds) {
  auto* vector = new Vector;
  (*vector)->PushBack(NewSharedInt(42));
  ISharedTypelessObject* kept = (*vector)->GetAt(0);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->GetUnique(), (*vector)->GetData()[0]->GetUnique());
  delete vector;
  EXPECT_EQ(ValueOf(kept), 42);
  kept->Destroy();
}

}  // namespace
