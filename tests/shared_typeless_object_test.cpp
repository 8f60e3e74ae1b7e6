// SharedTypelessObject: shared ownership, deep copy versus in-place assignment, failures, threads.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "typeless_objects.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::SharedTypelessObject;
using kivo::containers::UniqueTypelessNonTrivialObject;
using kivo::containers::UniqueTypelessTrivialObject;
using kivo::detail::Owned;
using kivo::testing::CountingHeap;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;

constexpr InterfaceId kTypeT{"T", kivo::utility::NameCode("T")};
constexpr InterfaceId kTypeU{"U", kivo::utility::NameCode("U")};

Owned<ISharedTypelessObject> NewShared(IUniqueTypelessObject* unique = nullptr) {
  Owned<ISharedTypelessObject> shared(new SharedTypelessObject());
  if (unique != nullptr) shared->Reset(unique);
  return shared;
}

// A new 8-byte trivial object holding value.
IUniqueTypelessObject* Trivial8(std::uint64_t value, const InterfaceId* type = &kTypeT) {
  auto* object = new UniqueTypelessTrivialObject<8>();
  std::memcpy(object->GetData(), &value, sizeof(value));
  object->SetTypeId(type);
  return object;
}

std::uint64_t ValueOf(const ISharedTypelessObject& shared) {
  std::uint64_t value = 0;
  const auto* unique = dynamic_cast<const IUniqueTypelessObject*>(shared.GetConstUnique());
  std::memcpy(&value, unique->GetConstData(), sizeof(value));
  return value;
}

// A new non-trivial object whose payload is a CountingObject holding value.
IUniqueTypelessObject* Counted(CountingLog& log, int value = 0) {
  auto* object = new UniqueTypelessNonTrivialObject();
  object->SetObject(CountingObject::New(log, value));
  object->SetTypeId(&kTypeT);
  return object;
}

template <class Exception, class Operation>
std::string ErrorText(Operation operation) {
  try {
    operation();
  } catch (const Exception& error) {
    return error.what();
  }
  return "no exception";
}

TEST(SharedTypelessObject, NewObjectIsEmptyLabelledVoidAndEqualsAnotherNewObject) {
  auto a = NewShared();
  auto b = NewShared(Trivial8(1));
  EXPECT_EQ(a->GetUnique(), nullptr);
  EXPECT_EQ(a->GetConstUnique(), nullptr);
  EXPECT_EQ(a->GetTypeId(), kivo::utility::VoidInterfaceId());
  Owned<IObject> fresh(b->NewInstance());  // empty, though its source holds an object
  EXPECT_TRUE(a->Equals(fresh.get()));
  EXPECT_FALSE(b->Equals(fresh.get()));
  EXPECT_EQ(b->GetTypeId(), &kTypeT);
}

TEST(SharedTypelessObject, ShareMakesAnotherHolderOfTheSameUniqueObject) {
  auto empty = NewShared();
  Owned<ISharedTypelessObject> empty_holder(empty->Share());
  EXPECT_EQ(empty_holder->GetUnique(), nullptr);

  auto holding = NewShared(Trivial8(42));
  Owned<ISharedTypelessObject> holder(holding->Share());
  EXPECT_EQ(holder->GetUnique(), holding->GetUnique());
  EXPECT_TRUE(holder->Equals(holding.get()));
  EXPECT_EQ(holder->GetTypeId(), &kTypeT);
}

TEST(SharedTypelessObject, TheLastHolderEndsTheUniqueObjectExactlyOnce) {
  CountingLog log;
  auto first = NewShared(Counted(log, 7));
  Owned<ISharedTypelessObject> second(first->Share());
  Owned<ISharedTypelessObject> third(second->Share());
  first.reset();
  second.reset();
  EXPECT_EQ(log.destroyed, 0);
  EXPECT_EQ(static_cast<CountingObject*>(third->GetUnique()->GetData())->value, 7);
  third.reset();
  EXPECT_EQ(log.destroyed, 1);
}

TEST(SharedTypelessObject, CopyFromDetachesWhileAssignValueWritesThroughToEverySharer) {
  auto a = NewShared(Trivial8(1));
  Owned<ISharedTypelessObject> sharer(a->Share());
  auto copy = NewShared(Trivial8(99, &kTypeU));
  ASSERT_TRUE(copy->CopyFrom(a.get()));
  EXPECT_TRUE(copy->Equals(a.get()));
  EXPECT_NE(copy->GetUnique(), a->GetUnique());

  IUniqueTypelessObject* const held = a->GetUnique();
  auto value = NewShared(Trivial8(2));
  ASSERT_TRUE(a->AssignValue(value.get()));
  EXPECT_EQ(a->GetUnique(), held);
  EXPECT_EQ(ValueOf(*a), 2u);
  EXPECT_EQ(ValueOf(*sharer), 2u);
  EXPECT_EQ(ValueOf(*copy), 1u);
}

