// The rules of the containers a reader looks up: type records, slot positions, memory routines,
// the string's and the vectors' storage, index fallbacks, limits, deletion; and every operation
// that allocates with its 1st, 2nd, 3rd ... heap request refused in turn. (The fuzzers check
// vectors and typeless values against models, and refuse the single request of a vector's append
// or copy and of a holder's Reset.)
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "internal/vector_storage.h"
#include "kivo/containers/exports.h"
#include "string_object.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/objects.h"
#include "typed_vector_object.h"

namespace {

using namespace kivo::containers;  // every interface and class of the library
using namespace kivo::testing;     // the test helpers
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
template <class T>
const InterfaceId* VectorId() {
  return InterfaceIdOf<ITypedVectorObject<T>>();
}
#define KIVO_NAME(Short) "kivo::containers::" #Short

TEST(InterfaceId, EveryRecordCarriesItsNameAndCode) {
  const struct {
    const InterfaceId* record;
    const char* name;
    std::uint32_t code;
  } cases[] = {
      {InterfaceIdOf<IStringObject>(), KIVO_NAME(IStringObject), 0x4D30261D},
      {VectorId<signed char>(), KIVO_NAME(IInt8VectorObject), 0x23376257},
      {VectorId<unsigned char>(), KIVO_NAME(IInt8VectorObject), 0x23376257},
      {VectorId<short>(), KIVO_NAME(IInt16VectorObject), 0x24135F52},
      {VectorId<unsigned short>(), KIVO_NAME(IUInt16VectorObject), 0x126B4172},
      {VectorId<int>(), KIVO_NAME(IInt32VectorObject), 0x20115F52},
      {VectorId<unsigned int>(), KIVO_NAME(IUInt32VectorObject), 0x106B4176},
      {VectorId<long long>(), KIVO_NAME(IInt64VectorObject), 0x26145F52},
      {VectorId<unsigned long long>(), KIVO_NAME(IUInt64VectorObject), 0x156B4170},
      {VectorId<float>(), KIVO_NAME(IFloatVectorObject), 0x69434450},
      {VectorId<double>(), KIVO_NAME(IDoubleVectorObject), 0x5E7D5A07},
      {VectorId<ISharedTypelessObject>(), KIVO_NAME(ITypelessVectorObject), 0x753F3001},
      {InterfaceIdOf<ISharedTypelessObject>(), KIVO_NAME(ISharedTypelessObject), 0x41330910},
      {InterfaceIdOf<IUniqueTypelessObject>(), KIVO_NAME(IUniqueTypelessObject), 0x57300117},
      {InterfaceIdOf<ICompoundObject>(), KIVO_NAME(ICompoundObject), 0x1A3E3047},
      {kivo::utility::VoidInterfaceId(), "void", 0x676B6E72},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(c.record->name, c.name);
    EXPECT_EQ(c.record->code, c.code) << c.name;
  }
  EXPECT_EQ(kivo::utility::NameCode("abc"), 0x03616361u);
  EXPECT_EQ(kivo::utility::NameCode(""), 0u);
  EXPECT_NE(VectorId<signed char>(), VectorId<unsigned char>());  // one record per type
}

// The slot that a pointer to a virtual operation names, in the Itanium C++ ABI of GCC, Clang and
// mingw-w64: its first word is one more than the operation's byte offset in the table.
template <class Operation>
std::size_t SlotOf(Operation operation) {
  std::ptrdiff_t words[2];
  static_assert(sizeof(Operation) == sizeof(words));
  std::memcpy(words, &operation, sizeof(words));
  return static_cast<std::size_t>(words[0] - 1) / sizeof(void*);
}

TEST(Slots, EveryOperationOfEveryInterfaceSitsAtItsPosition) {
  using V = ITypedVectorObject<int>;
  using L = ITypelessVectorObject;
  using U = IUniqueTypelessObject;
  using S = ISharedTypelessObject;
  using C = ICompoundObject;
  // Per interface: the slot of its first operation, then the operations in declaration order.
  // Of an overloaded pair only the first is listed: the second takes the slot after it.
  const std::vector<std::size_t> tables[] = {
      {0, SlotOf(&IObject::Destroy), SlotOf(&IObject::GetInterfaceId), SlotOf(&IObject::CopyFrom),
       SlotOf(&IObject::Equals), SlotOf(&IObject::NewInstance)},
      {5, SlotOf(&IStringObject::GetLength), SlotOf(&IStringObject::SetString),
       SlotOf(&IStringObject::GetString)},
      {5, SlotOf(&V::GetSize), SlotOf(&V::Clear), SlotOf(&V::RemoveAt),
       SlotOf<int& (V::*)(std::int32_t)>(&V::GetAt), 0,
       SlotOf<void (V::*)(const int&)>(&V::PushBack), 0, SlotOf<int* (V::*)()>(&V::GetData)},
      {5, SlotOf(&L::GetSize), SlotOf(&L::Clear), SlotOf(&L::RemoveAt),
       SlotOf<S* (L::*)(std::int32_t)>(&L::GetAt), 0, SlotOf(&L::PushBack), SlotOf(&L::GetData)},
      {5, SlotOf(&U::GetTypeId), SlotOf(&U::Clear), SlotOf(&U::GetData), SlotOf(&U::GetConstData),
       SlotOf(&U::SetObject), SlotOf(&U::SetTypeId)},
      {5, SlotOf(&S::GetTypeId), SlotOf(&S::AssignValue), SlotOf(&S::GetUnique),
       SlotOf(&S::GetConstUnique), SlotOf(&S::Reset), SlotOf(&S::Share)},
      {5, SlotOf(&C::IsEmpty), SlotOf(&C::GetCount), SlotOf(&C::GetTotalCount), SlotOf(&C::Clear),
       SlotOf(&C::Merge), SlotOf(&C::Set), SlotOf(&C::Contains), SlotOf(&C::Get),
       SlotOf(&C::GetConst), SlotOf(&C::Remove), SlotOf(&C::GetKeys)},
  };
  for (const auto& table : tables) {
    for (std::size_t i = 1; i < table.size(); ++i) {
      EXPECT_TRUE(table[i] == 0 || table[i] == table[0] + i - 1) << &table - tables << " " << i;
    }
  }
}

int handler_calls = 0;

TEST(Memory, TheNewHandlerRunsUntilTheHeapYieldsAndLimitsRaiseTheStandardTexts) {
  constexpr std::size_t kAllBits = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(ErrorText<std::bad_array_new_length>([] { kivo::detail::Allocate(kAllBits); }),
            "bad array new length");
  EXPECT_THROW(kivo::detail::Allocator<double>().allocate(kAllBits / 4), std::bad_array_new_length);
  CountingHeap heap;
  heap.FailAfter(0);
  EXPECT_EQ(ErrorText<std::bad_alloc>([] { kivo::detail::Allocate(64); }), "bad allocation");
  heap.FailAfter(0);
  const std::new_handler previous = std::set_new_handler([] {
    if (++handler_calls == 3) CountingHeap::Current()->FailNone();
  });
  kivo::detail::Deallocate(kivo::detail::Allocate(32));
  std::set_new_handler(previous);
  EXPECT_EQ(handler_calls, 3);
}

TEST(Deletion, DeleteThroughAnyInterfaceReturnsEveryBlock) {
  CountingHeap heap;
  delete static_cast<IStringObject*>(nullptr);
  std::unique_ptr<IStringObject> owned(static_cast<IStringObject*>(KivoStringObjectAllocator()));
  owned->SetString("a text long enough to need a heap block");
  std::shared_ptr<IObject>(static_cast<IObject*>(owned.release()));
  delete KivoTypelessVectorObjectAllocator();
  EXPECT_EQ(heap.Live(), 0);
}

TEST(Objects, NewInstanceMakesTheNewStateWhateverTheSourceHolds) {
  auto shared = NewText("held");
  auto trivial = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  trivial->SetTypeId(InterfaceIdOf<IStringObject>());
  static_cast<char*>(trivial->GetData())[0] = 1;
  auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  vector->PushBack(NewText("element").release());
  auto record = RecordOf({{"member", "text"}});
  const std::pair<IObject*, kivo::utility::ObjectAllocator> cases[] = {
      {shared.get(), &KivoSharedTypelessObjectAllocator},
      {shared->GetUnique(), &KivoUniqueTypelessNonTrivialObjectAllocator},
      {TextIn(shared.get()), &KivoStringObjectAllocator},
      {trivial.get(), &KivoUniqueTypelessTrivialObjectAllocator_8},
      {vector.get(), &KivoTypelessVectorObjectAllocator},
      {record.get(), &KivoCompoundObjectAllocator}};
  for (const auto& [source, make] : cases) {
    EXPECT_TRUE(Handle<IObject>(source->NewInstance())->Equals(Make<IObject>(make).get()))
        << source->GetInterfaceId()->name;
  }
}

TEST(TrivialTypelessObject, ANullTypeIsATypeOfItsOwn) {
  auto a = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_4);
  auto b = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_4);
  a->SetTypeId(nullptr);
  EXPECT_FALSE(a->Equals(b.get()) || b->Equals(a.get()));  // null against "void"
  b->SetTypeId(nullptr);
  EXPECT_TRUE(a->Equals(b.get()));
}

