// TypedVectorObject<T>: slots, growth, indices, the fallback element, copies, comparisons and
// exhausted memory, for all ten numeric vectors.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "internal/memory.h"
#include "internal/vector_storage.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/slots.h"
#include "typed_vector_object.h"

namespace {

using kivo::containers::ITypedVectorObject;
using kivo::containers::TypedVectorObject;
using kivo::testing::CallSlot;
using kivo::testing::CountingHeap;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;

// What sets one member of the family apart: its export, record, and a member of another class
// with elements of the same size.
template <class T>
struct Member;

#define KIVO_TEST_MEMBER(Type, Word, Export, Name, Code, Other)    \
  template <>                                                      \
  struct Member<Type> {                                            \
    static constexpr const char* kWord = Word;                     \
    static constexpr ObjectAllocator kExport = &Export;            \
    static constexpr const char* kName = Name;                     \
    static constexpr std::uint32_t kCode = kivo::containers::Code; \
    using Neighbour = Other;                                       \
  };
KIVO_TEST_MEMBER(signed char, "Int8", KivoInt8VectorObjectAllocator,
                 "kivo::containers::IInt8VectorObject", kInt8VectorObjectCode, unsigned char)
KIVO_TEST_MEMBER(unsigned char, "UInt8", KivoUInt8VectorObjectAllocator,
                 "kivo::containers::IInt8VectorObject", kInt8VectorObjectCode, signed char)
KIVO_TEST_MEMBER(short, "Int16", KivoInt16VectorObjectAllocator,
                 "kivo::containers::IInt16VectorObject", kInt16VectorObjectCode, unsigned short)
KIVO_TEST_MEMBER(unsigned short, "UInt16", KivoUInt16VectorObjectAllocator,
                 "kivo::containers::IUInt16VectorObject", kUInt16VectorObjectCode, short)
KIVO_TEST_MEMBER(int, "Int32", KivoInt32VectorObjectAllocator,
                 "kivo::containers::IInt32VectorObject", kInt32VectorObjectCode, unsigned int)
KIVO_TEST_MEMBER(unsigned int, "UInt32", KivoUInt32VectorObjectAllocator,
                 "kivo::containers::IUInt32VectorObject", kUInt32VectorObjectCode, float)
KIVO_TEST_MEMBER(long long, "Int64", KivoInt64VectorObjectAllocator,
                 "kivo::containers::IInt64VectorObject", kInt64VectorObjectCode, unsigned long long)
KIVO_TEST_MEMBER(unsigned long long, "UInt64", KivoUInt64VectorObjectAllocator,
                 "kivo::containers::IUInt64VectorObject", kUInt64VectorObjectCode, double)
KIVO_TEST_MEMBER(float, "Float", KivoFloatVectorObjectAllocator,
                 "kivo::containers::IFloatVectorObject", kFloatVectorObjectCode, int)
KIVO_TEST_MEMBER(double, "Double", KivoDoubleVectorObjectAllocator,
                 "kivo::containers::IDoubleVectorObject", kDoubleVectorObjectCode, long long)
#undef KIVO_TEST_MEMBER

// An owned vector from the member's export, seen as the concrete class for its capacity.
template <class T>
struct Vector {
  TypedVectorObject<T>* object =
      static_cast<TypedVectorObject<T>*>(static_cast<ITypedVectorObject<T>*>(Member<T>::kExport()));
  Vector() = default;
  Vector(std::initializer_list<int> values) : Vector(std::vector<int>(values)) {}
  explicit Vector(const std::vector<int>& values) {
    for (int value : values) object->PushBack(static_cast<T>(value));
  }
  ~Vector() { object->Destroy(); }
  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;
  TypedVectorObject<T>* operator->() const { return object; }
  const ITypedVectorObject<T>* constant() const { return object; }
  std::vector<T> values() const {
    return std::vector<T>(object->GetData(), object->GetData() + object->GetSize());
  }
  // Appends 0, 1, 2, ... until the vector holds count elements.
  void FillTo(std::size_t count) {
    while (object->GetSize() < count) object->PushBack(static_cast<T>(object->GetSize()));
  }
};

template <class T>
std::vector<T> Values(const std::vector<int>& values) {
  std::vector<T> result;
  for (int value : values) result.push_back(static_cast<T>(value));
  return result;
}

template <class... All>
struct TypeList {};
using AllMembers = TypeList<signed char, unsigned char, short, unsigned short, int, unsigned int,
                            long long, unsigned long long, float, double>;

template <class T>
T FallbackOf() {
  Vector<T> vector;
  return vector.constant()->GetAt(-1);
}

// How many members other than T read a non-zero fallback element.
template <class T, class... All>
int OtherNonZeroFallbacks(TypeList<All...>) {
  return (0 + ... + static_cast<int>(!std::is_same_v<T, All> && FallbackOf<All>() != All{}));
}

// Names the typed tests by element word (Int8, ..., Double) rather than by position.
struct MemberNames {
  template <class T>
  static std::string GetName(int) {
    return Member<T>::kWord;
  }
};

template <class T>
class TypedVector : public ::testing::Test {};
using Members = ::testing::Types<signed char, unsigned char, short, unsigned short, int,
                                 unsigned int, long long, unsigned long long, float, double>;
TYPED_TEST_SUITE(TypedVector, Members, MemberNames);

TYPED_TEST(TypedVector, NewVectorHasNoElementsAndNoStorage) {
  Vector<TypeParam> vector;
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetCapacity(), 0u);
  EXPECT_EQ(vector->GetData(), nullptr);
  EXPECT_EQ(vector.constant()->GetData(), nullptr);
  EXPECT_EQ(vector.constant()->GetAt(0), TypeParam{});
  EXPECT_FALSE(vector->RemoveAt(0));
}