enum class Held { kEmpty, kT8, kU8, kT4, kNull8, kSame };

struct AssignCase {
  Held target;
  Held source;
  bool result;
  std::uint64_t value_after;  // the target's value afterwards, when it holds one
};

TEST(SharedTypelessObject, AssignValueNeedsBothHeldAndTheSameTypeCode) {
  const AssignCase cases[] = {
      {Held::kEmpty, Held::kEmpty, true, 0}, {Held::kEmpty, Held::kT8, false, 0},
      {Held::kT8, Held::kEmpty, false, 1},   {Held::kT8, Held::kSame, true, 1},
      {Held::kT8, Held::kU8, false, 1},      {Held::kT8, Held::kT4, false, 1},
      {Held::kT8, Held::kT8, true, 9},       {Held::kNull8, Held::kNull8, true, 9},
      {Held::kT8, Held::kNull8, false, 1},
  };
  auto make = [](Held held, std::uint64_t value) -> Owned<ISharedTypelessObject> {
    switch (held) {
      case Held::kT8:
        return NewShared(Trivial8(value));
      case Held::kU8:
        return NewShared(Trivial8(value, &kTypeU));
      case Held::kT4: {
        auto* four = new UniqueTypelessTrivialObject<4>();
        four->SetTypeId(&kTypeT);
        return NewShared(four);
      }
      case Held::kNull8:
        return NewShared(Trivial8(value, nullptr));
      case Held::kEmpty:
      case Held::kSame:
        break;
    }
    return NewShared();
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i);
    const AssignCase& c = cases[i];
    auto target = make(c.target, 1);
    auto source =
        c.source == Held::kSame ? Owned<ISharedTypelessObject>(target->Share()) : make(c.source, 9);
    IUniqueTypelessObject* const held = target->GetUnique();
    EXPECT_EQ(target->AssignValue(source.get()), c.result);
    EXPECT_EQ(target->GetUnique(), held);
    if (held != nullptr) {
      EXPECT_EQ(ValueOf(*target), c.value_after);
    }
  }
}

// Another implementation of the interface, which forwards to a SharedTypelessObject.
class ForeignShared final : public kivo::utility::SharedImplementation<ISharedTypelessObject> {
 public:
  explicit ForeignShared(IUniqueTypelessObject* unique) { inner->Reset(unique); }
  bool CopyFrom(const IObject* other) override { return inner->CopyFrom(other); }
  bool Equals(const IObject* other) const override { return inner->Equals(other); }
  IObject* NewInstance() const override { return new ForeignShared(nullptr); }
  const InterfaceId* GetTypeId() const override { return inner->GetTypeId(); }
  bool AssignValue(const ISharedTypelessObject* other) override {
    return inner->AssignValue(other);
  }
  IUniqueTypelessObject* GetUnique() override { return inner->GetUnique(); }
  const ITypelessObject* GetConstUnique() const override { return inner->GetConstUnique(); }
  void Reset(IUniqueTypelessObject* unique) override { inner->Reset(unique); }
  ISharedTypelessObject* Share() const override { return inner->Share(); }

 private:
  Owned<ISharedTypelessObject> inner = NewShared();
};

TEST(SharedTypelessObject, AssignValueReadsAnotherImplementationThroughItsSlot) {
  Owned<ISharedTypelessObject> foreign(new ForeignShared(Trivial8(5)));
  Owned<ISharedTypelessObject> foreign_empty(new ForeignShared(nullptr));
  auto target = NewShared(Trivial8(1));
  EXPECT_FALSE(target->AssignValue(foreign_empty.get()));
  ASSERT_TRUE(target->AssignValue(foreign.get()));
  EXPECT_EQ(ValueOf(*target), 5u);
  EXPECT_FALSE(target->AssignValue(nullptr));
  EXPECT_FALSE(target->Equals(foreign.get()));
  EXPECT_FALSE(target->CopyFrom(foreign.get()));
}

TEST(SharedTypelessObject, CopyFromAUniqueSourceLabelledVoidEmptiesThisObject) {
  CountingLog log;
  auto target = NewShared(Counted(log));
  Owned<IUniqueTypelessObject> source(Trivial8(0xFF, kivo::utility::VoidInterfaceId()));
  ASSERT_TRUE(target->CopyFrom(source.get()));
  EXPECT_EQ(target->GetUnique(), nullptr);
  EXPECT_EQ(log.destroyed, 1);

  Owned<IUniqueTypelessObject> untyped(Trivial8(3, nullptr));  // null is no void: copied
  ASSERT_TRUE(target->CopyFrom(untyped.get()));
  EXPECT_EQ(target->GetTypeId(), nullptr);
  EXPECT_EQ(ValueOf(*target), 3u);
}