// Another implementation of the holder interface is read through its slot, not its layout.
TEST(SharedTypelessObject, AssignValueReadsAnotherImplementationThroughItsSlot) {
  CountingLog log;
  Handle<CountingHandle> foreign(CountingHandle::New(log, 0));
  auto target = NewText("old"), value = NewText("new");
  EXPECT_FALSE(target->AssignValue(foreign.get()));  // it holds nothing
  foreign->unique = value->GetUnique();
  EXPECT_TRUE(target->AssignValue(foreign.get()));
  EXPECT_STREQ(TextIn(target.get())->GetString(), "new");
}

// An owned string object, seen as the class for its capacity.
struct Text {
  Handle<StringObject> object{static_cast<StringObject*>(KivoStringObjectAllocator())};
  explicit Text(const std::string& value) { object->SetString(value.c_str()); }
  StringObject* operator->() const { return object.get(); }
  std::string value() const { return {object->GetString(), object->GetLength()}; }
};

TEST(StringObject, SetStringTakesAFreshBlockOfLengthOr15BeyondTheInlineLimit) {
  const struct {
    std::size_t before, length, capacity, request;  // request: 0 when held inline
  } cases[] = {{0, 0, 15, 0},      {0, 15, 15, 0},   {0, 16, 31, 32}, {0, 32, 47, 48},
               {0, 100, 111, 112}, {40, 20, 31, 32}, {40, 5, 15, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << " then " << c.length);
    CountingHeap heap;
    Text text(std::string(c.before, 'a'));
    heap.ResetSizes();
    text->SetString(std::string(c.length, 'b').c_str());
    EXPECT_EQ(text.value(), std::string(c.length, 'b'));
    EXPECT_EQ(text->GetCapacity(), c.capacity);
    EXPECT_EQ(heap.Sizes(), c.request == 0 ? std::vector<std::size_t>{} : std::vector{c.request});
    EXPECT_EQ(heap.Live(), c.request == 0 ? 1 : 2);  // the object, and its block if it has one
  }
}

