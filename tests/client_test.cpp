// The library as a separately built client sees it: type records first used on many threads,
// and exceptions crossing the module boundary both ways.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <exception>
#include <functional>
#include <stdexcept>
#include <thread>
#include <typeinfo>
#include <vector>

#include "support/counting_object.h"
#include "support/objects.h"

namespace {

using namespace kivo::containers;  // every interface of the library
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;

constexpr int kThreads = 4;

// Runs first in this program, so the records are still untouched: threads started together make
// an object of every export and read its record (and a unique object's "void" record).
TEST(Threads, FirstUseOfTheTypeRecordsFromManyThreadsAgrees) {
  std::vector<std::vector<const InterfaceId*>> seen(kThreads);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (auto& mine : seen) {
    threads.emplace_back([&] {
      for (waiting.fetch_sub(1); waiting.load() > 0;) std::this_thread::yield();
      for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
        auto object = Make<IObject>(allocator);
        mine.push_back(object->GetInterfaceId());
        if (auto* unique = dynamic_cast<IUniqueTypelessObject*>(object.get())) {
          mine.push_back(unique->GetTypeId());
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& mine : seen) EXPECT_EQ(mine, seen[0]);
  for (const InterfaceId* record : seen[0]) {
    EXPECT_EQ(record->code, kivo::utility::NameCode(record->name)) << record->name;
  }
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