TEST(SharedTypelessObject, CopyFromASharedSourceJudgesEmptinessByWhatItHolds) {
  auto void_typed = NewShared(Trivial8(0xFF, kivo::utility::VoidInterfaceId()));
  auto target = NewShared();
  ASSERT_TRUE(target->CopyFrom(void_typed.get()));
  ASSERT_NE(target->GetUnique(), nullptr);
  EXPECT_NE(target->GetUnique(), void_typed->GetUnique());
  EXPECT_EQ(ValueOf(*target), 0xFFu);

  CountingLog log;
  auto holding = NewShared(Counted(log));
  auto empty = NewShared();
  ASSERT_TRUE(holding->CopyFrom(empty.get()));
  EXPECT_EQ(holding->GetUnique(), nullptr);
  EXPECT_EQ(log.destroyed, 1);
}

TEST(SharedTypelessObject, CopyFromRejectsNullAndOtherClasses) {
  auto target = NewShared(Trivial8(1));
  Owned<IStringObject> text(static_cast<IStringObject*>(KivoStringObjectAllocator()));
  for (const IObject* other :
       {static_cast<const IObject*>(nullptr), static_cast<const IObject*>(text.get())}) {
    EXPECT_FALSE(target->CopyFrom(other));
    EXPECT_FALSE(target->Equals(other));
  }
  EXPECT_EQ(ValueOf(*target), 1u);
}

TEST(SharedTypelessObject, CopyFromAPayloadlessNonTrivialSourceThrowsAndKeepsThisObject) {
  const char kCannotCopy[] =
      "Can not copy from an object that doesn't derive from utility::IObject";
  auto target = NewShared(Trivial8(1));
  IUniqueTypelessObject* const held = target->GetUnique();
  Owned<IUniqueTypelessObject> no_payload(new UniqueTypelessNonTrivialObject());
  no_payload->SetTypeId(&kTypeT);
  auto shared_no_payload = NewShared(new UniqueTypelessNonTrivialObject());
  for (const IObject* source : {static_cast<const IObject*>(no_payload.get()),
                                static_cast<const IObject*>(shared_no_payload.get())}) {
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { target->CopyFrom(source); }), kCannotCopy);
    EXPECT_EQ(target->GetUnique(), held);
  }
}

TEST(SharedTypelessObject, EqualsNeverMatchesAUniqueObjectThatCopyFromTakes) {
  auto target = NewShared(Trivial8(4));
  Owned<IUniqueTypelessObject> unique(Trivial8(4));
  EXPECT_TRUE(target->GetUnique()->Equals(unique.get()));
  EXPECT_FALSE(target->Equals(unique.get()));
  auto copy = NewShared();
  ASSERT_TRUE(copy->CopyFrom(unique.get()));
  EXPECT_TRUE(copy->Equals(target.get()));
}

TEST(SharedTypelessObject, EqualsComparesTheHeldObjectsAndPassesTheirExceptionsOn) {
  auto empty = NewShared();
  auto one = NewShared(Trivial8(1));
  auto other_one = NewShared(Trivial8(1));
  auto two = NewShared(Trivial8(2));
  EXPECT_TRUE(empty->Equals(NewShared().get()));
  EXPECT_FALSE(empty->Equals(one.get()));
  EXPECT_FALSE(one->Equals(empty.get()));
  EXPECT_TRUE(one->Equals(other_one.get()));
  EXPECT_FALSE(one->Equals(two.get()));

  CountingLog log;
  auto with_payload = NewShared(Counted(log));
  auto* bare = new UniqueTypelessNonTrivialObject();
  bare->SetTypeId(&kTypeT);
  auto without_payload = NewShared(bare);
  EXPECT_EQ(ErrorText<std::runtime_error>([&] { with_payload->Equals(without_payload.get()); }),
            "Can not test equality of objects that don't derive from utility::IObject");
}

TEST(SharedTypelessObject, ResetReleasesThePreviousReferenceAndNullEmpties) {
  CountingLog log;
  auto shared = NewShared(Counted(log, 1));
  Owned<ISharedTypelessObject> sharer(shared->Share());
  shared->Reset(Counted(log, 2));
  EXPECT_EQ(log.destroyed, 0);  // the sharer still holds the first
  sharer.reset();
  EXPECT_EQ(log.destroyed, 1);
  shared->Reset(nullptr);
  EXPECT_EQ(log.destroyed, 2);
  EXPECT_EQ(shared->GetUnique(), nullptr);
  EXPECT_EQ(shared->GetTypeId(), kivo::utility::VoidInterfaceId());
}