TEST(StringObject, SetStringReadsUpToTheFirstNulAndMayReadItsOwnText) {
  for (const std::string value : {"short", "a text long enough for a heap block"}) {
    Text text(value);
    text->SetString(text->GetString());
    EXPECT_EQ(text.value(), value);
    text->SetString(text->GetString() + 1);
    EXPECT_EQ(text.value(), value.substr(1));
  }
  Text text("ab");
  text->SetString("cd\0ef");
  EXPECT_EQ(text.value(), "cd");
  text->SetString(nullptr);
  EXPECT_EQ(text.value(), "");
}

TEST(StringObject, CopyFromReusesStorageThatFitsAndOtherwiseGrowsByHalf) {
  const struct {
    std::size_t target, source, capacity;
    bool allocates;
  } cases[] = {
      {0, 15, 15, false},  {0, 16, 31, true},   // max(16 | 15, 15 + 7)
      {40, 10, 47, false},                      // a heap block never moves back inline
      {40, 47, 47, false}, {40, 48, 70, true},  // max(48 | 15, 47 + 23)
      {40, 90, 95, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.target << " <- " << c.source);
    CountingHeap heap;
    Text target(std::string(c.target, 't')), source(std::string(c.source, 's'));
    const std::size_t before = heap.Allocations();
    const char* old_storage = target->GetString();
    ASSERT_TRUE(target->CopyFrom(source.object.get()));
    EXPECT_EQ(target.value(), source.value());
    EXPECT_EQ(target->GetCapacity(), c.capacity);
    EXPECT_EQ(heap.Allocations() - before, c.allocates ? 1u : 0u);
    EXPECT_EQ(target->GetString() == old_storage, !c.allocates);
  }
  Text text("kept");
  Handle<IObject> vector(static_cast<IObject*>(KivoInt8VectorObjectAllocator()));
  EXPECT_TRUE(text->CopyFrom(text.object.get()));
  EXPECT_FALSE(text->CopyFrom(nullptr) || text->CopyFrom(vector.get()) || text->Equals(nullptr));
  EXPECT_EQ(text.value(), "kept");
  EXPECT_FALSE(Text("ab")->Equals(Text("abc").object.get()));  // a text and its prefix differ
}

