// TypedVectorObject<T>: slots, growth, indices, the fallback element, copies, comparisons and
// exhausted memory, for all ten numeric vectors.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "internal/memory.h"
#include "internal/vector_storage.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/error_text.h"
#include "support/slots.h"
#include "typed_vector_object.h"

namespace {

using kivo::testing::ErrorText;

using kivo::containers::ITypedVectorObject;
using kivo::containers::TypedVectorObject;
using kivo::testing::CallSlot;
using kivo::testing::CountingHeap;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;

// Each member's export.
template <class T>
struct Member;
#define KIVO_TEST_MEMBER(Type, Word, NameWord)                                     \
  template <>                                                                      \
  struct Member<Type> {                                                            \
    static constexpr const char* kWord = #Word;                                    \
    static constexpr ObjectAllocator kExport = &Kivo##Word##VectorObjectAllocator; \
  };
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_TEST_MEMBER)
#undef KIVO_TEST_MEMBER

// An owned vector from the member's export, seen as the concrete class for its capacity.
template <class T>
struct Vector {
  TypedVectorObject<T>* object =
      static_cast<TypedVectorObject<T>*>(static_cast<ITypedVectorObject<T>*>(Member<T>::kExport()));
  explicit Vector(const std::vector<int>& values = {}) {
    for (int value : values) object->PushBack(static_cast<T>(value));
  }
  ~Vector() { object->Destroy(); }
  TypedVectorObject<T>* operator->() const { return object; }
  const ITypedVectorObject<T>* constant() const { return object; }
  // The elements, each converted to int.
  std::vector<int> values() const {
    return std::vector<int>(object->GetData(), object->GetData() + object->GetSize());
  }
  // Appends 0, 1, 2, ... until the vector holds count elements.
  void FillTo(std::size_t count) {
    while (object->GetSize() < count) object->PushBack(static_cast<T>(object->GetSize()));
  }
};

template <class... All>
struct TypeList {
  using Gtest = ::testing::Types<All...>;
};
template <class First, class... Rest>
struct TypeList<First, Rest...> {
  using Gtest = ::testing::Types<First, Rest...>;
  using Tail = TypeList<Rest...>;  // drops the placeholder an X-macro list starts with
};
#define KIVO_TEST_ELEMENT(Type, Word, NameWord) , Type
using Members = TypeList<bool KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_TEST_ELEMENT)>::Tail;
#undef KIVO_TEST_ELEMENT

// How many members other than T read a non-zero fallback element.
template <class T, class... All>
int OtherNonZeroFallbacks(TypeList<All...>) {
  return (0 + ... + static_cast<int>(!std::is_same_v<T, All> && Vector<All>()->GetAt(-1) != 0));
}

struct MemberNames {
  template <class T>
  static std::string GetName(int) {
    return Member<T>::kWord;
  }
};

template <class T>
class TypedVector : public ::testing::Test {};
TYPED_TEST_SUITE(TypedVector, Members::Gtest, MemberNames);

TYPED_TEST(TypedVector, ExportAndNewInstanceGiveEmptyVectorsOfTheMemberWithoutStorage) {
  Vector<TypeParam> vector;
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetCapacity(), 0u);
  EXPECT_EQ(vector->GetData(), nullptr);
  EXPECT_EQ(vector.constant()->GetData(), nullptr);
  EXPECT_FALSE(vector->RemoveAt(0));
  EXPECT_EQ(vector->GetInterfaceId(),
            kivo::utility::InterfaceIdOf<ITypedVectorObject<TypeParam>>());
  vector->PushBack(TypeParam(1));
  IObject* fresh = vector->NewInstance();
  auto* typed = dynamic_cast<TypedVectorObject<TypeParam>*>(fresh);
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->GetSize(), 0u);
  EXPECT_EQ(typed->GetData(), nullptr);
  fresh->Destroy();
}

TYPED_TEST(TypedVector, AppendsGrowCapacityByHalfStartingFromOne) {
  CountingHeap heap;
  Vector<TypeParam> vector;
  heap.ResetSizes();
  vector.FillTo(28);
  std::vector<std::size_t> requests;
  for (std::size_t capacity : {1, 2, 3, 4, 6, 9, 13, 19, 28}) {
    requests.push_back(capacity * sizeof(TypeParam));
  }
  EXPECT_EQ(heap.Sizes(), requests);
  EXPECT_EQ(vector->GetCapacity(), 28u);
  EXPECT_EQ(heap.Live(), 2);  // the object and its current block
  for (int i = 0; i < 28; ++i) EXPECT_EQ(vector.constant()->GetAt(i), TypeParam(i));
}

