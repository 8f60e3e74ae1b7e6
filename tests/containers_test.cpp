// The rules of the containers a reader looks up: type records, slot positions, memory routines,
// the string's and the vectors' storage, index fallbacks and limits; and every export, the
// string, the holders and the record with their 1st, 2nd, 3rd ... heap request refused in turn.
// (The fuzzers check vectors and typeless values against models, and refuse requests in a
// vector's append or copy, a holder's Reset and a record's Set, CopyFrom and Merge.)
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "compound_object.h"
#include "internal/vector_storage.h"
#include "kivo/containers/exports.h"
#include "kivo/sdk/library.h"
#include "string_object.h"
#include "support/counting_heap.h"
#include "support/objects.h"
#include "typed_vector_object.h"

namespace {

using namespace kivo::containers;  // every interface and class of the library
using namespace kivo::testing;     // the test helpers
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
template <class T>
using V = ITypedVectorObject<T>;
// The names of the records of interfaces I, without the namespace, each followed by a space.
template <class... I>
std::string ShortNames() {
  return ((std::string(InterfaceIdOf<I>()->name).substr(18) + " ") + ...);
}

// The name of every record; its code is NameCode(name), which the client test checks for every
// record an export reaches.
TEST(InterfaceId, EveryRecordCarriesItsName) {
  EXPECT_EQ((ShortNames<IStringObject, V<signed char>, V<unsigned char>, V<short>,
                        V<unsigned short>, V<int>, V<unsigned int>, V<long long>,
                        V<unsigned long long>, V<float>, V<double>, V<ISharedTypelessObject>,
                        ISharedTypelessObject, IUniqueTypelessObject, ICompoundObject>()),
            "IStringObject IInt8VectorObject IInt8VectorObject IInt16VectorObject "
            "IUInt16VectorObject IInt32VectorObject IUInt32VectorObject IInt64VectorObject "
            "IUInt64VectorObject IFloatVectorObject IDoubleVectorObject ITypelessVectorObject "
            "ISharedTypelessObject IUniqueTypelessObject ICompoundObject ");
  EXPECT_STREQ(InterfaceIdOf<ICompoundObject>()->name, "kivo::containers::ICompoundObject");
  EXPECT_STREQ(kivo::utility::VoidInterfaceId()->name, "void");
  EXPECT_EQ(kivo::utility::NameCode("abc"), 0x03616361u);
  EXPECT_EQ(InterfaceIdOf<ICompoundObject>()->code, 0x1A3E3047u);
  EXPECT_NE(InterfaceIdOf<V<signed char>>(), InterfaceIdOf<V<unsigned char>>());  // one per type
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
      {5, SlotOf(&V<int>::GetSize), SlotOf(&V<int>::Clear), SlotOf(&V<int>::RemoveAt),
       SlotOf<int& (V<int>::*)(std::int32_t)>(&V<int>::GetAt), 0,
       SlotOf<void (V<int>::*)(const int&)>(&V<int>::PushBack), 0,
       SlotOf<int* (V<int>::*)()>(&V<int>::GetData)},
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
  for (const auto& table : tables)
    for (std::size_t i = 1; i < table.size(); ++i)
      EXPECT_TRUE(table[i] == 0 || table[i] == table[0] + i - 1) << &table - tables << " " << i;
}

int handler_calls = 0;

TEST(Memory, TheNewHandlerRunsUntilTheHeapYieldsLimitsRaiseTheStandardTextsAndDeleteFrees) {
  constexpr std::size_t kAllBits = std::numeric_limits<std::size_t>::max();
  EXPECT_EQ(ErrorText<std::bad_array_new_length>([] { kivo::detail::Allocate(kAllBits); }),
            "bad array new length");
  EXPECT_THROW(kivo::detail::Allocator<double>().allocate(kAllBits / 4), std::bad_array_new_length);
  CountingHeap heap;
  heap.FailAfter(0);
  EXPECT_EQ(ErrorText<std::bad_alloc>([] { kivo::detail::Allocate(64); }), "bad allocation");
  const std::new_handler previous = std::set_new_handler([] {
    if (++handler_calls == 3) CountingHeap::Current()->FailNone();
  });
  kivo::detail::Deallocate(kivo::detail::Allocate(32));
  std::set_new_handler(previous);
  EXPECT_EQ(handler_calls, 3);
  // delete through an interface ends the object as Destroy does: the heap gets every block back.
  delete static_cast<IStringObject*>(nullptr);
  std::shared_ptr<IObject>(NewText("a text long enough to need a heap block").release());
  delete KivoTypelessVectorObjectAllocator();
  EXPECT_EQ(heap.Live(), 0);
}

// NewInstance makes the empty state whatever the source holds; a null type is a type of its own;
// a failed payload copy keeps the old payload; another holder is read through its slot; a holder
// without a payload cannot be compared with one that has one.
TEST(TypelessObjects, KeepTheirRulesWhateverTheyHold) {
  auto shared = NewText("held");
  auto trivial = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  auto other = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  static_cast<char*>(trivial->GetData())[0] = 1;
  auto record = RecordOf({{"k", "v"}});
  auto numbers = Make<ITypedVectorObject<double>>(&KivoDoubleVectorObjectAllocator);
  numbers->PushBack(1.5);
  const std::pair<IObject*, kivo::utility::ObjectAllocator> cases[] = {
      {record.get(), &KivoCompoundObjectAllocator},
      {numbers.get(), &KivoDoubleVectorObjectAllocator},
      {shared.get(), &KivoSharedTypelessObjectAllocator},
      {shared->GetUnique(), &KivoUniqueTypelessNonTrivialObjectAllocator},
      {TextIn(shared.get()), &KivoStringObjectAllocator},
      {trivial.get(), &KivoUniqueTypelessTrivialObjectAllocator_8}};
  for (const auto& [source, make] : cases)
    EXPECT_TRUE(Handle<IObject>(source->NewInstance())->Equals(Make<IObject>(make).get()))
        << source->GetInterfaceId()->name;
  static_cast<char*>(trivial->GetData())[0] = 0;
  trivial->SetTypeId(nullptr);
  EXPECT_FALSE(trivial->Equals(other.get()) || other->Equals(trivial.get()));  // null, "void"
  other->SetTypeId(nullptr);
  EXPECT_TRUE(trivial->Equals(other.get()));

  CountingLog log;
  auto source = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
  auto target = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
  const void* const kept = target->GetUnique()->GetData();
  log.refuse_copies = true;
  EXPECT_FALSE(target->GetUnique()->CopyFrom(source.get()));
  EXPECT_EQ(target->GetUnique()->GetData(), kept);
  Handle<CountingHandle> foreign(new CountingHandle(log));
  EXPECT_FALSE(shared->AssignValue(foreign.get()));  // it holds nothing
  auto value = NewText("new");
  foreign->unique = value->GetUnique();
  EXPECT_TRUE(shared->AssignValue(foreign.get()));
  EXPECT_STREQ(TextIn(shared.get())->GetString(), "new");
  const auto bare = Wrap(nullptr, InterfaceIdOf<IStringObject>());  // labelled, without payload
  EXPECT_THROW(shared->GetUnique()->Equals(bare->GetUnique()), std::runtime_error);
}

// An owned string object, seen as the class for its capacity.
struct Text {
  Handle<StringObject> object{static_cast<StringObject*>(KivoStringObjectAllocator())};
  explicit Text(std::size_t n, char c = 't') { object->SetString(std::string(n, c).c_str()); }
  StringObject* operator->() const { return object.get(); }
  std::string value() const { return {object->GetString(), object->GetLength()}; }
};

// SetString takes a fresh block of length | 15 beyond the inline limit of 15; CopyFrom reuses
// storage the text fits and otherwise grows to max(length | 15, capacity * 1.5).
TEST(StringObject, SetStringTakesAFreshBlockAndCopyFromGrowsByHalf) {
  const struct {
    std::size_t before, length, set, copied;  // the capacities after SetString and CopyFrom
  } cases[] = {{0, 15, 15, 15},  {0, 16, 31, 31},  {0, 100, 111, 111}, {40, 5, 15, 47},
               {40, 20, 31, 47}, {40, 47, 47, 47}, {40, 48, 63, 70},   {40, 90, 95, 95}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << " then " << c.length);
    CountingHeap heap;
    Text set(c.before), copied(c.before), source(c.length, 's');
    const std::size_t capacity = copied->GetCapacity();
    heap.sizes.clear();
    set->SetString(source->GetString());
    ASSERT_TRUE(copied->CopyFrom(source.object.get()));
    EXPECT_EQ(set.value() + copied.value(), source.value() + source.value());
    EXPECT_EQ(set->GetCapacity(), c.set);
    EXPECT_EQ(copied->GetCapacity(), c.copied);
    std::vector<std::size_t> requests;
    if (c.length > 15) requests.push_back(c.set + 1);
    if (c.copied != capacity) requests.push_back(c.copied + 1);
    EXPECT_EQ(heap.sizes, requests);
  }
}