template <class T>
struct Vector {
  Handle<TypedVectorObject<T>> object{new TypedVectorObject<T>(nullptr)};
  explicit Vector(std::size_t count = 0) { Fill(count); }
  void Fill(std::size_t count) {
    while (object->GetSize() < count) object->PushBack(T(object->GetSize() + 1));
  }
  TypedVectorObject<T>* operator->() const { return object.get(); }
  const ITypedVectorObject<T>& constant() const { return *object; }
};

// How many element types read a non-zero fallback element.
int NonZeroFallbacks() {
  int count = 0;
#define KIVO_TEST_READ(Type, Word, NameWord) count += Vector<Type>().constant().GetAt(-1) != 0;
  KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_TEST_READ)
#undef KIVO_TEST_READ
  return count;
}

template <class T>
class TypedVector : public ::testing::Test {};
#define KIVO_TEST_ELEMENT(Type, Word, NameWord) , Type
template <class... All>
struct List {};
template <class Placeholder, class... Members>
::testing::Types<Members...> GtestTypes(List<Placeholder, Members...>);
using Members = decltype(GtestTypes(List<void KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_TEST_ELEMENT)>{}));
struct Numbered {  // gtest prints the type beside the number
  template <class T>
  static std::string GetName(int index) {
    return std::to_string(index);
  }
};
TYPED_TEST_SUITE(TypedVector, Members, Numbered);
#undef KIVO_TEST_ELEMENT

TYPED_TEST(TypedVector, AppendsGrowCapacityByHalfStartingFromOne) {
  CountingHeap heap;
  Vector<TypeParam> vector;
  heap.ResetSizes();
  vector.Fill(28);
  std::vector<std::size_t> requests;
  for (std::size_t capacity : {1, 2, 3, 4, 6, 9, 13, 19, 28}) {
    requests.push_back(capacity * sizeof(TypeParam));
  }
  EXPECT_EQ(heap.Sizes(), requests);
}

TYPED_TEST(TypedVector, InvalidIndicesReachTheFallbackOfTheElementTypeAndRemoveNothing) {
  Vector<TypeParam> vector(3), other(1);
  TypeParam* const fallback = &vector->GetAt(-1);
  for (const std::int32_t index : {-1, 3, std::numeric_limits<std::int32_t>::max(),
                                   std::numeric_limits<std::int32_t>::min()}) {
    EXPECT_EQ(&vector->GetAt(index), fallback) << index;
    EXPECT_EQ(vector.constant().GetAt(index), TypeParam{}) << index;
    EXPECT_FALSE(vector->RemoveAt(index)) << index;
  }
  EXPECT_EQ(vector->GetSize(), 3u);
  *fallback = TypeParam(7);  // shows in every vector of this element type, and only there
  EXPECT_EQ(other.constant().GetAt(1), TypeParam(7));
  EXPECT_EQ(NonZeroFallbacks(), 1);
  *fallback = TypeParam{};
}

TYPED_TEST(TypedVector, CopyFromReusesStorageThatFitsAndOtherwiseReleasesItThenGrowsByHalf) {
  const struct {
    std::size_t target, source, capacity;
  } cases[] = {{0, 0, 0}, {0, 5, 5}, {4, 5, 6}, {4, 10, 10}, {6, 6, 6}, {9, 0, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target << " <- " << c.source);
    CountingHeap heap;
    Vector<TypeParam> target(c.target), source(c.source);
    const bool allocates = c.source > c.target;
    TypeParam* const old_data = target->GetData();
    heap.ResetSizes();
    ASSERT_TRUE(target->CopyFrom(source.object.get()));
    EXPECT_TRUE(target->Equals(source.object.get()));
    EXPECT_EQ(target->GetCapacity(), c.capacity);
    EXPECT_EQ(heap.Sizes().size(), allocates ? 1u : 0u);
    EXPECT_TRUE(allocates || target->GetData() == old_data);
    EXPECT_EQ(heap.Live(), 2 + (c.capacity > 0 ? 1 : 0) + (c.source > 0 ? 1 : 0));
  }
}

