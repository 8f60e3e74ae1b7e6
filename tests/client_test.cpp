// The library as a separately built client sees it: type records first used on many threads,
// and exceptions crossing the module boundary both ways.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/objects.h"

namespace {

using namespace kivo::containers;  // every interface of the library
using namespace kivo::testing;     // the test helpers
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;

// Runs first in this program, so the records are still untouched: threads started together make
// an object of every export and read its record (and a unique object's "void" record).
TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
  std::vector<std::vector<const InterfaceId*>> seen(4);
  std::atomic<int> waiting{4};
  std::vector<std::thread> threads;
  for (auto& mine : seen) {
    threads.emplace_back([&] {
      for (waiting.fetch_sub(1); waiting.load() > 0;) std::this_thread::yield();
      for (const auto& [name, allocator] : kEveryExport) {
        auto object = Make<IObject>(allocator);
        mine.push_back(object->GetInterfaceId());
        if (auto* unique = dynamic_cast<IUniqueTypelessObject*>(object.get()))
          mine.push_back(unique->GetTypeId());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& mine : seen) EXPECT_EQ(mine, seen[0]);
  for (const InterfaceId* record : seen[0])
    EXPECT_EQ(record->code, kivo::utility::NameCode(record->name)) << record->name;
}

// Handles to one payload shared and ended on many threads at once: exactly one Destroy ends it.
TEST(Threads, HandlesToOnePayloadComeAndGoOnManyThreads) {
  CountingLog log;
  auto first = Wrap(CountingObject::New(log), InterfaceIdOf<IStringObject>());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&first] {
      for (int i = 0; i < 5000; ++i) Handle<ISharedTypelessObject>(first->Share());
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(log.Alive(), 1);
  first.reset();
  EXPECT_EQ(log.Alive(), 0);
}

// A payload that throws a client's exception when the library copies it.
struct ClientError : std::exception {};

struct ThrowingPayload final : Counted<ThrowingPayload, IObject> {
  explicit ThrowingPayload(CountingLog& log) : Counted(log) {}
  const InterfaceId* GetInterfaceId() const override { return InterfaceIdOf<IStringObject>(); }
  bool CopyFrom(const IObject*) override { throw ClientError(); }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new ThrowingPayload(*log_); }
};

TEST(CrossModuleException, ExceptionsCrossTheBoundaryBothWays) {
  // The library's arrive as the standard types with their texts. A member labelled as a nested
  // record whose payload is a string object.
  auto record = RecordOf({{"member", "t"}});
  Handle<ISharedTypelessObject> member(record->Get("member", nullptr));
  member->GetUnique()->SetTypeId(InterfaceIdOf<ICompoundObject>());
  EXPECT_EQ(ErrorText<std::bad_cast>([&] { record->GetTotalCount(); }), "bad cast");
  auto target = NewText("kept");
  auto empty = Wrap(nullptr, InterfaceIdOf<IStringObject>());
  IUniqueTypelessObject* unique = target->GetUnique();
  EXPECT_EQ(ErrorText<std::runtime_error>([&] { unique->CopyFrom(empty.get()); }),
            "Can not copy from an object that doesn't derive from utility::IObject");
  EXPECT_EQ(TextIn(target.get())->GetString(), std::string("kept"));
  EXPECT_EQ(ErrorText<std::runtime_error>([&] { unique->Equals(empty->GetUnique()); }),
            "Can not test equality of objects that don't derive from utility::IObject");
  // A client's unwinds through the library's frames, which release the half-made copy.
  CountingLog log;
  {
    auto source = Wrap(new ThrowingPayload(log), InterfaceIdOf<IStringObject>());
    auto copy = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    EXPECT_THROW(copy->CopyFrom(source.get()), ClientError);
    EXPECT_EQ(log.Alive(), 1);
    EXPECT_EQ(copy->GetData(), nullptr);
  }
  EXPECT_EQ(log.Alive(), 0);
}

}  // namespace