TYPED_TEST(TypedVector, ExportGivesDistinctObjectsWithTheMembersRecord) {
  Vector<TypeParam> a, b;
  EXPECT_NE(a.object, b.object);
  const InterfaceId* record = a->GetInterfaceId();
  EXPECT_EQ(record, b->GetInterfaceId());
  EXPECT_EQ(record, InterfaceIdOf<ITypedVectorObject<TypeParam>>());
  EXPECT_STREQ(record->name, Member<TypeParam>::kName);
  EXPECT_EQ(record->code, Member<TypeParam>::kCode);
}

TYPED_TEST(TypedVector, AppendsGrowCapacityByHalfStartingFromOne) {
  CountingHeap heap;
  Vector<TypeParam> vector;
  heap.ResetSizes();
  std::vector<std::uint64_t> capacities;
  for (int i = 0; i < 28; ++i) {
    vector->PushBack(static_cast<TypeParam>(i));
    if (capacities.empty() || capacities.back() != vector->GetCapacity()) {
      capacities.push_back(vector->GetCapacity());
    }
  }
  const std::vector<std::uint64_t> expected = {1, 2, 3, 4, 6, 9, 13, 19, 28};
  EXPECT_EQ(capacities, expected);
  std::vector<std::size_t> requests;
  for (std::uint64_t capacity : expected) requests.push_back(capacity * sizeof(TypeParam));
  EXPECT_EQ(heap.Sizes(), requests);
  EXPECT_EQ(heap.Live(), 2);  // the object and its current block
  for (int i = 0; i < 28; ++i) EXPECT_EQ(vector.constant()->GetAt(i), static_cast<TypeParam>(i));
}

TYPED_TEST(TypedVector, InvalidIndicesReachTheFallbackAndRemoveNothing) {
  Vector<TypeParam> vector{1, 2, 3};
  TypeParam* fallback = &vector->GetAt(-1);
  for (const std::int32_t index : {-1, 3, 4, std::numeric_limits<std::int32_t>::max(),
                                   std::numeric_limits<std::int32_t>::min()}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(&vector->GetAt(index), fallback);
    EXPECT_EQ(vector.constant()->GetAt(index), TypeParam{});
    EXPECT_FALSE(vector->RemoveAt(index));
  }
  EXPECT_EQ(vector.values(), Values<TypeParam>({1, 2, 3}));
  EXPECT_EQ(&vector->GetAt(2), vector->GetData() + 2);
}