TYPED_TEST(TypedVector, FloatingPointMembersCompareValuesNotBits) {
  if constexpr (std::is_floating_point_v<TypeParam>) {
    Vector<TypeParam> negative_zero, zero, nan, same_nan;
    negative_zero->PushBack(TypeParam(-0.0));
    zero->PushBack(TypeParam(0.0));
    nan->PushBack(std::numeric_limits<TypeParam>::quiet_NaN());
    same_nan->PushBack(std::numeric_limits<TypeParam>::quiet_NaN());
    EXPECT_TRUE(negative_zero->Equals(zero.object.get()));
    EXPECT_FALSE(nan->Equals(same_nan.object.get()));
  }
}

TEST(NonTrivialTypelessObject, AFailedPayloadCopyAnswersFalseAndKeepsThePayload) {
  CountingLog log;
  auto source = Wrap(CountingObject::New(log, 1), InterfaceIdOf<IStringObject>());
  auto target = Wrap(CountingObject::New(log, 2), InterfaceIdOf<IStringObject>());
  const void* const kept = target->GetUnique()->GetData();
  log.refuse_copies = true;
  EXPECT_FALSE(target->GetUnique()->CopyFrom(source.get()));
  EXPECT_EQ(target->GetUnique()->GetData(), kept);
  EXPECT_EQ(log.Alive(), 2);
}

TEST(VectorLimits, GrowthStopsAtTheLargestCountAndIndicesUseTheCountsLow32Bits) {
  constexpr std::size_t k8 = 0x1FFFFFFFFFFFFFFF, k1 = 0x7FFFFFFFFFFFFFFF;
  const struct {
    std::size_t capacity, needed, max, grown;
  } cases[] = {
      {4, 5, 5, 5},
      {0x1555555555555555, 0x1555555555555556, k8, k8},  // exactly reaches the largest count
      {0x1555555555555556, 0x1555555555555557, k8, k8},  // would pass it
      {k1 - 1, k1, k1, k1},                              // half as much again passes 64 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kivo::detail::GrownCapacity(c.capacity, c.needed, c.max), c.grown) << c.capacity;
  }
  EXPECT_EQ(kivo::detail::MaxVectorCount<unsigned short>(), k1);
  EXPECT_EQ(kivo::detail::MaxVectorCount<float>(), 0x3FFFFFFFFFFFFFFFu);
  EXPECT_EQ(kivo::detail::MaxVectorCount<double>(), k8);
  const struct {
    std::int32_t index;
    std::uint64_t count;
    bool valid;
  } indices[] = {{4, 5, true},
                 {5, 5, false},
                 {0x7FFFFFFE, 0x7FFFFFFF, true},
                 {0, 0x80000000, false},
                 {3, 0x100000005, true}};
  for (const auto& c : indices) {
    EXPECT_EQ(kivo::detail::IsValidIndex(c.index, c.count), c.valid) << c.index << " " << c.count;
  }
}

