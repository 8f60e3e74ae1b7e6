// Every operation that allocates, with its 1st, 2nd, 3rd ... heap request refused in turn: the
// exact exception, the state each operation promises, and no block left behind. (The fuzzers
// refuse the single request of a vector's append or copy and of a holder's Reset.)
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

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
using kivo::detail::Clone;
using kivo::testing::Handle;
using kivo::testing::NewText;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using Object = Handle<IObject>;
using Maker = std::function<Object()>;

struct Scene {
  Object target, operand, result;
  template <class I>
  I& Target() const {
    return dynamic_cast<I&>(*target);
  }
  ISharedTypelessObject* Value() const {
    return dynamic_cast<ISharedTypelessObject*>(operand.get());
  }
};

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

const char kLong[] = "a text long enough to need a heap block of its own";

Object Text(const char* value) {
  auto text = kivo::testing::Make<IStringObject>(&KivoStringObjectAllocator);
  text->SetString(value);
  return text;
}

// A unique object that owns payload, labelled type.
Object Unique(Object payload,
              const kivo::utility::InterfaceId* type = InterfaceIdOf<IStringObject>()) {
  auto unique =
      kivo::testing::Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(payload.release());
  unique->SetTypeId(type);
  return unique;
}

// A long text, a nested record with a key past the inline limit, records three levels deep; then
// the texts of changes set over them.
Object Record(const std::vector<std::pair<const char*, const char*>>& changes = {}) {
  std::vector<std::pair<const char*, const char*>> members = {
      {"alpha", kLong},
      {"beta/gamma", "7"},
      {"beta/a key longer than the inline limit", "8"},
      {"beta/epsilon/zeta/eta", kLong}};
  members.insert(members.end(), changes.begin(), changes.end());
  return kivo::testing::RecordOf(members);
}

// A record whose entry "beta/gamma" holds no object: the copy of its payload answered false.
Object RecordWithAnEmptyEntry() {
  static kivo::testing::CountingLog log;
  auto source = kivo::testing::NewRecord(), record = kivo::testing::NewRecord();
  source->Set(
      "beta/gamma",
      kivo::testing::Wrap(kivo::testing::CountingObject::New(log), InterfaceIdOf<IStringObject>())
          .get(),
      true);
  log.refuse_copies = true;
  record->CopyFrom(source.get());
  log.refuse_copies = false;
  return record;
}

const char kDeep[] = "first level key/beyond the inline limit/leaf";

std::vector<Case> Cases() {
  using Typeless = ITypelessVectorObject;
  using Compound = ICompoundObject;
  const auto copy = [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.operand.get())); };
  const auto clone = [](Scene& s) { s.result = Object(Clone<IObject>(*s.operand).release()); };
  const Maker old_text = [] { return NewText("old"); }, long_text = [] { return NewText(kLong); };
  const Maker seven = [] { return NewText("7"); }, record = [] { return Record(); };
  const Maker old_unique = [] { return Unique(Text("old")); };
  const Maker long_unique = [] { return Unique(Text(kLong)); };
  const Maker record_unique = [] { return Unique(Record(), InterfaceIdOf<Compound>()); };
  const Maker replaced = [] { return Record({{"beta/gamma", kLong}}); };
  const Maker deep = [] { return kivo::testing::RecordOf({{kDeep, kLong}}); };
  const Maker merged = [] { return kivo::testing::RecordOf({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker merged_into = [] { return Record({{"alpha", "old"}, {"omega", "7"}}); };
  const Maker two = [] {
    auto vector = kivo::testing::Make<Typeless>(&KivoTypelessVectorObjectAllocator);
    vector->PushBack(NewText("7").release());
    vector->PushBack(NewText(kLong).release());
    return vector;
  };
  const Maker empty_record = [] { return kivo::testing::NewRecord(); };
  std::vector<Case> cases = {
      {"TypelessVector GetAt", [](Scene& s) { s.result.reset(s.Target<Typeless>().GetAt(0)); }, two,
       nullptr, kResult, seven},
      {"TypelessVector GetAt const",
       [](Scene& s) { s.result.reset(std::as_const(s.Target<Typeless>()).GetAt(0)); }, two, nullptr,
       kResult, seven},
      {"TypelessVector CopyFrom", copy,
       [] { return kivo::testing::Make<Typeless>(&KivoTypelessVectorObjectAllocator); }, two,
       kPartial, two},
      {"StringObject SetString", [](Scene& s) { s.Target<IStringObject>().SetString(kLong); },
       [] { return Text("old"); }, nullptr, kUnchanged, [] { return Text(kLong); }},
      {"StringObject CopyFrom", copy, [] { return Text("old"); }, [] { return Text(kLong); },
       kUnchanged, [] { return Text(kLong); }},
      {"UniqueNonTrivial CopyFrom", copy, old_unique, long_unique, kUnchanged, long_unique},
      {"UniqueNonTrivial CopyFrom shared", copy, old_unique, long_text, kUnchanged, long_unique},
      {"UniqueNonTrivial CopyFrom record", copy, old_unique, record_unique, kUnchanged,
       record_unique},
      {"SharedTypeless CopyFrom", copy, old_text, long_text, kUnchanged, long_text},
      {"SharedTypeless CopyFrom unique", copy, old_text, long_unique, kUnchanged, long_text},
      {"SharedTypeless Share",
       [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); }, old_text,
       nullptr, kResult, old_text},
      {"SharedTypeless AssignValue",
       [](Scene& s) { EXPECT_TRUE(s.Target<ISharedTypelessObject>().AssignValue(s.Value())); },
       old_text, long_text, kUnchanged, long_text},
      {"Clone of a non-trivial object", clone, nullptr, long_unique, kResult, long_unique},
      {"Clone of a record", clone, nullptr, record, kResult, record},
      {"CompoundObject Set",
       [](Scene& s) { s.Target<Compound>().Set("beta/gamma", s.Value(), true); }, record, long_text,
       kUnchanged, replaced},
      {"CompoundObject Set nested",
       [](Scene& s) { s.Target<Compound>().Set(kDeep, s.Value(), false); }, empty_record, long_text,
       kPartial, deep},
      {"CompoundObject CopyFrom", copy, merged, record, kPartial, record},
      {"CompoundObject Merge",
       [](Scene& s) { s.Target<Compound>().Merge(&dynamic_cast<Compound&>(*s.operand), false); },
       merged, record, kPartial, merged_into},
      {"CompoundObject Get",
       [](Scene& s) { s.result.reset(s.Target<Compound>().Get("beta/gamma", nullptr)); }, record,
       nullptr, kResult, seven},
      {"CompoundObject GetConst of an entry without an object",
       [](Scene& s) {
         s.result.reset(std::as_const(s.Target<Compound>()).GetConst("beta/gamma", nullptr));
       },
       RecordWithAnEmptyEntry, nullptr, kResult, nullptr},
  };
  for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
    const Maker make = [function = allocator] { return kivo::testing::Make<IObject>(function); };
    cases.push_back(
        {name, [make](Scene& s) { s.result = make(); }, nullptr, nullptr, kResult, make});
    cases.push_back({std::string(name) + " NewInstance",
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); }, make, nullptr,
                     kResult, make});
  }
  return cases;
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
          Object before = c.target ? c.target() : nullptr;
          Object expected = c.expected ? c.expected() : nullptr;
          const Object& after = c.promise == kResult ? s.result : s.target;
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