TEST(StringObject, ReadsUpToTheFirstNulMayReadItsOwnTextAndRefusesOtherClasses) {
  Text text(40), other(0);
  text->SetString(text->GetString() + 1);  // its own block, read before it is let go
  EXPECT_EQ(text.value(), std::string(39, 't'));
  other->SetString("cd\0ef");
  EXPECT_EQ(other.value(), "cd");
  text->SetString("cde");  // "cd" is a prefix
  EXPECT_FALSE(text->Equals(other.object.get()) || other->Equals(text.object.get()));
  const Handle<IObject> vector = Make<IObject>(&KivoInt8VectorObjectAllocator);
  EXPECT_FALSE(text->CopyFrom(nullptr) || text->CopyFrom(vector.get()) || text->Equals(nullptr));
  text->SetString(nullptr);
  EXPECT_EQ(text.value(), "");
}

template <class T>
struct Vector {
  Handle<TypedVectorObject<T>> object{new TypedVectorObject<T>(nullptr)};
  explicit Vector(std::size_t count = 0) {
    while (object->GetSize() < count) object->PushBack(T(object->GetSize() + 1));
  }
  TypedVectorObject<T>* operator->() const { return object.get(); }
};

template <class T>
class TypedVector : public ::testing::Test {};
template <class... T>  // the numeric element types, from the one list the client layer keeps
::testing::Types<T...> AsTypes(kivo::sdk::detail::TypeList<T...>);
TYPED_TEST_SUITE(TypedVector, decltype(AsTypes(kivo::sdk::detail::NumberVectorElements{})), );