TEST(VectorLimits, GrowingPastTheLargestCountThrowsVectorTooLongAndChangesNothing) {
  kivo::detail::VectorStorage<int, 5> storage;  // stands in for a vector at its limit
  for (int i = 0; i < 5; ++i) storage.PushBack(i);
  const int* const data = storage.begin();
  const int source[6] = {};
  const std::function<void()> growths[] = {[&] { storage.PushBack(5); },
                                           [&] { storage.Assign(source, 6); }};
  for (const auto& grow : growths) {
    EXPECT_EQ(ErrorText<std::length_error>(grow), "vector too long");
    EXPECT_EQ(std::vector<int>(storage.begin(), storage.end()), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(storage.begin(), data);
  }
  // The class decides, not the record: the two 8-bit members report one name.
  EXPECT_FALSE(Vector<signed char>(1)->CopyFrom(Vector<unsigned char>(1).object.get()));
}

// ---- exhausted memory ---------------------------------------------------------------------

using Object = Handle<IObject>;
using Maker = std::function<Object()>;

struct Scene {
  Object target, operand, result;
  template <class I>
  I& Target() const {
    return dynamic_cast<I&>(*target);
  }
  ISharedTypelessObject* Value() const {
    return dynamic_cast<ISharedTypelessObject*>(operand.get());
  }
};

// What a refused request leaves. After success the target, or the result, equals `expected`.
enum Promise {
  kUnchanged,  // the target as it was
  kResult,     // no result, and the target as it was
  kPartial,    // what was done before the failure stays
};

struct Case {
  std::string name;
  std::function<void(Scene&)> act;
  Maker target, operand;  // made afresh for each try; either may be null
  Promise promise;
  Maker expected;  // null: success is not compared
};

const char kLong[] = "a text long enough to need a heap block of its own";

Object String(const char* value) {
  auto text = Make<IStringObject>(&KivoStringObjectAllocator);
  text->SetString(value);
  return text;
}

// A unique object that owns payload, labelled type.
Object Unique(Object payload, const InterfaceId* type = InterfaceIdOf<IStringObject>()) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(payload.release());
  unique->SetTypeId(type);
  return unique;
}

// A long text, a nested record with a key past the inline limit, records three levels deep; then
// the texts of changes set over them.
Object Record(const std::vector<std::pair<const char*, const char*>>& changes = {}) {
  std::vector<std::pair<const char*, const char*>> members = {
      {"alpha", kLong},
      {"beta/gamma", "7"},
      {"beta/a key longer than the inline limit", "8"},
      {"beta/epsilon/zeta/eta", kLong}};
  members.insert(members.end(), changes.begin(), changes.end());
  return RecordOf(members);
}

// A record whose entry "beta/gamma" holds no object: the copy of its payload answered false.
Object RecordWithAnEmptyEntry() {
  static CountingLog log;
  auto source = NewRecord(), record = NewRecord();
  source->Set("beta/gamma", Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>()).get(),
              true);
  log.refuse_copies = true;
  record->CopyFrom(source.get());
  log.refuse_copies = false;
  return record;
}

const char kDeep[] = "first level key/beyond the inline limit/leaf";
// Thirty nested records: deeper than the walks keep on the machine stack.
const std::string kThirtyLevels = [] {
  std::string path;
  for (int i = 0; i < 30; ++i) path += "level/";
  return path + "leaf";
}();

