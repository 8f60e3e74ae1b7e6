// UniqueTypelessNonTrivialObject and Clone: owned payloads, deep copies, comparisons, failures.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "internal/clone.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "typeless_objects.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::UniqueTypelessNonTrivialObject;
using kivo::detail::Clone;
using kivo::detail::Owned;
using kivo::testing::CountingHeap;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;

constexpr char kCannotCopy[] =
    "Can not copy from an object that doesn't derive from utility::IObject";
constexpr char kCannotCompare[] =
    "Can not test equality of objects that don't derive from utility::IObject";

constexpr InterfaceId kCountingType{"counting", kivo::utility::NameCode("counting")};
constexpr InterfaceId kCountingLookalike{"same code, another record", kCountingType.code};

const InterfaceId* StringType() {
  return kivo::utility::InterfaceIdOf<kivo::containers::IStringObject>();
}

// A payload that is no IObject: the library can hold it but neither copy nor compare it.
class BareInterface final : public ISharedInterface {
 public:
  static BareInterface* New(int& destroyed) { return new BareInterface(destroyed); }
  void Destroy() noexcept override {
    ++*destroyed_;
    this->~BareInterface();
    ::operator delete(this);
  }
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  explicit BareInterface(int& destroyed) : destroyed_(&destroyed) {}
  int* destroyed_;
};

Owned<IUniqueTypelessObject> Holding(ISharedInterface* payload, const InterfaceId* type) {
  Owned<IUniqueTypelessObject> object(new UniqueTypelessNonTrivialObject());
  object->SetObject(payload);
  object->SetTypeId(type);
  return object;
}

IStringObject* NewText(const char* text) {
  auto* object = static_cast<IStringObject*>(KivoStringObjectAllocator());
  object->SetString(text);
  return object;
}

const char* TextOf(const IUniqueTypelessObject& object) {
  return static_cast<const IStringObject*>(object.GetConstData())->GetString();
}

Owned<ISharedTypelessObject> SharedHolding(IUniqueTypelessObject* unique) {
  Owned<ISharedTypelessObject> shared(
      static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator()));
  shared->Reset(unique);
  return shared;
}

template <class Operation>
std::string RuntimeErrorText(Operation operation) {
  try {
    operation();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no exception";
}

TEST(NonTrivialTypelessObject, NewObjectHasNoPayloadIsVoidAndEqualsAnotherNewObject) {
  Owned<IUniqueTypelessObject> a(new UniqueTypelessNonTrivialObject());
  Owned<IUniqueTypelessObject> b(new UniqueTypelessNonTrivialObject());
  EXPECT_EQ(a->GetData(), nullptr);
  EXPECT_EQ(a->GetConstData(), nullptr);
  EXPECT_EQ(a->GetTypeId(), kivo::utility::VoidInterfaceId());
  EXPECT_TRUE(a->Equals(b.get()));
  Owned<IObject> fresh(a->NewInstance());
  EXPECT_TRUE(a->Equals(fresh.get()));
}

TEST(NonTrivialTypelessObject, CopyFromMakesAnIndependentDeepCopyAndReplacesThePayload) {
  CountingLog log;
  auto source = Holding(NewText("alpha"), StringType());
  auto target = Holding(CountingObject::New(log), &kCountingType);
  ASSERT_TRUE(target->CopyFrom(source.get()));
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_NE(target->GetData(), source->GetData());
  EXPECT_EQ(target->GetTypeId(), StringType());
  EXPECT_TRUE(target->Equals(source.get()));
  static_cast<IStringObject*>(source->GetData())->SetString("changed");
  EXPECT_STREQ(TextOf(*target), "alpha");
  EXPECT_FALSE(target->Equals(source.get()));
}

TEST(NonTrivialTypelessObject, CopyFromAPayloadThatIsNoObjectThrowsAndChangesNothing) {
  int bare_destroyed = 0;
  CountingLog log;
  auto no_payload = Holding(nullptr, StringType());
  auto bare_payload = Holding(BareInterface::New(bare_destroyed), StringType());
  auto shared = SharedHolding(Holding(nullptr, StringType()).release());
  for (const IObject* source : {static_cast<const IObject*>(no_payload.get()),
                                static_cast<const IObject*>(bare_payload.get()),
                                static_cast<const IObject*>(shared.get())}) {
    CountingObject* payload = CountingObject::New(log, 3);
    auto target = Holding(payload, &kCountingType);
    EXPECT_EQ(RuntimeErrorText([&] { target->CopyFrom(source); }), kCannotCopy);
    EXPECT_EQ(target->GetData(), payload);
    EXPECT_EQ(target->GetTypeId(), &kCountingType);
    EXPECT_EQ(log.destroyed, 0);
    target.reset();
    log.destroyed = 0;
  }
  EXPECT_EQ(bare_destroyed, 0);
}

TEST(NonTrivialTypelessObject, CopyFromKeepsThePayloadWhenItsCopyFails) {
  CountingLog log;
  auto source = Holding(CountingObject::New(log, 1), &kCountingType);
  CountingObject* kept = CountingObject::New(log, 2);
  auto target = Holding(kept, StringType());
  log.refuse_copies = true;
  EXPECT_FALSE(target->CopyFrom(source.get()));
  EXPECT_EQ(target->GetData(), kept);
  EXPECT_EQ(target->GetTypeId(), StringType());
  EXPECT_EQ(log.Alive(), 2);  // the refused copy did not survive
}

TEST(NonTrivialTypelessObject, CopyFromASharedObjectHoldingThisVeryObjectLeavesAnEqualCopy) {
  CountingLog log;
  auto shared = SharedHolding(Holding(CountingObject::New(log, 5), &kCountingType).release());
  IUniqueTypelessObject* unique = shared->GetUnique();
  void* const before = unique->GetData();
  ASSERT_TRUE(unique->CopyFrom(shared.get()));
  EXPECT_NE(unique->GetData(), before);
  EXPECT_EQ(static_cast<CountingObject*>(unique->GetData())->value, 5);
  EXPECT_EQ(unique->GetTypeId(), &kCountingType);
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(log.Alive(), 1);
}

TEST(NonTrivialTypelessObject, CopyFromLooksThroughASharedObjectOnly) {
  auto shared = SharedHolding(Holding(NewText("shared"), StringType()).release());
  auto target = Holding(nullptr, kivo::utility::VoidInterfaceId());
  ASSERT_TRUE(target->CopyFrom(shared.get()));
  EXPECT_STREQ(TextOf(*target), "shared");
  EXPECT_FALSE(target->Equals(shared.get()));

  Owned<IUniqueTypelessObject> trivial(
      static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessTrivialObjectAllocator_8()));
  auto empty_shared = SharedHolding(nullptr);
  for (const IObject* other :
       {static_cast<const IObject*>(nullptr), static_cast<const IObject*>(trivial.get()),
        static_cast<const IObject*>(empty_shared.get())}) {
    EXPECT_FALSE(target->CopyFrom(other));
    EXPECT_FALSE(target->Equals(other));
  }
  EXPECT_STREQ(TextOf(*target), "shared");
}