TYPED_TEST(TypedVector, InvalidIndicesReachTheFallbackOfTheElementTypeAndRemoveNothing) {
  Vector<TypeParam> vector({1, 2, 3}), other({5});
  TypeParam* const fallback = &vector->GetAt(-1);
  for (const std::int32_t index : {-1, 3, 4, std::numeric_limits<std::int32_t>::max(),
                                   std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(&vector->GetAt(index), fallback);
    EXPECT_EQ(vector.constant()->GetAt(index), TypeParam{});
    EXPECT_FALSE(vector->RemoveAt(index));
  }
  EXPECT_EQ(vector.values(), (std::vector<int>{1, 2, 3}));
  // A value written into the fallback shows in every vector of this element type, and only there.
  *fallback = TypeParam(7);
  EXPECT_EQ(other.constant()->GetAt(1), TypeParam(7));
  EXPECT_EQ(&other->GetAt(100), fallback);
  EXPECT_EQ(other.constant()->GetAt(0), TypeParam(5));
  EXPECT_EQ(OtherNonZeroFallbacks<TypeParam>(Members{}), 0);
  *fallback = TypeParam{};  // the other tests expect zero
}

TYPED_TEST(TypedVector, AppendingItsOwnElementSurvivesGrowth) {
  CountingHeap heap;  // overwrites released blocks
  {
    Vector<TypeParam> vector({11, 22, 33, 44});
    EXPECT_EQ(vector->GetSize(), vector->GetCapacity());
    vector->PushBack(vector->GetAt(1));  // const TypeParam&
    vector.FillTo(vector->GetCapacity());
    vector->PushBack(std::move(vector->GetAt(2)));  // TypeParam&&
    EXPECT_EQ(vector.values()[4], 22);
    EXPECT_EQ(vector.values().back(), 33);
  }
}

TYPED_TEST(TypedVector, CopyFromReusesStorageThatFitsAndOtherwiseReleasesItThenGrowsByHalf) {
  struct {
    std::size_t target_count, source_count, capacity;  // the target's capacity afterwards
    bool allocates;
  } const cases[] = {
      {0, 0, 0, false},  {0, 5, 5, true},  {4, 5, 6, true},  // max(4 + 2, 5)
      {4, 10, 10, true}, {6, 6, 6, false}, {9, 0, 9, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target_count << " <- " << c.source_count);
    CountingHeap heap;
    Vector<TypeParam> target, source;
    target.FillTo(c.target_count);
    for (std::size_t i = 0; i < c.source_count; ++i) source->PushBack(TypeParam(100 - i));
    TypeParam* const old_data = target->GetData();
    const std::ptrdiff_t live = heap.Live();
    heap.ResetSizes();
    ASSERT_TRUE(target->CopyFrom(source.object));
    EXPECT_EQ(target.values(), source.values());
    EXPECT_EQ(target->GetCapacity(), c.capacity);
    EXPECT_EQ(heap.Live(), live + (c.allocates && old_data == nullptr ? 1 : 0));
    if (c.allocates) {
      EXPECT_EQ(heap.Sizes(), std::vector<std::size_t>{c.capacity * sizeof(TypeParam)});
    } else {
      EXPECT_TRUE(heap.Sizes().empty());
      EXPECT_EQ(target->GetData(), old_data);
    }
  }
}

template <class T>
class FloatingVector : public ::testing::Test {};
using FloatingMembers = ::testing::Types<float, double>;
TYPED_TEST_SUITE(FloatingVector, FloatingMembers, MemberNames);

TYPED_TEST(FloatingVector, EqualsComparesValuesWhileCopyFromCopiesBits) {
  const TypeParam nan = std::numeric_limits<TypeParam>::quiet_NaN();
  Vector<TypeParam> source({1}), other({1}), copy;
  source->PushBack(-TypeParam{0});
  other->PushBack(TypeParam{0});
  EXPECT_TRUE(source->Equals(other.object));
  EXPECT_TRUE(other->Equals(source.object));
  source->PushBack(nan);
  other->PushBack(nan);
  ASSERT_EQ(std::memcmp(source->GetData() + 2, other->GetData() + 2, sizeof(TypeParam)), 0);
  EXPECT_FALSE(source->Equals(other.object));
  EXPECT_TRUE(source->Equals(source.object));
  ASSERT_TRUE(copy->CopyFrom(source.object));
  EXPECT_EQ(std::memcmp(copy->GetData(), source->GetData(), 3 * sizeof(TypeParam)), 0);
  EXPECT_FALSE(copy->Equals(source.object));
}

// The slots of ITypedVectorObject<T>, called by position as a foreign client does. The template
// fixes them for every T; the slots of IObject are checked on every class alike.
TEST(Int32VectorSlots, EachOperationSitsAtItsPosition) {
  ISharedInterface* vector = KivoInt32VectorObjectAllocator();
  const int first = 41;
  int second = 42;
  CallSlot<void>(vector, 10, &first);                 // PushBack(const int&)
  CallSlot<void>(vector, 11, &second);                // PushBack(int&&)
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 2u);  // GetSize
  int* data = CallSlot<int*>(vector, 12);             // GetData
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(CallSlot<const int*>(vector, 13), data);  // GetData const
  EXPECT_EQ(data[0], 41);
  EXPECT_EQ(data[1], 42);
  EXPECT_EQ(CallSlot<int*>(vector, 8, std::int32_t{1}), data + 1);  // GetAt
  EXPECT_EQ(CallSlot<int>(vector, 9, std::int32_t{0}), 41);         // GetAt const
  EXPECT_TRUE(CallSlot<bool>(vector, 7, std::int32_t{0}));          // RemoveAt
  EXPECT_EQ(CallSlot<int>(vector, 9, std::int32_t{0}), 42);
  CallSlot<void>(vector, 6);  // Clear
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 0u);
  EXPECT_EQ(CallSlot<int*>(vector, 12), data);
  CallSlot<void>(vector, 0);  // Destroy
}