TYPED_TEST(TypedVector, FallbackElementIsSharedByEveryVectorOfTheTypeOnly) {
  Vector<TypeParam> writer, reader{5};
  writer->GetAt(-1) = static_cast<TypeParam>(7);
  EXPECT_EQ(reader.constant()->GetAt(1), static_cast<TypeParam>(7));
  EXPECT_EQ(&reader->GetAt(100), &writer->GetAt(0));
  EXPECT_EQ(reader.constant()->GetAt(0), static_cast<TypeParam>(5));
  EXPECT_EQ(OtherNonZeroFallbacks<TypeParam>(AllMembers{}), 0);
  writer->GetAt(-1) = TypeParam{};  // the other tests expect zero
}

TYPED_TEST(TypedVector, RemoveAtMovesLaterElementsDownAndKeepsStorage) {
  Vector<TypeParam> vector{1, 2, 3, 4};
  TypeParam* const data = vector->GetData();
  const std::uint64_t capacity = vector->GetCapacity();
  struct Step {
    std::int32_t index;
    std::vector<int> left;
  };
  const Step steps[] = {{1, {1, 3, 4}}, {2, {1, 3}}, {0, {3}}, {0, {}}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.index);
    EXPECT_TRUE(vector->RemoveAt(step.index));
    EXPECT_EQ(vector.values(), Values<TypeParam>(step.left));
    EXPECT_EQ(vector->GetData(), data);
    EXPECT_EQ(vector->GetCapacity(), capacity);
  }
}

TYPED_TEST(TypedVector, ClearKeepsStorageForRefilling) {
  CountingHeap heap;
  Vector<TypeParam> vector;
  vector.FillTo(6);
  TypeParam* const data = vector->GetData();
  vector->Clear();
  EXPECT_EQ(vector->GetSize(), 0u);
  EXPECT_EQ(vector->GetData(), data);
  EXPECT_EQ(vector->GetCapacity(), 6u);
  const std::size_t allocations = heap.Allocations();
  vector.FillTo(6);
  EXPECT_EQ(heap.Allocations(), allocations);
  EXPECT_EQ(vector->GetData(), data);
}

// Appending an element of the vector itself must read it before growth releases the old block,
// which this heap overwrites on release.
class PoisoningHeap {
 public:
  PoisoningHeap() : previous_(kivo::detail::ReplaceHeapFunctions({&Acquire, &Release})) {}
  ~PoisoningHeap() { kivo::detail::ReplaceHeapFunctions(previous_); }
  PoisoningHeap(const PoisoningHeap&) = delete;
  PoisoningHeap& operator=(const PoisoningHeap&) = delete;

 private:
  static constexpr std::size_t kHeader = alignof(std::max_align_t);
  static void* Acquire(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &size, sizeof(size));
    return block + kHeader;
  }
  static void Release(void* payload) {
    if (payload == nullptr) return;
    unsigned char* block = static_cast<unsigned char*>(payload) - kHeader;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof(size));
    std::memset(payload, 0xA5, size);
    std::free(block);
  }
  kivo::detail::HeapFunctions previous_;
};

TYPED_TEST(TypedVector, AppendingItsOwnElementSurvivesGrowth) {
  PoisoningHeap heap;
  Vector<TypeParam> vector{11, 22, 33, 44};
  ASSERT_EQ(vector->GetSize(), vector->GetCapacity());
  vector->PushBack(vector->GetAt(1));  // const TypeParam&
  vector.FillTo(vector->GetCapacity());
  vector->PushBack(std::move(vector->GetAt(2)));  // TypeParam&&
  const std::size_t count = vector->GetSize();
  EXPECT_EQ(vector.constant()->GetAt(4), static_cast<TypeParam>(22));
  EXPECT_EQ(vector.constant()->GetAt(static_cast<std::int32_t>(count - 1)),
            static_cast<TypeParam>(33));
}

struct CopyCase {
  std::size_t target_count;  // appended to a new target first
  std::size_t source_count;
  std::uint64_t capacity;  // of the target afterwards
  bool allocates;
};

