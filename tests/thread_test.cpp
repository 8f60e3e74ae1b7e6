// Threads hammering the state objects share: first use of the type records, and the count of one
// unique object reached through handles, typeless vectors and records at once.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "kivo/containers/exports.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
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

template <class I>
I* Make(ObjectAllocator allocator) {
  return dynamic_cast<I*>(static_cast<IObject*>(allocator()));
}

// A payload that counts how often it is destroyed: it must happen once, by the last holder.
class CountedPayload final : public IObject {
 public:
  explicit CountedPayload(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  void Destroy() noexcept override {
    destroyed_->fetch_add(1);
    delete this;
  }
  const InterfaceId* GetInterfaceId() const override { return InterfaceIdOf<IStringObject>(); }
  bool CopyFrom(const IObject* other) override { return other == this; }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new CountedPayload(destroyed_); }

  static void operator delete(void* block) { ::operator delete(block); }

 private:
  ~CountedPayload() = default;
  std::atomic<int>* destroyed_;
};

// A shared typeless object holding a non-trivial unique object whose payload counts its end.
ISharedTypelessObject* NewCountedValue(std::atomic<int>* destroyed) {
  auto* unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(new CountedPayload(destroyed));
  unique->SetTypeId(InterfaceIdOf<IStringObject>());
  auto* shared = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  shared->Reset(unique);
  return shared;
}

TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
  // Runs first in this program, so the records and fallback elements are still untouched.
  struct Seen {
    const InterfaceId* records[25] = {};
    const InterfaceId* void_record = nullptr;
    int fallback = -1;
  };
  static const ObjectAllocator kExports[] = {
#define KIVO_EXPORT_ENTRY(name) &name,
      KIVO_FOR_EACH_EXPORT(KIVO_EXPORT_ENTRY)
#undef KIVO_EXPORT_ENTRY
  };
  std::vector<Seen> seen(kThreads);
  RunTogether([&](int t) {
    for (std::size_t i = 0; i < std::size(kExports); ++i) {
      auto* object = static_cast<IObject*>(kExports[i]());
      seen[t].records[i] = object->GetInterfaceId();
      if (auto* unique = dynamic_cast<IUniqueTypelessObject*>(object)) {
        seen[t].void_record = unique->GetTypeId();
      }
      if (auto* vector = dynamic_cast<kivo::containers::IInt32VectorObject*>(object)) {
        seen[t].fallback =
            static_cast<const kivo::containers::IInt32VectorObject*>(vector)->GetAt(0);
      }
      object->Destroy();
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t i = 0; i < std::size(kExports); ++i) {
      EXPECT_EQ(seen[t].records[i], seen[0].records[i]);
      ASSERT_NE(seen[t].records[i], nullptr);
      EXPECT_EQ(seen[t].records[i]->code, kivo::utility::NameCode(seen[t].records[i]->name));
    }
    // The library's own void record: the same address in every thread, the void code.
    EXPECT_EQ(seen[t].void_record, seen[0].void_record);
    EXPECT_EQ(seen[t].void_record->code, kivo::containers::kVoidCode);
    EXPECT_EQ(seen[t].fallback, 0);
  }
}

TEST(Threads, HandlesToOneUniqueObjectComeAndGoOnManyThreads) {
  std::atomic<int> destroyed{0};
  ISharedTypelessObject* origin = NewCountedValue(&destroyed);
  const ITypelessObject* unique = origin->GetConstUnique();

  // Each thread gets its own handle, typeless vector and record beforehand; one vector and one
  // record are shared, and only read.
  std::vector<ISharedTypelessObject*> handles;
  std::vector<ITypelessVectorObject*> vectors;
  std::vector<ICompoundObject*> records;
  auto* common_vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  common_vector->PushBack(origin->Share());
  auto* common_record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  ASSERT_TRUE(common_record->Set("nested/value", origin, true));
  for (int t = 0; t < kThreads; ++t) {
    handles.push_back(origin->Share());
    vectors.push_back(Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator));
    vectors.back()->PushBack(origin->Share());
    records.push_back(Make<ICompoundObject>(&KivoCompoundObjectAllocator));
    ASSERT_TRUE(records.back()->Set("nested/value", origin, true));
  }
  origin->Destroy();

  std::atomic<int> mismatches{0};
  RunTogether([&](int t) {
    const auto& shared_vector = *common_vector;
    const auto& shared_record = *common_record;
    for (int round = 0; round < kRounds; ++round) {
      ISharedTypelessObject* got[] = {
          handles[t]->Share(),
          vectors[t]->GetAt(0),
          shared_vector.GetAt(0),
          records[t]->Get("nested/value", InterfaceIdOf<IStringObject>()),
          shared_record.GetConst("nested/value", nullptr),
      };
      for (ISharedTypelessObject* handle : got) {
        if (handle == nullptr || handle->GetConstUnique() != unique) mismatches.fetch_add(1);
      }
      for (ISharedTypelessObject* handle : got) {
        if (handle != nullptr) handle->Destroy();
      }
    }
  });
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(destroyed.load(), 0);

  // The last holders end on different threads at once: exactly one of them ends the payload.
  RunTogether([&](int t) {
    handles[t]->Destroy();
    vectors[t]->Destroy();
    records[t]->Destroy();
  });
  EXPECT_EQ(destroyed.load(), 0);  // the common vector and record still hold it
  common_vector->Destroy();
  common_record->Destroy();
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(Threads, TheLastOfManyConcurrentHoldersEndsTheUniqueObjectOnce) {
  for (int round = 0; round < kRounds / 10; ++round) {
    std::atomic<int> destroyed{0};
    ISharedTypelessObject* origin = NewCountedValue(&destroyed);
    std::vector<ISharedTypelessObject*> handles;
    for (int t = 0; t < kThreads; ++t) handles.push_back(origin->Share());
    origin->Destroy();
    RunTogether([&](int t) {
      // Each thread shares and ends handles of its own before letting go of the last one.
      ISharedTypelessObject* extra = handles[t]->Share();
      handles[t]->Destroy();
      extra->Destroy();
    });
    ASSERT_EQ(destroyed.load(), 1) << "round " << round;
  }
}

}  // namespace