enum class Payload { kNone, kOne, kTwo, kBare };
enum class Answer { kFalse, kTrue, kThrows };

struct EqualsCase {
  const InterfaceId* type_a;
  Payload payload_a;
  const InterfaceId* type_b;
  Payload payload_b;
  Answer answer;
};

TEST(NonTrivialTypelessObject, EqualsComparesTypeCodesThenPayloads) {
  const InterfaceId* const string_type = StringType();
  const EqualsCase cases[] = {
      {&kCountingType, Payload::kNone, &kCountingType, Payload::kNone, Answer::kTrue},
      {&kCountingType, Payload::kOne, &kCountingType, Payload::kOne, Answer::kTrue},
      {&kCountingType, Payload::kOne, &kCountingLookalike, Payload::kOne, Answer::kTrue},
      {&kCountingType, Payload::kOne, &kCountingType, Payload::kTwo, Answer::kFalse},
      {&kCountingType, Payload::kOne, string_type, Payload::kOne, Answer::kFalse},
      {&kCountingType, Payload::kNone, string_type, Payload::kNone, Answer::kFalse},
      {&kCountingType, Payload::kNone, string_type, Payload::kBare, Answer::kFalse},
      {&kCountingType, Payload::kNone, &kCountingType, Payload::kOne, Answer::kThrows},
      {&kCountingType, Payload::kBare, &kCountingType, Payload::kOne, Answer::kThrows},
      {&kCountingType, Payload::kBare, &kCountingType, Payload::kBare, Answer::kThrows},
      // A null record is a type of its own.
      {nullptr, Payload::kNone, nullptr, Payload::kNone, Answer::kTrue},
      {nullptr, Payload::kOne, nullptr, Payload::kOne, Answer::kTrue},
      {nullptr, Payload::kOne, &kCountingType, Payload::kOne, Answer::kFalse},
      {nullptr, Payload::kNone, kivo::utility::VoidInterfaceId(), Payload::kNone, Answer::kFalse},
  };
  CountingLog log;
  int bare_destroyed = 0;
  auto make = [&](const InterfaceId* type, Payload payload) {
    switch (payload) {
      case Payload::kNone:
        return Holding(nullptr, type);
      case Payload::kOne:
        return Holding(CountingObject::New(log, 1), type);
      case Payload::kTwo:
        return Holding(CountingObject::New(log, 2), type);
      case Payload::kBare:
        break;
    }
    return Holding(BareInterface::New(bare_destroyed), type);
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    const EqualsCase& c = cases[i];
    auto a = make(c.type_a, c.payload_a);
    auto b = make(c.type_b, c.payload_b);
    for (const auto& [left, right] : {std::pair{a.get(), b.get()}, std::pair{b.get(), a.get()}}) {
      if (c.answer == Answer::kThrows) {
        EXPECT_EQ(RuntimeErrorText([&, l = left, r = right] { l->Equals(r); }), kCannotCompare);
      } else {
        EXPECT_EQ(left->Equals(right), c.answer == Answer::kTrue);
      }
    }
    EXPECT_TRUE(a->Equals(a.get()));
  }
  EXPECT_EQ(log.Alive(), 0);
}