TYPED_TEST(TypedVector, CopyFromReusesStorageThatFitsAndOtherwiseGrowsByHalf) {
  const CopyCase cases[] = {
      {0, 0, 0, false},  {0, 5, 5, true},                     // no storage yet: exactly the count
      {4, 5, 6, true},                                        // max(4 + 2, 5)
      {4, 10, 10, true},                                      // max(4 + 2, 10)
      {6, 6, 6, false},  {9, 3, 9, false}, {9, 0, 9, false},  // an empty source keeps the storage
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target_count << " <- " << c.source_count);
    CountingHeap heap;
    Vector<TypeParam> target, source;
    target.FillTo(c.target_count);
    for (std::size_t i = 0; i < c.source_count; ++i) {
      source->PushBack(static_cast<TypeParam>(100 - i));
    }
    TypeParam* const old_data = target->GetData();
    const std::ptrdiff_t live = heap.Live();
    heap.ResetSizes();
    ASSERT_TRUE(target->CopyFrom(source.object));
    EXPECT_EQ(target.values(), source.values());
    EXPECT_TRUE(target->Equals(source.object));
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

TYPED_TEST(TypedVector, CopyFromItselfNullOrAnotherClassChangesNothing) {
  using Neighbour = typename Member<TypeParam>::Neighbour;
  Vector<TypeParam> vector{1, 2};
  Vector<Neighbour> neighbour{3, 4, 5};
  Vector<TypeParam> empty;
  Vector<Neighbour> empty_neighbour;
  EXPECT_TRUE(vector->CopyFrom(vector.object));
  EXPECT_FALSE(vector->CopyFrom(nullptr));
  EXPECT_FALSE(vector->CopyFrom(neighbour.object));
  EXPECT_FALSE(neighbour->CopyFrom(vector.object));
  EXPECT_FALSE(empty->Equals(empty_neighbour.object));
  EXPECT_FALSE(empty_neighbour->Equals(empty.object));
  EXPECT_EQ(vector.values(), Values<TypeParam>({1, 2}));
  EXPECT_EQ(neighbour.values(), Values<Neighbour>({3, 4, 5}));
}

struct EqualsCase {
  std::vector<int> a;
  std::vector<int> b;
  bool equal;
};

TYPED_TEST(TypedVector, EqualsComparesCountAndEveryElement) {
  const EqualsCase cases[] = {
      {{}, {}, true},          {{1, 2}, {1, 2}, true},        {{1, 2}, {1, 2, 3}, false},
      {{1, 2}, {1, 3}, false}, {{2, 1}, {1, 2}, false},       {{0}, {}, false},
      {{-1}, {-1}, true},      {{0, 0, 9}, {0, 0, 8}, false},
  };
  for (const EqualsCase& c : cases) {
    Vector<TypeParam> a(c.a), b(c.b);
    EXPECT_EQ(a->Equals(b.object), c.equal);
    EXPECT_EQ(b->Equals(a.object), c.equal);
    EXPECT_TRUE(a->Equals(a.object));
    EXPECT_FALSE(a->Equals(nullptr));
  }
  Vector<TypeParam> never_stored, emptied{1, 2};
  emptied->Clear();
  EXPECT_TRUE(never_stored->Equals(emptied.object));
  EXPECT_TRUE(emptied->Equals(never_stored.object));
}

TYPED_TEST(TypedVector, NewInstanceIsAnEmptyVectorOfTheSameMember) {
  Vector<TypeParam> vector{1, 2};
  IObject* fresh = vector->NewInstance();
  auto* typed = dynamic_cast<TypedVectorObject<TypeParam>*>(fresh);
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->GetSize(), 0u);
  EXPECT_EQ(typed->GetData(), nullptr);
  EXPECT_EQ(typed->GetInterfaceId(), vector->GetInterfaceId());
  EXPECT_EQ(vector.values(), Values<TypeParam>({1, 2}));
  IObject* second = typed->NewInstance();  // the new vector carries the same allocator
  EXPECT_NE(dynamic_cast<TypedVectorObject<TypeParam>*>(second), nullptr);
  second->Destroy();
  fresh->Destroy();
}

