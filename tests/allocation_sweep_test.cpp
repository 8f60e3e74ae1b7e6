// Every operation that allocates, with its 1st, 2nd, 3rd ... heap request refused in turn: the
// exact exception, the state each operation promises, and no block left behind. (The fuzzers
// refuse the single request of a vector's append or copy and of a holder's Reset.)
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "internal/clone.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/objects.h"

namespace {

using namespace kivo::containers;  // every interface of the library
using kivo::detail::Owned;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;

struct Scene {
  Owned<IObject> target, operand, result;
  template <class I>
  I& Target() const {
    return dynamic_cast<I&>(*target);
  }
  ISharedTypelessObject* Value() const {
    return dynamic_cast<ISharedTypelessObject*>(operand.get());
  }
};
using Maker = std::function<Owned<IObject>()>;

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

Owned<IObject> Make(kivo::utility::ObjectAllocator allocator) {
  return Owned<IObject>(static_cast<IObject*>(allocator()));
}

const char kLong[] = "a text long enough to need a heap block of its own";

Owned<IObject> Text(const char* value) {
  auto text = Make(&KivoStringObjectAllocator);
  dynamic_cast<IStringObject&>(*text).SetString(value);
  return text;
}

// A unique object holding payload, or without one 8 bytes of value, labelled type.
Owned<IObject> Unique(Owned<IObject> payload, std::uint64_t value = 0,
                      const kivo::utility::InterfaceId* type = InterfaceIdOf<IStringObject>()) {
  auto object = Make(payload ? &KivoUniqueTypelessNonTrivialObjectAllocator
                             : &KivoUniqueTypelessTrivialObjectAllocator_8);
  auto& unique = dynamic_cast<IUniqueTypelessObject&>(*object);
  if (payload) {
    unique.SetObject(payload.release());
  } else {
    *static_cast<std::uint64_t*>(unique.GetData()) = value;
  }
  unique.SetTypeId(type);
  return object;
}

Owned<IObject> Shared(Owned<IObject> unique) {
  auto shared = Make(&KivoSharedTypelessObjectAllocator);
  dynamic_cast<ISharedTypelessObject&>(*shared).Reset(
      static_cast<IUniqueTypelessObject*>(unique.release()));
  return shared;
}

// record, a new one by default, with a value made by each (path, maker) set into it.
Owned<IObject> RecordOf(const std::vector<std::pair<const char*, Maker>>& members,
                        Owned<IObject> record = Make(&KivoCompoundObjectAllocator)) {
  for (const auto& [path, value] : members) {
    dynamic_cast<ICompoundObject&>(*record).Set(
        path, dynamic_cast<ISharedTypelessObject*>(value().get()), true);
  }
  return record;
}

const Maker kLongText = [] { return Shared(Unique(Text(kLong))); };
const Maker kOldText = [] { return Shared(Unique(Text("old"))); };
const Maker kNumber = [] { return Shared(Unique(nullptr, 7)); };

// A long text, a nested record with a key past the inline limit and records three levels deep,
// and an empty shared object.
Owned<IObject> Record() {
  return RecordOf({{"alpha", kLongText},
                   {"beta/gamma", kNumber},
                   {"beta/a key longer than the inline limit", kNumber},
                   {"beta/epsilon/zeta/eta", kLongText},
                   {"delta", [] { return Make(&KivoSharedTypelessObjectAllocator); }}});
}

// A record whose entry "beta/gamma" holds no object: the copy of its payload answered false.
Owned<IObject> RecordWithAnEmptyEntry() {
  static kivo::testing::CountingLog log;
  auto source =
      RecordOf({{"beta/gamma", [] {
                   return Shared(Unique(Owned<IObject>(kivo::testing::CountingObject::New(log))));
                 }}});
  auto record = Make(&KivoCompoundObjectAllocator);
  log.refuse_copies = true;
  record->CopyFrom(source.get());
  log.refuse_copies = false;
  return record;
}

std::vector<Case> Cases() {
  const auto copy = [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.operand.get())); };
  const auto clone = [](Scene& s) { s.result = kivo::detail::Clone<IObject>(*s.operand); };
  std::vector<Case> cases;
  for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
    const Maker make = [function = allocator] { return Make(function); };
    cases.push_back(
        {name, [make](Scene& s) { s.result = make(); }, nullptr, nullptr, kResult, make});
    cases.push_back({std::string(name) + " NewInstance",
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); }, make, nullptr,
                     kResult, make});
  }
  using Typeless = ITypelessVectorObject;
  using Compound = ICompoundObject;
  const Maker empty_record = [] { return Make(&KivoCompoundObjectAllocator); };
  const Maker two = [] {
    auto vector = Make(&KivoTypelessVectorObjectAllocator);
    for (std::uint64_t i : {7, 8}) {
      dynamic_cast<Typeless&>(*vector).PushBack(
          static_cast<ISharedTypelessObject*>(Shared(Unique(nullptr, i)).release()));
    }
    return vector;
  };
  const Maker old_unique = [] { return Unique(Text("old")); };
  const Maker long_unique = [] { return Unique(Text(kLong)); };
  const Maker record_unique = [] { return Unique(Record(), 0, InterfaceIdOf<Compound>()); };
  const Maker deep = [] {
    return RecordOf({{"first level key/beyond the inline limit/leaf", kLongText}});
  };
  const Maker merged = [] { return RecordOf({{"omega", kNumber}, {"alpha", kOldText}}); };
  return {
      {"TypelessVector GetAt", [](Scene& s) { s.result.reset(s.Target<Typeless>().GetAt(0)); }, two,
       nullptr, kResult, kNumber},
      {"TypelessVector GetAt const",
       [](Scene& s) { s.result.reset(std::as_const(s.Target<Typeless>()).GetAt(0)); }, two, nullptr,
       kResult, kNumber},
      {"TypelessVector CopyFrom", copy, [] { return Make(&KivoTypelessVectorObjectAllocator); },
       two, kPartial, two},
      {"StringObject SetString", [](Scene& s) { s.Target<IStringObject>().SetString(kLong); },
       [] { return Text("old"); }, nullptr, kUnchanged, [] { return Text(kLong); }},
      {"StringObject CopyFrom", copy, [] { return Text("old"); }, [] { return Text(kLong); },
       kUnchanged, [] { return Text(kLong); }},
      {"UniqueNonTrivial CopyFrom", copy, old_unique, long_unique, kUnchanged, long_unique},
      {"UniqueNonTrivial CopyFrom shared", copy, old_unique, kLongText, kUnchanged, long_unique},
      {"UniqueNonTrivial CopyFrom record", copy, old_unique, record_unique, kUnchanged,
       record_unique},
      {"SharedTypeless CopyFrom", copy, kOldText, kLongText, kUnchanged, kLongText},
      {"SharedTypeless CopyFrom unique", copy, kOldText, record_unique, kUnchanged,
       [=] { return Shared(record_unique()); }},
      {"SharedTypeless Share",
       [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); }, kOldText,
       nullptr, kResult, kOldText},
      {"SharedTypeless AssignValue",
       [](Scene& s) { EXPECT_TRUE(s.Target<ISharedTypelessObject>().AssignValue(s.Value())); },
       kOldText, kLongText, kUnchanged, kLongText},
      {"Clone of a non-trivial object", clone, nullptr, long_unique, kResult, long_unique},
      {"Clone of a record", clone, nullptr, Record, kResult, Record},
      {"CompoundObject Set",
       [](Scene& s) { s.Target<Compound>().Set("beta/gamma", s.Value(), true); }, Record, kLongText,
       kUnchanged,
       [] {
         return RecordOf({{"beta/gamma", kLongText}}, Record());
       }},
      {"CompoundObject Set nested",
       [](Scene& s) {
         s.Target<Compound>().Set("first level key/beyond the inline limit/leaf", s.Value(), false);
       },
       empty_record, kLongText, kPartial, deep},
      {"CompoundObject CopyFrom", copy, merged, Record, kPartial, Record},
      {"CompoundObject Merge",
       [](Scene& s) { s.Target<Compound>().Merge(&dynamic_cast<Compound&>(*s.operand), false); },
       merged, Record, kPartial,
       [] {
         return RecordOf({{"alpha", kOldText}, {"omega", kNumber}}, Record());
       }},
      {"CompoundObject Get",
       [](Scene& s) { s.result.reset(s.Target<Compound>().Get("beta/gamma", nullptr)); }, Record,
       nullptr, kResult, kNumber},
      {"CompoundObject GetConst of an entry without an object",
       [](Scene& s) {
         s.result.reset(std::as_const(s.Target<Compound>()).GetConst("beta/gamma", nullptr));
       },
       RecordWithAnEmptyEntry, nullptr, kResult, nullptr},
  };
}

TEST(AllocationFailure, EveryRequestOfEveryOperationFailsCleanly) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    kivo::testing::CountingHeap heap;
    const std::size_t failures = kivo::testing::SweepAllocationFailures(
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
          Owned<IObject> before = c.target ? c.target() : nullptr;
          Owned<IObject> expected = c.expected ? c.expected() : nullptr;
          const Owned<IObject>& after = c.promise == kResult ? s.result : s.target;
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
