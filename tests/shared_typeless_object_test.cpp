// SharedTypelessObject: shared ownership, deep copy versus in-place assignment, failures, threads.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/slots.h"
#include "typeless_objects.h"

namespace {

using kivo::testing::ErrorText;

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::UniqueTypelessNonTrivialObject;
using kivo::detail::Owned;
using kivo::testing::CountingHeap;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;
using kivo::utility::VoidInterfaceId;
using Others = std::initializer_list<const IObject*>;

constexpr InterfaceId kTypeT{"T", kivo::utility::NameCode("T")};
constexpr InterfaceId kTypeU{"U", kivo::utility::NameCode("U")};

Owned<ISharedTypelessObject> NewShared(IUniqueTypelessObject* unique = nullptr) {
  Owned<ISharedTypelessObject> shared(
      static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator()));
  if (unique != nullptr) shared->Reset(unique);
  return shared;
}

// A new 8-byte trivial object holding value.
IUniqueTypelessObject* Trivial8(std::uint64_t value, const InterfaceId* type = &kTypeT) {
  auto* object = new kivo::containers::UniqueTypelessTrivialObject<8>();
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

TEST(SharedTypelessObject, NewObjectIsEmptyAndShareMakesAnotherHolderOfTheSameUniqueObject) {
  auto empty = NewShared();
  EXPECT_EQ(empty->GetUnique(), nullptr);
  EXPECT_EQ(empty->GetConstUnique(), nullptr);
  EXPECT_EQ(empty->GetTypeId(), VoidInterfaceId());
  EXPECT_EQ(empty->GetInterfaceId(), kivo::utility::InterfaceIdOf<ISharedTypelessObject>());
  EXPECT_EQ(Owned<ISharedTypelessObject>(empty->Share())->GetUnique(), nullptr);
  auto holding = NewShared(Trivial8(42));
  Owned<IObject> fresh(holding->NewInstance());  // empty, though its source holds an object
  EXPECT_TRUE(empty->Equals(fresh.get()));
  EXPECT_FALSE(holding->Equals(fresh.get()));
  Owned<ISharedTypelessObject> holder(holding->Share());
  EXPECT_EQ(holder->GetUnique(), holding->GetUnique());
  EXPECT_EQ(holder->GetTypeId(), &kTypeT);
  EXPECT_TRUE(holder->Equals(holding.get()));
}

TEST(SharedTypelessObject, TheLastHolderToLetGoEndsTheUniqueObjectExactlyOnce) {
  CountingLog log;
  auto first = NewShared(Counted(log, 7));
  Owned<ISharedTypelessObject> second(first->Share());
  Owned<ISharedTypelessObject> third(second->Share());
  first.reset();
  second->Reset(Counted(log, 8));  // moves on to another unique object
  EXPECT_EQ(log.destroyed, 0);
  EXPECT_EQ(static_cast<CountingObject*>(third->GetUnique()->GetData())->value, 7);
  third.reset();
  EXPECT_EQ(log.destroyed, 1);
  second->Reset(nullptr);
  EXPECT_EQ(log.destroyed, 2);
  EXPECT_EQ(second->GetUnique(), nullptr);
  EXPECT_EQ(second->GetTypeId(), VoidInterfaceId());
}

TEST(SharedTypelessObject, AssignValueNeedsBothHeldAndTheSameTypeCode) {
  enum Held { kEmpty, kT8, kU8, kT4, kNull8, kSame };
  const struct {
    Held target, source;
    bool result;
    std::uint64_t value_after;  // the target's value afterwards, when it holds one
  } cases[] = {
      {kEmpty, kEmpty, true, 0}, {kEmpty, kT8, false, 0},   {kT8, kEmpty, false, 1},
      {kT8, kSame, true, 1},     {kT8, kU8, false, 1},      {kT8, kT4, false, 1},
      {kT8, kT8, true, 9},       {kNull8, kNull8, true, 9}, {kT8, kNull8, false, 1},
  };
  auto make = [](Held held, std::uint64_t value) {
    if (held == kT4) {
      auto* four = new kivo::containers::UniqueTypelessTrivialObject<4>();
      four->SetTypeId(&kTypeT);
      return NewShared(four);
    }
    if (held == kEmpty) return NewShared();
    return NewShared(Trivial8(value, held == kU8 ? &kTypeU : held == kNull8 ? nullptr : &kTypeT));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    auto target = make(c.target, 1);
    auto source =
        c.source == kSame ? Owned<ISharedTypelessObject>(target->Share()) : make(c.source, 9);
    IUniqueTypelessObject* const held = target->GetUnique();
    EXPECT_EQ(target->AssignValue(source.get()), c.result);
    EXPECT_EQ(target->GetUnique(), held);
    if (held != nullptr) {
      EXPECT_EQ(ValueOf(*target), c.value_after);
    }
  }
}

TEST(SharedTypelessObject, AssignValueReadsAnotherImplementationThroughItsSlot) {
  CountingLog log;
  Owned<IUniqueTypelessObject> value(Trivial8(5));
  Owned<kivo::testing::CountingHandle> foreign(kivo::testing::CountingHandle::New(log, 0));
  auto target = NewShared(Trivial8(1));
  EXPECT_FALSE(target->AssignValue(foreign.get()));  // it holds nothing
  foreign->unique = value.get();
  ASSERT_TRUE(target->AssignValue(foreign.get()));
  EXPECT_EQ(ValueOf(*target), 5u);
  EXPECT_FALSE(target->AssignValue(nullptr));
  EXPECT_FALSE(target->Equals(foreign.get()));
  EXPECT_FALSE(target->CopyFrom(foreign.get()));
}

TEST(SharedTypelessObject, HoldersSharedAndDestroyedOnManyThreadsEndTheUniqueObjectOnce) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  CountingLog log;
  auto root = NewShared(Counted(log));
  std::vector<std::thread> threads;
  std::atomic<bool> ended_early{false};
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([mine = root->Share(), &log, &ended_early]() mutable {
      for (int round = 0; round < kRounds; ++round) {
        ISharedTypelessObject* next = mine->Share();
        mine->Destroy();
        mine = next;
        if (log.destroyed != 0) ended_early = true;
      }
      mine->Destroy();
    });
  }
  root.reset();
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(ended_early);
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(log.Alive(), 0);
}

// Slots 5 to 10 of ISharedTypelessObject, called by position.
TEST(SharedTypelessObjectSlots, EachOperationSitsAtItsPosition) {
  using kivo::testing::CallSlot;
  auto shared = NewShared();
  IUniqueTypelessObject* unique = Trivial8(1);
  CallSlot<void>(shared.get(), 9, unique);                               // Reset
  EXPECT_EQ(CallSlot<IUniqueTypelessObject*>(shared.get(), 7), unique);  // GetUnique
  EXPECT_EQ(CallSlot<const ITypelessObject*>(shared.get(), 8), unique);  // GetConstUnique
  EXPECT_EQ(CallSlot<const InterfaceId*>(shared.get(), 5), &kTypeT);     // GetTypeId
  Owned<ISharedTypelessObject> holder(CallSlot<ISharedTypelessObject*>(shared.get(), 10));  // Share
  EXPECT_EQ(holder->GetUnique(), unique);
  auto other = NewShared(Trivial8(2));
  EXPECT_TRUE(CallSlot<bool>(shared.get(), 6, other.get()));  // AssignValue
  EXPECT_EQ(ValueOf(*holder), 2u);
}

}  // namespace