TEST(VectorGrowth, CapacityGrowsByHalfAtLeastToTheNeedAndStopsAtTheLargestCount) {
  constexpr std::size_t k8 = 0x1FFFFFFFFFFFFFFF;
  constexpr std::size_t k1 = 0x7FFFFFFFFFFFFFFF;
  const struct {
    std::size_t capacity, needed, max, grown;
  } cases[] = {
      {4, 5, 5, 5},
      {0x1555555555555555, 0x1555555555555556, k8, k8},  // exactly reaches the largest count
      {0x1555555555555556, 0x1555555555555557, k8, k8},  // would pass it
      {k1 - 1, k1, k1, k1},  // half as much again would not even fit in 64 bits unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.capacity << " for " << c.needed);
    EXPECT_EQ(kivo::detail::GrownCapacity(c.capacity, c.needed, c.max), c.grown);
  }
  EXPECT_EQ(kivo::detail::MaxVectorCount<unsigned short>(), k1);
  EXPECT_EQ(kivo::detail::MaxVectorCount<float>(), 0x3FFFFFFFFFFFFFFFu);
  EXPECT_EQ(kivo::detail::MaxVectorCount<double>(), k8);
}

TEST(VectorGrowth, GrowingPastTheLargestCountThrowsVectorTooLongAndChangesNothing) {
  kivo::detail::VectorStorage<int, 5> storage;  // stands in for a vector at its limit
  for (int i = 0; i < 5; ++i) storage.PushBack(i);
  const int* const data = storage.begin();
  const int source[6] = {};
  const std::function<void()> growths[] = {[&] { storage.PushBack(5); },
                                           [&] { storage.Assign(source, 6); }};
  for (const auto& grow : growths) {
    EXPECT_EQ(ErrorText<std::length_error>(grow), "vector too long");
    EXPECT_EQ(storage.begin(), data);
    EXPECT_EQ(std::vector<int>(storage.begin(), storage.end()), (std::vector<int>{0, 1, 2, 3, 4}));
  }
}

TEST(VectorIndex, ValidBelowTheCountsLow32BitsTakenAsSigned) {
  const struct {
    std::int32_t index;
    std::uint64_t count;
    bool valid;
  } cases[] = {
      {4, 5, true},           {5, 5, false}, {0x7FFFFFFE, 0x7FFFFFFF, true},
      {0, 0x80000000, false},  // the low 32 bits read as a negative count
      {3, 0x100000005, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.index << " of " << c.count);
    EXPECT_EQ(kivo::detail::IsValidIndex(c.index, c.count), c.valid);
  }
}

}  // namespace