// Appends grow the capacity by half starting from 1 (1, 2, 3, 4, 6, 9, 13, 19, 28); CopyFrom
// reuses storage that fits and otherwise takes max(count, capacity * 1.5). Past either end an
// index reaches the one fallback element of the type, which reads as zero and removes nothing.
TYPED_TEST(TypedVector, AppendsAndCopiesGrowByHalfAndInvalidIndicesReachTheFallback) {
  const struct {
    std::size_t target, appended, source, copied;  // counts and the capacities they leave
  } cases[] = {{0, 0, 0, 0}, {0, 0, 5, 5}, {4, 4, 5, 6},     {5, 6, 10, 10},
               {6, 6, 6, 6}, {9, 9, 0, 9}, {28, 28, 29, 42}, {20, 28, 12, 28}};
  const TypeParam* const fallback = &Vector<TypeParam>()->GetAt(0);  // any empty vector's
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.target << " <- " << c.source);
    CountingHeap heap;
    Vector<TypeParam> target(c.target), source(c.source);
    EXPECT_EQ(target->GetCapacity(), c.appended);
    heap.sizes.clear();
    ASSERT_TRUE(target->CopyFrom(source.object.get()));
    EXPECT_TRUE(target->Equals(source.object.get()));
    EXPECT_EQ(target->GetCapacity(), c.copied);
    EXPECT_EQ(heap.sizes, c.copied == c.appended ? std::vector<std::size_t>{}
                                                 : std::vector{c.copied * sizeof(TypeParam)});
    const ITypedVectorObject<TypeParam>& constant = *target.object;
    for (const std::int32_t index : {-1, std::int32_t(c.source), INT32_MAX, INT32_MIN})
      EXPECT_TRUE(&target->GetAt(index) == fallback && constant.GetAt(index) == TypeParam{} &&
                  !target->RemoveAt(index))
          << index;
    EXPECT_EQ(target->GetSize(), c.source);
  }
}