TEST(NonTrivialTypelessObject, ClearDestroysAPayloadOnceAndOnlyThenForgetsTheType) {
  CountingLog log;
  auto object = Holding(CountingObject::New(log), &kCountingType);
  object->Clear();
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(object->GetData(), nullptr);
  EXPECT_EQ(object->GetTypeId(), kivo::utility::VoidInterfaceId());

  object->SetTypeId(StringType());
  object->Clear();
  EXPECT_EQ(object->GetTypeId(), StringType());
  EXPECT_EQ(log.destroyed, 1);
}

TEST(NonTrivialTypelessObject, DestroyEndsThePayloadOnceAndSetObjectNeverDoes) {
  CountingLog log;
  CountingObject* first = CountingObject::New(log);
  auto object = Holding(first, &kCountingType);
  object->SetObject(CountingObject::New(log));  // overwrites without destroying
  EXPECT_EQ(log.destroyed, 0);
  object.reset();
  EXPECT_EQ(log.destroyed, 1);
  first->Destroy();
}

struct CopyState {
  Owned<IUniqueTypelessObject> target;
  Owned<IUniqueTypelessObject> source;
  const void* payload;
  std::ptrdiff_t live;
};

TEST(NonTrivialTypelessObject, ExhaustedMemoryInCopyFromKeepsThePayloadAndLeaksNothing) {
  CountingHeap heap;
  const std::size_t failures = kivo::testing::SweepAllocationFailures(
      heap,
      [&] {
        CopyState state{Holding(NewText("old"), StringType()),
                        Holding(NewText("a text long enough to need a block"), StringType()),
                        nullptr, 0};
        state.payload = state.target->GetConstData();
        state.live = heap.Live();
        return state;
      },
      [](CopyState& state) { state.target->CopyFrom(state.source.get()); },
      [&](CopyState& state, const char* what) {
        if (what != nullptr) {
          EXPECT_STREQ(what, "bad allocation");
          EXPECT_EQ(state.target->GetConstData(), state.payload);
          EXPECT_STREQ(TextOf(*state.target), "old");
          EXPECT_EQ(heap.Live(), state.live);
        } else {
          EXPECT_TRUE(state.target->Equals(state.source.get()));
          EXPECT_EQ(heap.Live(), state.live + 1);  // the new text's block; the old was inline
        }
      });
  EXPECT_EQ(failures, 2u);  // the string object, then its text block
}

TEST(Clone, CopiesAnyObjectIntoANewObjectOfItsClass) {
  Owned<IStringObject> text(NewText("cloned text"));
  Owned<IObject> copy = Clone<IObject>(*text);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), text.get());
  EXPECT_TRUE(copy->Equals(text.get()));
  EXPECT_NE(Clone<IStringObject>(*text), nullptr);
}

TEST(Clone, ReleasesTheNewObjectWhenItIsNotAnIOrItsCopyFailsOrThrows) {
  CountingHeap heap;
  Owned<IStringObject> text(NewText("x"));
  auto no_payload = Holding(nullptr, StringType());
  const std::ptrdiff_t live = heap.Live();
  EXPECT_EQ(Clone<IUniqueTypelessObject>(*text), nullptr);
  EXPECT_EQ(heap.Live(), live);
  EXPECT_EQ(RuntimeErrorText([&] { Clone<IObject>(*no_payload); }), kCannotCopy);
  EXPECT_EQ(heap.Live(), live);

  CountingLog log;
  Owned<CountingObject> counting(CountingObject::New(log));
  log.refuse_copies = true;
  EXPECT_EQ(Clone<IObject>(*counting), nullptr);
  EXPECT_EQ(log.Alive(), 1);
}

}  // namespace