TYPED_TEST(TypedVector, ExhaustedMemoryInPushBackLeavesTheVectorUnchanged) {
  CountingHeap heap;
  for (const std::size_t count : {0u, 1u, 4u, 6u}) {
    SCOPED_TRACE(count);
    Vector<TypeParam> vector;
    vector.FillTo(count);
    ASSERT_EQ(vector->GetCapacity(), count);
    const std::vector<TypeParam> before = vector.values();
    TypeParam* const data = vector->GetData();
    const std::ptrdiff_t live = heap.Live();
    heap.FailAfter(0);
    try {
      vector->PushBack(static_cast<TypeParam>(9));
      ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& error) {
      EXPECT_STREQ(error.what(), "bad allocation");
    }
    heap.FailNone();
    EXPECT_EQ(vector.values(), before);
    EXPECT_EQ(vector->GetData(), data);
    EXPECT_EQ(vector->GetCapacity(), count);
    EXPECT_EQ(heap.Live(), live);
  }
}

TYPED_TEST(TypedVector, ExhaustedMemoryInCopyFromLeavesTheVectorEmptyWithoutStorage) {
  CountingHeap heap;
  Vector<TypeParam> target{1, 2}, source{1, 2, 3, 4, 5};
  const std::ptrdiff_t live = heap.Live();
  heap.FailAfter(0);
  try {
    target->CopyFrom(source.object);
    ADD_FAILURE() << "no exception";
  } catch (const std::bad_alloc& error) {
    EXPECT_STREQ(error.what(), "bad allocation");
  }
  heap.FailNone();
  EXPECT_EQ(target->GetSize(), 0u);
  EXPECT_EQ(target->GetData(), nullptr);
  EXPECT_EQ(target->GetCapacity(), 0u);
  EXPECT_EQ(heap.Live(), live - 1);  // the old block went before the new one was asked for
  EXPECT_EQ(source.values(), Values<TypeParam>({1, 2, 3, 4, 5}));
  ASSERT_TRUE(target->CopyFrom(source.object));
  EXPECT_EQ(target->GetCapacity(), 5u);
}

// Floating-point members compare by value, yet copy bits.
template <class T>
class FloatingVector : public ::testing::Test {};
using FloatingMembers = ::testing::Types<float, double>;
TYPED_TEST_SUITE(FloatingVector, FloatingMembers, MemberNames);

TYPED_TEST(FloatingVector, EqualsComparesValuesNotBits) {
  using Limits = std::numeric_limits<TypeParam>;
  Vector<TypeParam> nan_a, nan_b, plus_zero, minus_zero;
  nan_a->PushBack(Limits::quiet_NaN());
  nan_b->PushBack(Limits::quiet_NaN());
  ASSERT_EQ(std::memcmp(nan_a->GetData(), nan_b->GetData(), sizeof(TypeParam)), 0);
  EXPECT_FALSE(nan_a->Equals(nan_b.object));
  EXPECT_TRUE(nan_a->Equals(nan_a.object));
  plus_zero->PushBack(TypeParam{0});
  minus_zero->PushBack(-TypeParam{0});
  EXPECT_TRUE(plus_zero->Equals(minus_zero.object));
  EXPECT_TRUE(minus_zero->Equals(plus_zero.object));
  Vector<TypeParam> late_nan_a{1, 2}, late_nan_b{1, 2};
  late_nan_a->PushBack(Limits::quiet_NaN());
  late_nan_b->PushBack(Limits::quiet_NaN());
  EXPECT_FALSE(late_nan_a->Equals(late_nan_b.object));
}

TYPED_TEST(FloatingVector, CopyFromCopiesNaNAndNegativeZeroBitForBit) {
  using Limits = std::numeric_limits<TypeParam>;
  Vector<TypeParam> source, copy;
  source->PushBack(-TypeParam{0});
  source->PushBack(Limits::quiet_NaN());
  source->PushBack(-Limits::infinity());
  ASSERT_TRUE(copy->CopyFrom(source.object));
  ASSERT_EQ(copy->GetSize(), 3u);
  EXPECT_EQ(std::memcmp(copy->GetData(), source->GetData(), 3 * sizeof(TypeParam)), 0);
  EXPECT_TRUE(std::signbit(copy.constant()->GetAt(0)));
  EXPECT_FALSE(copy->Equals(source.object));  // the NaN equals nothing
}