TEST(SharedTypelessObject, ResetWithoutMemoryDestroysItsArgumentAndKeepsThePreviousReference) {
  CountingHeap heap;
  CountingLog previous_log, argument_log;
  const std::ptrdiff_t baseline = heap.Live();
  {
    auto shared = NewShared(Counted(previous_log));
    IUniqueTypelessObject* const previous = shared->GetUnique();
    const std::ptrdiff_t live = heap.Live();
    IUniqueTypelessObject* argument = Counted(argument_log);
    heap.FailAfter(0);
    EXPECT_EQ(ErrorText<std::bad_alloc>([&] { shared->Reset(argument); }), "bad allocation");
    heap.FailNone();
    EXPECT_EQ(argument_log.destroyed, 1);
    EXPECT_EQ(heap.Live(), live);
    EXPECT_EQ(shared->GetUnique(), previous);
    EXPECT_EQ(previous_log.destroyed, 0);
  }
  EXPECT_EQ(previous_log.destroyed, 1);
  EXPECT_EQ(heap.Live(), baseline);
}

TEST(SharedTypelessObject, ShareWithoutMemoryThrowsAndLeavesNoReferenceBehind) {
  CountingHeap heap;
  CountingLog log;
  const std::ptrdiff_t baseline = heap.Live();
  {
    auto shared = NewShared(Counted(log));
    const std::ptrdiff_t live = heap.Live();
    heap.FailAfter(0);
    EXPECT_EQ(ErrorText<std::bad_alloc>([&] { shared->Share()->Destroy(); }), "bad allocation");
    heap.FailNone();
    EXPECT_EQ(heap.Live(), live);
  }
  EXPECT_EQ(log.destroyed, 1);  // no stray count kept the unique object alive
  EXPECT_EQ(heap.Live(), baseline);
}

struct CopyState {
  Owned<ISharedTypelessObject> target;
  Owned<ISharedTypelessObject> source;
  IUniqueTypelessObject* held;
  std::ptrdiff_t live;
};

TEST(SharedTypelessObject, CopyFromWithoutMemoryKeepsThisObjectAndLeaksNothing) {
  CountingHeap heap;
  const std::size_t failures = kivo::testing::SweepAllocationFailures(
      heap,
      [&] {
        auto* text = static_cast<IStringObject*>(KivoStringObjectAllocator());
        text->SetString("a text long enough to need a block of its own");
        auto* unique = new UniqueTypelessNonTrivialObject();
        unique->SetObject(text);
        unique->SetTypeId(kivo::utility::InterfaceIdOf<IStringObject>());
        CopyState state{NewShared(Trivial8(1)), NewShared(unique), nullptr, 0};
        state.held = state.target->GetUnique();
        state.live = heap.Live();
        return state;
      },
      [](CopyState& state) { state.target->CopyFrom(state.source.get()); },
      [&](CopyState& state, const char* what) {
        if (what != nullptr) {
          EXPECT_STREQ(what, "bad allocation");
          EXPECT_EQ(state.target->GetUnique(), state.held);
          EXPECT_EQ(ValueOf(*state.target), 1u);
          EXPECT_EQ(heap.Live(), state.live);
        } else {
          EXPECT_TRUE(state.target->Equals(state.source.get()));
          EXPECT_NE(state.target->GetUnique(), state.source->GetUnique());
        }
      });
  // The unique object, its string object, the text block and the count block.
  EXPECT_EQ(failures, 4u);
}

TEST(SharedTypelessObject, HoldersSharedAndDestroyedOnManyThreadsEndTheUniqueObjectOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  CountingLog log;
  auto root = NewShared(Counted(log));
  std::vector<ISharedTypelessObject*> holders;
  for (int i = 0; i < kThreads; ++i) holders.push_back(root->Share());
  root.reset();

  std::atomic<bool> ended_early{false};
  std::vector<std::thread> threads;
  for (ISharedTypelessObject* holder : holders) {
    threads.emplace_back([holder, &log, &ended_early] {
      ISharedTypelessObject* mine = holder;
      for (int round = 0; round < kRounds; ++round) {
        ISharedTypelessObject* next = mine->Share();
        mine->Destroy();
        mine = next;
        if (log.destroyed != 0) ended_early = true;
      }
      mine->Destroy();
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(ended_early);
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(log.Alive(), 0);
}

}  // namespace
