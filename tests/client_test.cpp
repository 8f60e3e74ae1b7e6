// The library as a separately built client sees it: type records first used on many threads,
// one unique object reached from many threads, and exceptions crossing the module boundary.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <functional>
#include <stdexcept>
#include <thread>
#include <typeinfo>
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
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;

constexpr int kThreads = 4;

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

// Runs first in this program, so the records and fallback elements are still untouched.
TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
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
    EXPECT_EQ(record->code, kivo::utility::NameCode(record->name)) << record->name;
  }
}

// Handles, typeless vectors and records on every thread share one unique object: shares come
// and go at once, and exactly one of the last holders, ending together, ends the payload.
TEST(Threads, HoldersOfOneUniqueObjectComeAndGoOnManyThreads) {
  kivo::testing::CountingLog log;
  auto origin =
      kivo::testing::Wrap(kivo::testing::CountingObject::New(log), InterfaceIdOf<IStringObject>());
  const auto* unique = origin->GetConstUnique();
  struct Holders {
    Handle<ISharedTypelessObject> handle;
    Handle<ITypelessVectorObject> vector;
    Handle<ICompoundObject> record;
  };
  std::vector<Holders> holders(kThreads);
  for (Holders& h : holders) {
    h.handle.reset(origin->Share());
    h.vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
    h.vector->PushBack(origin->Share());
    h.record = kivo::testing::NewRecord();
    ASSERT_TRUE(h.record->Set("nested/value", origin.get(), true));
  }
  origin.reset();
  std::atomic<int> mismatches{0};
  RunTogether([&](int t) {
    for (int round = 0; round < 2000; ++round) {
      const Holders& mine = holders[t];
      ISharedTypelessObject* got[] = {
          mine.handle->Share(), mine.vector->GetAt(0), std::as_const(*mine.vector).GetAt(0),
          mine.record->Get("nested/value", InterfaceIdOf<IStringObject>()),
          std::as_const(*mine.record).GetConst("nested/value", nullptr)};
      for (ISharedTypelessObject* handle : got) {
        if (handle == nullptr || handle->GetConstUnique() != unique) mismatches.fetch_add(1);
        if (handle != nullptr) handle->Destroy();
      }
    }
  });
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(log.destroyed.load(), 0);
  RunTogether([&](int t) { holders[t] = {}; });
  EXPECT_EQ(log.destroyed.load(), 1);
}

// The library's exception from raise arrives as the standard type E and, carried out of its
// handler in a std::exception_ptr and rethrown, as std::exception; with the exact text each time.
template <class E>
void ExpectLibraryThrows(const std::function<void()>& raise, const char* text) {
  std::exception_ptr carried;
  try {
    raise();
    return ADD_FAILURE() << "nothing was thrown";
  } catch (const E& error) {
    EXPECT_STREQ(error.what(), text);
    carried = std::current_exception();
  } catch (...) {
    return ADD_FAILURE() << "not caught as " << typeid(E).name();
  }
  try {
    std::rethrow_exception(carried);
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), text);
  }
}

// A unique typeless object that owns payload and is labelled type.
Handle<IUniqueTypelessObject> MakeUnique(IObject* payload, const InterfaceId* type) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(payload);
  unique->SetTypeId(type);
  return unique;
}

TEST(CrossModuleException, LibraryExceptionsArriveAsTheStandardTypesWithTheirTexts) {
  // A member labelled as a nested record whose payload is a string object.
  auto record = kivo::testing::RecordOf({{"member", "t"}});
  Handle<ISharedTypelessObject> member(record->Get("member", nullptr));
  member->GetUnique()->SetTypeId(InterfaceIdOf<ICompoundObject>());
  ExpectLibraryThrows<std::bad_cast>([&] { record->GetTotalCount(); }, "bad cast");
  const InterfaceId* text = InterfaceIdOf<IStringObject>();
  auto target = MakeUnique(static_cast<IObject*>(KivoStringObjectAllocator()), text);
  auto* kept = target->GetData();
  auto empty = MakeUnique(nullptr, text);
  ExpectLibraryThrows<std::runtime_error>(
      [&] { target->CopyFrom(empty.get()); },
      "Can not copy from an object that doesn't derive from utility::IObject");
  EXPECT_EQ(target->GetData(), kept);
  ExpectLibraryThrows<std::runtime_error>(
      [&] { target->Equals(empty.get()); },
      "Can not test equality of objects that don't derive from utility::IObject");
}

// A client's exception thrown by its payload while the library copies it unwinds through the
// library's frames, which release the half-made copy on the way.
struct ClientError : std::exception {};

struct ThrowingPayload final : kivo::testing::Counted<ThrowingPayload, IObject> {
  explicit ThrowingPayload(kivo::testing::CountingLog& log) : Counted(log) {}
  const InterfaceId* GetInterfaceId() const override { return InterfaceIdOf<IStringObject>(); }
  bool CopyFrom(const IObject*) override { throw ClientError(); }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new ThrowingPayload(*log_); }
};

TEST(CrossModuleException, ClientExceptionUnwindsThroughTheLibraryAndFreesTheHalfMadeCopy) {
  kivo::testing::CountingLog log;
  {
    auto* payload = new ThrowingPayload(log);
    auto source = MakeUnique(payload, payload->GetInterfaceId());
    auto target = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    EXPECT_THROW(target->CopyFrom(source.get()), ClientError);
    EXPECT_EQ(log.Alive(), 1);
    EXPECT_EQ(target->GetData(), nullptr);
  }
  EXPECT_EQ(log.Alive(), 0);
}

}  // namespace