TEST(ByteVectors, SignedAndUnsignedAreDifferentClassesUnderOneName) {
  Vector<signed char> signed_bytes{1, 2};
  Vector<unsigned char> unsigned_bytes{1, 2};
  const InterfaceId* a = signed_bytes->GetInterfaceId();
  const InterfaceId* b = unsigned_bytes->GetInterfaceId();
  EXPECT_NE(a, b);
  EXPECT_STREQ(a->name, b->name);
  EXPECT_EQ(a->code, b->code);
  Vector<unsigned char> source{7};
  EXPECT_FALSE(signed_bytes->CopyFrom(source.object));
  EXPECT_FALSE(signed_bytes->Equals(unsigned_bytes.object));
  EXPECT_FALSE(unsigned_bytes->Equals(signed_bytes.object));
  EXPECT_EQ(signed_bytes.values(), Values<signed char>({1, 2}));
}

// Slots of IObject and ITypedVectorObject<int>, called by position as a foreign client does.
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
  EXPECT_EQ(CallSlot<const InterfaceId*>(vector, 1)->code,          // GetInterfaceId
            kivo::containers::kInt32VectorObjectCode);

  auto* fresh = CallSlot<IObject*>(vector, 4);  // NewInstance
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(CallSlot<std::uint64_t>(fresh, 5), 0u);
  const IObject* source = static_cast<ITypedVectorObject<int>*>(vector);
  EXPECT_FALSE(CallSlot<bool>(fresh, 3, source));  // Equals
  EXPECT_TRUE(CallSlot<bool>(fresh, 2, source));   // CopyFrom
  EXPECT_TRUE(CallSlot<bool>(fresh, 3, source));

  EXPECT_TRUE(CallSlot<bool>(vector, 7, std::int32_t{0}));  // RemoveAt
  EXPECT_EQ(CallSlot<int>(vector, 9, std::int32_t{0}), 42);
  CallSlot<void>(vector, 6);  // Clear
  EXPECT_EQ(CallSlot<std::uint64_t>(vector, 5), 0u);
  EXPECT_EQ(CallSlot<int*>(vector, 12), data);

  CallSlot<void>(fresh, 0);  // Destroy
  CallSlot<void>(vector, 0);
}

int allocator_calls = 0;
ISharedInterface* CountingInt32Allocator() {
  ++allocator_calls;
  return KivoInt32VectorObjectAllocator();
}

TEST(Int32Vector, NewInstanceCallsTheAllocatorThatMadeTheVector) {
  allocator_calls = 0;
  auto* vector = new TypedVectorObject<int>(&CountingInt32Allocator);
  IObject* fresh = vector->NewInstance();
  EXPECT_EQ(allocator_calls, 1);
  EXPECT_NE(dynamic_cast<TypedVectorObject<int>*>(fresh), nullptr);
  fresh->Destroy();
  vector->Destroy();
}

int foreign_destroyed = 0;
struct NotAnObject : ISharedInterface {
  void Destroy() noexcept override { ++foreign_destroyed; }
} not_an_object;
ISharedInterface* ForeignAllocator() { return &not_an_object; }

TEST(Int32Vector, NewInstanceRejectsAnAllocatorResultThatIsNoObject) {
  foreign_destroyed = 0;
  auto* vector = new TypedVectorObject<int>(&ForeignAllocator);
  try {
    vector->NewInstance();
    ADD_FAILURE() << "no exception";
  } catch (const std::bad_cast& error) {
    EXPECT_STREQ(error.what(), "bad cast");
  }
  EXPECT_EQ(foreign_destroyed, 1);
  vector->Destroy();
}

struct GrowthCase {
  std::size_t capacity;
  std::size_t needed;
  std::size_t max;
  std::size_t grown;
};