std::vector<Case> Cases() {
  using Typeless = ITypelessVectorObject;
  using Compound = ICompoundObject;
  const auto copy = [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.operand.get())); };
  const Maker old_text = [] { return NewText("old"); }, long_text = [] { return NewText(kLong); };
  const Maker seven = [] { return NewText("7"); }, record = [] { return Record(); };
  const Maker old_unique = [] { return Unique(String("old")); };
  const Maker long_unique = [] { return Unique(String(kLong)); };
  const Maker record_unique = [] { return Unique(Record(), InterfaceIdOf<Compound>()); };
  const Maker replaced = [] { return Record({{"beta/gamma", kLong}}); };
  const Maker deep = [] { return RecordOf({{kDeep, kLong}}); };
  const Maker merged = [] { return RecordOf({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker merged_into = [] { return Record({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker two = [] {
    auto vector = Make<Typeless>(&KivoTypelessVectorObjectAllocator);
    vector->PushBack(NewText("7").release());
    vector->PushBack(NewText(kLong).release());
    return vector;
  };
  const Maker empty_record = [] { return NewRecord(); };
  const Maker thirty = [] { return RecordOf({{kThirtyLevels.c_str(), "x"}}); };
  std::vector<Case> cases = {
      {"TypelessVector GetAt", [](Scene& s) { s.result.reset(s.Target<Typeless>().GetAt(0)); }, two,
       nullptr, kResult, seven},
      {"TypelessVector CopyFrom", copy,
       [] { return Make<Typeless>(&KivoTypelessVectorObjectAllocator); }, two, kPartial, two},
      {"StringObject SetString", [](Scene& s) { s.Target<IStringObject>().SetString(kLong); },
       [] { return String("old"); }, nullptr, kUnchanged, [] { return String(kLong); }},
      {"StringObject CopyFrom", copy, [] { return String("old"); }, [] { return String(kLong); },
       kUnchanged, [] { return String(kLong); }},
      {"UniqueNonTrivial CopyFrom shared", copy, old_unique, long_text, kUnchanged, long_unique},
      {"UniqueNonTrivial CopyFrom record", copy, old_unique, record_unique, kUnchanged,
       record_unique},
      {"SharedTypeless CopyFrom", copy, old_text, long_text, kUnchanged, long_text},
      {"SharedTypeless CopyFrom unique", copy, old_text, long_unique, kUnchanged, long_text},
      {"SharedTypeless Share",
       [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); }, old_text,
       nullptr, kResult, old_text},
      {"SharedTypeless AssignValue",
       [](Scene& s) { EXPECT_TRUE(s.Target<ISharedTypelessObject>().AssignValue(s.Value())); },
       old_text, long_text, kUnchanged, long_text},
      {"CompoundObject Set",
       [](Scene& s) { s.Target<Compound>().Set("beta/gamma", s.Value(), true); }, record, long_text,
       kUnchanged, replaced},
      {"CompoundObject Set nested",
       [](Scene& s) { s.Target<Compound>().Set(kDeep, s.Value(), false); }, empty_record, long_text,
       kPartial, deep},
      {"CompoundObject GetTotalCount",
       [](Scene& s) { EXPECT_EQ(s.Target<Compound>().GetTotalCount(), 31u); }, thirty, nullptr,
       kUnchanged, nullptr},
      {"CompoundObject Equals", [](Scene& s) { EXPECT_TRUE(s.target->Equals(s.operand.get())); },
       thirty, thirty, kUnchanged, nullptr},
      {"CompoundObject CopyFrom", copy, merged, record, kPartial, record},
      {"CompoundObject Merge",
       [](Scene& s) { s.Target<Compound>().Merge(&dynamic_cast<Compound&>(*s.operand), false); },
       merged, record, kPartial, merged_into},
      {"CompoundObject Get",
       [](Scene& s) { s.result.reset(s.Target<Compound>().Get("beta/gamma", nullptr)); }, record,
       nullptr, kResult, seven},
      {"CompoundObject GetConst of an entry without an object",
       [](Scene& s) {
         s.result.reset(std::as_const(s.Target<Compound>()).GetConst("beta/gamma", nullptr));
       },
       RecordWithAnEmptyEntry, nullptr, kResult, nullptr},
  };
  for (const auto& [name, allocator] : kEveryExport) {
    const Maker make = [function = allocator] { return Make<IObject>(function); };
    cases.push_back(
        {name, [make](Scene& s) { s.result = make(); }, nullptr, nullptr, kResult, make});
    cases.push_back({std::string(name) + " NewInstance",
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); }, make, nullptr,
                     kResult, make});
  }
  return cases;
}

TEST(AllocationFailure, EveryRequestOfEveryOperationFailsCleanly) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    CountingHeap heap;
    const std::size_t failures = SweepAllocationFailures(
        heap,
        [&] {
          auto scene = std::make_unique<Scene>();
          if (c.target) scene->target = c.target();
          if (c.operand) scene->operand = c.operand();
          return scene;
        },
        [&](std::unique_ptr<Scene>& scene) { c.act(*scene); },
        [&](std::unique_ptr<Scene>& scene, const char* what) {
          const bool failed = what != nullptr;
          const Scene& s = *scene;
          EXPECT_STREQ(failed ? what : "bad allocation", "bad allocation");
          Object before = c.target ? c.target() : nullptr;
          Object expected = c.expected ? c.expected() : nullptr;
          const Object& after = c.promise == kResult ? s.result : s.target;
          EXPECT_TRUE(failed || !expected || after->Equals(expected.get()));
          EXPECT_TRUE(c.promise != kResult || (s.result == nullptr) == failed);
          EXPECT_TRUE(!failed || c.promise == kPartial || !before ||
                      s.target->Equals(before.get()));
          scene.reset(), before.reset(), expected.reset();
          EXPECT_EQ(heap.Live(), 0) << (failed ? "after a refused request" : "after success");
        });
    EXPECT_GT(failures, 0u) << "no request to refuse";
  }
}

}  // namespace
