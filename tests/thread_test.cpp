// Threads hammering the state objects share: first use of the type records, and the count of one
// unique object reached through handles, typeless vectors and records at once.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "support/counting_object.h"
#include "support/objects.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::testing::Wrap;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ObjectAllocator;

constexpr int kThreads = 4;
constexpr int kRounds = 2000;

// Starts kThreads threads running body(thread index) at the same moment and waits for them.
void RunTogether(const std::function<void(int)>& body) {
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      body(t);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
  // Runs first in this program, so the records and fallback elements are still untouched.
  // Per thread: each export's record, the void record of each unique object, the fallback element.
  std::vector<std::vector<const InterfaceId*>> seen(kThreads);
  std::atomic<int> bad_fallbacks{0};
  RunTogether([&](int t) {
    for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
      auto* object = static_cast<IObject*>(allocator());
      seen[t].push_back(object->GetInterfaceId());
      if (auto* unique = dynamic_cast<IUniqueTypelessObject*>(object)) {
        seen[t].push_back(unique->GetTypeId());
      }
      if (auto* vector = dynamic_cast<const kivo::containers::IInt32VectorObject*>(object)) {
        if (vector->GetAt(0) != 0) bad_fallbacks.fetch_add(1);
      }
      object->Destroy();
    }
  });
  EXPECT_EQ(bad_fallbacks.load(), 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  for (const InterfaceId* record : seen[0]) {
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->code, kivo::utility::NameCode(record->name)) << record->name;
  }
}

TEST(Threads, HandlesToOneUniqueObjectComeAndGoOnManyThreads) {
  CountingLog log;
  auto origin = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
  const auto* unique = origin->GetConstUnique();
  // Each thread gets its own handle, typeless vector and record; the last set is common to all
  // threads, and only read.
  struct Holders {
    Handle<ISharedTypelessObject> handle;
    Handle<ITypelessVectorObject> vector;
    Handle<ICompoundObject> record;
  };
  std::vector<Holders> holders(kThreads + 1);
  for (Holders& h : holders) {
    h.handle.reset(origin->Share());
    h.vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
    h.vector->PushBack(origin->Share());
    h.record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
    ASSERT_TRUE(h.record->Set("nested/value", origin.get(), true));
  }
  origin.reset();
  const Holders& common = holders[kThreads];

  std::atomic<int> mismatches{0};
  RunTogether([&](int t) {
    for (int round = 0; round < kRounds; ++round) {
      ISharedTypelessObject* got[] = {
          holders[t].handle->Share(),
          holders[t].vector->GetAt(0),
          std::as_const(*common.vector).GetAt(0),
          holders[t].record->Get("nested/value", InterfaceIdOf<IStringObject>()),
          std::as_const(*common.record).GetConst("nested/value", nullptr),
      };
      for (ISharedTypelessObject* handle : got) {
        if (handle == nullptr || handle->GetConstUnique() != unique) mismatches.fetch_add(1);
        if (handle != nullptr) handle->Destroy();
      }
    }
  });
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(log.destroyed.load(), 0);

  // The last holders end on different threads at once: exactly one of them ends the payload.
  holders[kThreads] = {};
  RunTogether([&](int t) { holders[t] = {}; });
  EXPECT_EQ(log.destroyed.load(), 1);
}

}  // namespace