TEST(VectorGrowth, CapacityGrowsByHalfAtLeastToTheNeedAndStopsAtTheMaximum) {
  constexpr std::size_t k8 = 0x1FFFFFFFFFFFFFFF;
  constexpr std::size_t k1 = 0x7FFFFFFFFFFFFFFF;
  const GrowthCase cases[] = {
      {0, 1, k8, 1},
      {1, 2, k8, 2},
      {4, 5, k8, 6},
      {19, 20, k8, 28},
      {0, 5, k8, 5},
      {4, 10, k8, 10},
      {0x1555555555555555, 0x1555555555555556, k8, k8},  // exactly reaches the maximum
      {0x1555555555555556, 0x1555555555555557, k8, k8},  // would pass it
      {k8 - 1, k8, k8, k8},
      {0x5555555555555556, 0x5555555555555557, k1, k1},
      {k1 - 1, k1, k1, k1},  // half as much again would not even fit in 64 bits unsigned
      {4, 5, 5, 5},
  };
  for (const GrowthCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.capacity << " for " << c.needed);
    EXPECT_EQ(kivo::detail::GrownCapacity(c.capacity, c.needed, c.max), c.grown);
  }
}

TEST(VectorGrowth, LargestCountDependsOnTheElementSize) {
  using kivo::detail::MaxVectorCount;
  EXPECT_EQ(MaxVectorCount<signed char>(), 0x7FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<unsigned short>(), 0x7FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<int>(), 0x3FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<float>(), 0x3FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<unsigned long long>(), 0x1FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<double>(), 0x1FFFFFFFFFFFFFFFu);
  EXPECT_EQ(MaxVectorCount<void*>(), 0x1FFFFFFFFFFFFFFFu);
}

// A storage whose largest count is 5 stands in for a vector at its limit.
using SmallStorage = kivo::detail::VectorStorage<int, 5>;

TEST(VectorGrowth, PushBackAtTheLargestCountThrowsVectorTooLong) {
  SmallStorage storage;
  std::vector<std::size_t> capacities;
  for (int i = 0; i < 5; ++i) {
    storage.PushBack(i);
    capacities.push_back(storage.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{1, 2, 3, 4, 5}));
  const int* data = storage.begin();
  try {
    storage.PushBack(5);
    ADD_FAILURE() << "no exception";
  } catch (const std::length_error& error) {
    EXPECT_STREQ(error.what(), "vector too long");
  }
  EXPECT_EQ(storage.size(), 5u);
  EXPECT_EQ(storage.begin(), data);
  EXPECT_EQ(std::vector<int>(storage.begin(), storage.end()), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(VectorGrowth, AssignAboveTheLargestCountThrowsVectorTooLongAndChangesNothing) {
  SmallStorage storage;
  storage.PushBack(1);
  storage.PushBack(2);
  const int* data = storage.begin();
  const int source[6] = {};
  try {
    storage.Assign(source, 6);
    ADD_FAILURE() << "no exception";
  } catch (const std::length_error& error) {
    EXPECT_STREQ(error.what(), "vector too long");
  }
  EXPECT_EQ(storage.begin(), data);
  EXPECT_EQ(std::vector<int>(storage.begin(), storage.end()), (std::vector<int>{1, 2}));
}

struct IndexCase {
  std::int32_t index;
  std::uint64_t count;
  bool valid;
};

TEST(VectorIndex, ValidBelowTheCountsLow32BitsTakenAsSigned) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const IndexCase cases[] = {
      {0, 0, false},
      {0, 1, true},
      {-1, 5, false},
      {4, 5, true},
      {5, 5, false},
      {kMax - 1, 0x7FFFFFFF, true},
      {kMax, 0x7FFFFFFF, false},
      {0, 0x80000000, false},  // the low 32 bits read as a negative count
      {0, 0x100000000, false},
      {3, 0x100000005, true},
  };
  for (const IndexCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.index << " of " << c.count);
    EXPECT_EQ(kivo::detail::IsValidIndex(c.index, c.count), c.valid);
  }
}

}  // namespace