// Growth stops at the largest count, and growing past it throws the standard text and changes
// nothing, as a full record's map does; indices use the count's low 32 bits.
TEST(Limits, GrowthStopsAtTheLargestCountAndPassingItThrowsTheStandardTexts) {
  constexpr std::size_t k8 = 0x1FFFFFFFFFFFFFFF, k1 = 0x7FFFFFFFFFFFFFFF;
  // Capacity, count needed, largest count, grown capacity: held to the largest count, exactly
  // reaching it, growth that would pass it, and half as much again passing 64 bits.
  const std::size_t growths[][4] = {{4, 5, 5, 5},
                                    {0x1555555555555555, 0x1555555555555556, k8, k8},
                                    {0x1555555555555556, 0x1555555555555557, k8, k8},
                                    {k1 - 1, k1, k1, k1}};
  for (const auto& c : growths)
    EXPECT_EQ(kivo::detail::GrownCapacity(c[0], c[1], c[2]), c[3]) << c[0];
  EXPECT_EQ(kivo::detail::MaxVectorCount<unsigned short>(), k1);
  EXPECT_EQ(kivo::detail::MaxVectorCount<double>(), k8);
  // Index, count and whether the index is valid.
  const std::tuple<std::int32_t, std::uint64_t, bool> indices[] = {{4, 5, true},
                                                                   {5, 5, false},
                                                                   {0x7FFFFFFE, 0x7FFFFFFF, true},
                                                                   {0, 0x80000000, false},
                                                                   {3, 0x100000005, true}};
  for (const auto& [index, count, valid] : indices)
    EXPECT_EQ(kivo::detail::IsValidIndex(index, count), valid) << index << " " << count;
  // The class decides, not the record: the two 8-bit members report one name.
  EXPECT_FALSE(Vector<signed char>(1)->CopyFrom(Vector<unsigned char>(1).object.get()));
  kivo::detail::VectorStorage<int, 5> storage;  // stands in for a vector at its limit
  for (int i = 0; i < 5; ++i) storage.PushBack(i);
  const int* const data = storage.begin();
  const int source[6] = {};
  const std::pair<std::function<void()>, const char*> growths_past[] = {
      {[&] { storage.PushBack(5); }, "vector too long"},
      {[&] { storage.Assign(source, 6); }, "vector too long"},
      {[] { kivo::detail::EnsureRoomForOneMore(std::array<int, 2>{}); }, "map/set too long"}};
  for (const auto& [grow, text] : growths_past) {
    EXPECT_EQ(ErrorText<std::length_error>(grow), text);
    EXPECT_EQ(std::vector<int>(storage.begin(), storage.end()), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(storage.begin(), data);
  }
}

// ---- exhausted memory ---------------------------------------------------------------------

using Object = Handle<IObject>;
using Maker = std::function<Object()>;

struct Scene {
  Object target, operand, result;
};
template <class I>
I* As(const Object& object) {
  return dynamic_cast<I*>(object.get());
}
IStringObject* TextOf(const Object& object) { return TextIn(As<ISharedTypelessObject>(object)); }

// What a refused request leaves: the target as it was (kUnchanged), no result and the target as
// it was (kResult), or what was done before the failure (kPartial). After success the target, or
// the result, equals `expected`.
enum Promise { kUnchanged, kResult, kPartial };

struct Case {
  std::string name;
  std::function<void(Scene&)> act;
  Maker target, operand, expected;  // made afresh for each try; any may be null
  Promise promise;
};

const char kLong[] = "a text long enough to need a heap block of its own";

// A long text, a key past the inline limit, records thirty levels deep (deeper than the walks
// keep on the machine stack); then changes set over them.
Object Record(std::vector<std::pair<const char*, const char*>> changes = {}) {
  const std::string deep = "level/" + Chain(29, "leaf");  // walked after the shallow members
  changes.insert(changes.begin(), {{"alpha", kLong},
                                   {"beta/gamma", "7"},
                                   {"beta/a key longer than the inline limit", "8"},
                                   {deep.c_str(), kLong}});
  return RecordOf(changes);
}

std::vector<Case> Cases() {
  using Compound = ICompoundObject;
  using Shared = ISharedTypelessObject;
  const auto copy = [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.operand.get())); };
  const Maker old_text = [] { return NewText("old"); }, long_text = [] { return NewText(kLong); };
  const Maker record = [] { return Record(); };
  const Maker wrapped = [] { return Wrap(Record().release(), InterfaceIdOf<Compound>()); };
  const Maker merged = [] { return RecordOf({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker merged_into = [] { return Record({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker replaced = [] { return Record({{"beta/gamma", kLong}}); };
  std::vector<Case> cases = {
      {"StringObject SetString", [](Scene& s) { TextOf(s.target)->SetString(kLong); }, old_text,
       nullptr, long_text, kUnchanged},
      {"StringObject CopyFrom",
       [](Scene& s) { EXPECT_TRUE(TextOf(s.target)->CopyFrom(TextOf(s.operand))); }, old_text,
       long_text, long_text, kUnchanged},
      {"SharedTypeless CopyFrom record", copy, old_text, wrapped, wrapped, kUnchanged},
      {"SharedTypeless Share", [](Scene& s) { s.result.reset(As<Shared>(s.target)->Share()); },
       old_text, nullptr, old_text, kResult},
      {"SharedTypeless AssignValue",
       [](Scene& s) { EXPECT_TRUE(As<Shared>(s.target)->AssignValue(As<Shared>(s.operand))); },
       old_text, long_text, long_text, kUnchanged},
      {"CompoundObject Set",
       [](Scene& s) { As<Compound>(s.target)->Set("beta/gamma", As<Shared>(s.operand), true); },
       record, long_text, replaced, kUnchanged},
      {"CompoundObject Equals", [](Scene& s) { EXPECT_TRUE(s.target->Equals(s.operand.get())); },
       record, record, nullptr, kUnchanged},
      {"CompoundObject CopyFrom", copy, merged, record, record, kPartial},
      {"CompoundObject Merge",
       [](Scene& s) { As<Compound>(s.target)->Merge(As<Compound>(s.operand), false); }, merged,
       record, merged_into, kPartial},
      {"CompoundObject Get",
       [](Scene& s) { s.result.reset(As<Compound>(s.target)->Get("beta/gamma", nullptr)); }, record,
       nullptr, [] { return NewText("7"); }, kResult},
  };
  const auto new_instance = [](Scene& s) { s.result.reset(s.target->NewInstance()); };
  for (const auto& [name, allocator] : kEveryExport) {
    const Maker make = [function = allocator] { return Make<IObject>(function); };
    cases.push_back({name, [make](Scene& s) { s.result = make(); }, {}, {}, make, kResult});
    cases.push_back({std::string(name) + " NewInstance", new_instance, make, {}, make, kResult});
  }
  return cases;
}

// Refuses the 1st, 2nd, 3rd ... heap request of each case until one try runs without a refusal.
TEST(AllocationFailure, EveryRequestOfEveryOperationFailsCleanly) {
  const auto make = [](const Maker& maker) { return maker ? maker() : nullptr; };
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    CountingHeap heap;
    std::size_t fail_at = 0;
    for (bool failed = true; failed; ++fail_at) {
      Scene scene{make(c.target), make(c.operand), nullptr};
      const std::size_t failures = heap.Failures();
      heap.FailAfter(fail_at);
      const std::string what = ErrorText<std::bad_alloc>([&] { c.act(scene); });
      heap.FailNone();
      failed = heap.Failures() != failures;
      EXPECT_EQ(what, failed ? "bad allocation" : "no exception");
      Object before = make(c.target), expected = make(c.expected);
      const Object& after = c.promise == kResult ? scene.result : scene.target;
      EXPECT_TRUE(failed || !expected || after->Equals(expected.get()));
      EXPECT_TRUE(c.promise != kResult || (scene.result == nullptr) == failed);
      EXPECT_TRUE(!failed || c.promise == kPartial || !before ||
                  scene.target->Equals(before.get()));
      scene = Scene{}, before.reset(), expected.reset();
      EXPECT_EQ(heap.Live(), 0) << (failed ? "after a refused request" : "after success");
    }
    EXPECT_GT(fail_at, 1u) << "no request to refuse";
  }
}

}  // namespace
