// Every operation that allocates, with its 1st, 2nd, 3rd ... heap request refused in turn: the
// exact exception, the state each operation promises, and no block left behind.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "internal/clone.h"
#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/objects.h"

namespace {

using namespace kivo::containers;  // every interface of the library
using kivo::detail::Clone;
using kivo::detail::Owned;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ObjectAllocator;

// What one try works on; the scene owns all of it. `operand` is what the operation reads when
// it differs from `source`, the value the target or result must equal on success. `offered` goes
// to an adopting operation and stays the scene's until `adopted`.
struct Scene {
  Owned<IObject> target, source, operand, result, snapshot;
  kivo::utility::ISharedInterface* offered = nullptr;
  bool adopted = false;
  ~Scene() {
    if (!adopted && offered != nullptr) offered->Destroy();
  }
  template <class I>
  I& Target() const {
    return dynamic_cast<I&>(*target);
  }
  template <class I>
  I& Source() const {
    return dynamic_cast<I&>(*source);
  }
  const IObject* Operand() const { return operand ? operand.get() : source.get(); }
};

// What an operation promises when one of its requests is refused.
enum Promise {
  kUnchanged,  // the target stays as it was; on success it equals the source, if there is one
  kResult,     // a result only on success, equal to the source if there is one; target unchanged
  kNoLeak,     // work done before the failure stays: `check` says what
};

struct Case {
  std::string name;
  std::function<void(Scene&)> prepare, operation;
  Promise promise;
  std::function<void(Scene&, bool failed)> check = [](Scene&, bool) {};
  bool allocates = true;  // an operation that must not allocate sweeps no failure
};

template <class I = IObject>
Owned<I> Make(ObjectAllocator allocator) {
  return Owned<I>(dynamic_cast<I*>(static_cast<IObject*>(allocator())));
}

const char kLong[] = "a text long enough to need a heap block of its own";

Owned<IObject> Text(const char* value) {
  auto text = Make<IStringObject>(&KivoStringObjectAllocator);
  text->SetString(value);
  return text;
}

// A unique object holding a text, or 8 bytes of value, labelled as a string.
Owned<IUniqueTypelessObject> Unique(const char* text, std::uint64_t value = 0) {
  auto unique =
      Make<IUniqueTypelessObject>(text != nullptr ? &KivoUniqueTypelessNonTrivialObjectAllocator
                                                  : &KivoUniqueTypelessTrivialObjectAllocator_8);
  if (text != nullptr) unique->SetObject(Text(text).release());
  if (text == nullptr) *static_cast<std::uint64_t*>(unique->GetData()) = value;
  unique->SetTypeId(InterfaceIdOf<IStringObject>());
  return unique;
}

Owned<ISharedTypelessObject> Shared(Owned<IUniqueTypelessObject> unique) {
  auto shared = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  shared->Reset(unique.release());
  return shared;
}

Owned<IObject> Handles(std::size_t count) {
  auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  for (std::size_t i = 0; i < count; ++i) vector->PushBack(Shared(Unique(nullptr, i)).release());
  return vector;
}

// "alpha" with a long text; unless only_alpha, a nested record "beta" with a key past the inline
// limit and records three levels deep, and an empty shared object under "delta".
Owned<ICompoundObject> Record(bool only_alpha = false) {
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  record->Set("alpha", Shared(Unique(only_alpha ? "old" : kLong)).get(), true);
  if (only_alpha) return record;
  record->Set("beta/gamma", Shared(Unique(nullptr, 7)).get(), true);
  record->Set("beta/a key longer than the inline limit", Shared(Unique(nullptr, 8)).get(), true);
  record->Set("beta/epsilon/zeta/eta", Shared(Unique(kLong)).get(), true);
  record->Set("delta", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(), true);
  return record;
}

Owned<IUniqueTypelessObject> UniqueRecord() {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(Record().release());
  unique->SetTypeId(InterfaceIdOf<ICompoundObject>());
  return unique;
}

// Whether record's member under key equals other's and, holding a value, is a copy of its own.
bool Copied(const ICompoundObject& record, const ICompoundObject& other, const std::string& key) {
  Owned<ISharedTypelessObject> mine(record.GetConst(key.c_str(), nullptr));
  Owned<ISharedTypelessObject> theirs(other.GetConst(key.c_str(), nullptr));
  return mine && theirs && mine->Equals(theirs.get()) &&
         (theirs->GetConstUnique() == nullptr ||
          mine->GetConstUnique() != theirs->GetConstUnique());
}

void CopyFrom(Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.Operand())); }

template <class T>
void AddNumericVectorCases(std::vector<Case>& cases, const char* word, ObjectAllocator make) {
  using Vector = ITypedVectorObject<T>;
  auto numbers = [make](int count) {
    auto vector = Make<Vector>(make);
    for (int i = 0; i < count; ++i) vector->PushBack(T(i));
    return Owned<IObject>(vector.release());
  };
  // Two elements in a block of two: the next append and a larger copy need a new block.
  auto prepare = [numbers](Scene& s) { s.target = numbers(2), s.source = numbers(3); };
  cases.push_back({std::string(word) + " PushBack", prepare,
                   [](Scene& s) { s.Target<Vector>().PushBack(T(2)); }, kUnchanged});
  // A larger copy releases the old block first: a failure leaves it empty and without storage.
  cases.push_back(
      {std::string(word) + " CopyFrom", prepare, &CopyFrom, kNoLeak, [](Scene& s, bool failed) {
         const auto& vector = s.Target<Vector>();
         EXPECT_TRUE(failed ? vector.GetSize() == 0 && vector.GetData() == nullptr
                            : vector.Equals(s.source.get()));
       }});
}

// A record whose "bad" entry holds no object: its member's copy answered false.
Owned<IObject> RecordWithAnEmptyEntry() {
  static kivo::testing::CountingLog log;
  auto source = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  source->Set(
      "bad",
      kivo::testing::Wrap(kivo::testing::CountingObject::New(log), InterfaceIdOf<IStringObject>())
          .get(),
      true);
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  log.refuse_copies = true;
  record->CopyFrom(source.get());
  log.refuse_copies = false;
  return record;
}

// a/a/.../a (30 records) holding x, and under "loop" a holder of the record at level 20: deeper
// than the walks scan their path, so they keep an index.
std::string Levels(int count, const char* tail) {
  std::string path;
  for (int i = 0; i < count; ++i) path += "a/";
  return path + tail;
}

Owned<IObject> DeepCycle() {
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  record->Set(Levels(30, "x").c_str(), Shared(Unique(nullptr, 1)).get(), true);
  Owned<ISharedTypelessObject> level20(record->Get(Levels(19, "a").c_str(), nullptr));
  record->Set(Levels(30, "loop").c_str(), level20.get(), true);
  return record;
}

void AddRecordCases(std::vector<Case>& cases) {
  using Compound = ICompoundObject;
  for (const bool equals : {false, true}) {  // the walks' own blocks: the records stay
    cases.push_back(
        {equals ? "CompoundObject Equals of cycles" : "CompoundObject GetTotalCount",
         [](Scene& s) { s.target = DeepCycle(), s.operand = DeepCycle(); },
         [equals](Scene& s) {
           auto& record = s.Target<Compound>();
           EXPECT_TRUE(equals ? record.Equals(s.Operand()) : record.GetTotalCount() == 32u);
         },
         kNoLeak,
         [](Scene& s, bool) {
           for (IObject* cyclic : {s.target.get(), s.operand.get()}) {
             EXPECT_TRUE(dynamic_cast<Compound&>(*cyclic).Remove(Levels(30, "loop").c_str()));
           }
         }});
  }
  static const char kDeep[] = "first level key/second level key beyond sso/leaf";
  cases.push_back({"CompoundObject Set nested path",
                   [](Scene& s) {
                     s.target = Make(&KivoCompoundObjectAllocator),
                     s.operand = Shared(Unique(kLong));
                   },
                   [](Scene& s) {
                     EXPECT_TRUE(s.Target<Compound>().Set(
                         kDeep, dynamic_cast<const ISharedTypelessObject*>(s.Operand()), false));
                   },
                   kNoLeak,
                   [](Scene& s, bool failed) {
                     // Records made before the failure stay; the value arrives only on success.
                     EXPECT_EQ(s.Target<Compound>().Contains(kDeep, nullptr), !failed);
                     EXPECT_LE(s.Target<Compound>().GetTotalCount(), failed ? 2u : 3u);
                   }});
  cases.push_back(
      {"CompoundObject Set replacing a member",
       [](Scene& s) { s.target = Record(), s.operand = Shared(Unique(kLong)); },
       [](Scene& s) {
         EXPECT_TRUE(s.Target<Compound>().Set(
             "beta/gamma", dynamic_cast<const ISharedTypelessObject*>(s.Operand()), true));
       },
       kUnchanged,
       [](Scene& s, bool failed) {
         Owned<ISharedTypelessObject> stored(s.Target<Compound>().Get("beta/gamma", nullptr));
         EXPECT_EQ(stored->GetConstUnique() ==
                       dynamic_cast<const ISharedTypelessObject&>(*s.operand).GetConstUnique(),
                   !failed);
       }});
  for (const bool overwrite : {false, true}) {
    cases.push_back(
        {overwrite ? "CompoundObject Merge overwrite" : "CompoundObject Merge",
         [](Scene& s) {
           s.target = Record(/*only_alpha=*/true);  // the source has alpha too
           s.Target<Compound>().Set("omega", Shared(Unique(nullptr, 2)).get(), true);
           // A nested record, which overwrite replaces whole.
           s.Target<Compound>().Set("beta/old", Shared(Unique(nullptr, 3)).get(), true);
           s.operand = Record();
         },
         [overwrite](Scene& s) {
           s.Target<Compound>().Merge(&dynamic_cast<const Compound&>(*s.operand), overwrite);
         },
         kNoLeak,
         [overwrite](Scene& s, bool failed) {
           // omega stays; alpha too unless overwrite replaced it; every other key is
           // either as it was or a whole copy of the source's member.
           const auto& record = s.Target<Compound>();
           const auto& old = dynamic_cast<const Compound&>(*s.snapshot);
           const auto& source = dynamic_cast<const Compound&>(*s.operand);
           for (const std::string& key : kivo::testing::KeysOf(record)) {
             const bool kept = Copied(record, old, key) || Copied(old, record, key);
             EXPECT_TRUE(kept || (key != "omega" && Copied(record, source, key))) << key;
             EXPECT_TRUE(key != "alpha" || (overwrite ? failed || !kept : kept));
           }
           EXPECT_TRUE(record.Contains("omega", nullptr));
           EXPECT_TRUE(failed || record.GetCount() == 4u);
         }});
  }
  cases.push_back({"CompoundObject CopyFrom",
                   [](Scene& s) { s.target = Record(true), s.source = Record(); }, &CopyFrom,
                   kNoLeak,
                   [](Scene& s, bool failed) {
                     // Emptied first, then filled in key order up to the failure.
                     const auto keys = kivo::testing::KeysOf(s.Target<Compound>());
                     const auto all = kivo::testing::KeysOf(s.Source<Compound>());
                     ASSERT_LE(keys.size(), all.size());
                     EXPECT_TRUE(std::equal(keys.begin(), keys.end(), all.begin()));
                     for (const std::string& key : keys) {
                       EXPECT_TRUE(Copied(s.Target<Compound>(), s.Source<Compound>(), key)) << key;
                     }
                     EXPECT_TRUE(failed || s.target->Equals(s.source.get()));
                   }});
  for (const char* key : {"beta/gamma", "bad"}) {  // "bad": an entry without an object
    for (const bool writable : {true, false}) {
      cases.push_back(
          {std::string(writable ? "CompoundObject Get " : "CompoundObject GetConst ") + key,
           [key](Scene& s) {
             s.target =
                 std::string(key) == "bad" ? RecordWithAnEmptyEntry() : Owned<IObject>(Record());
           },
           [key, writable](Scene& s) {
             auto& record = s.Target<Compound>();
             s.result.reset(writable ? record.Get(key, nullptr)
                                     : std::as_const(record).GetConst(key, nullptr));
           },
           kResult});
    }
  }
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  AddRecordCases(cases);
  for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
    const ObjectAllocator make = allocator;
    cases.push_back({name, [](Scene&) {}, [make](Scene& s) { s.result = Make(make); }, kResult});
    cases.push_back({std::string(name) + " NewInstance",
                     [make](Scene& s) {
                       s.target = Make(make), s.source = Make(make), s.snapshot = Make(make);
                     },
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); }, kResult});
    // A trivial object copies inside itself, directly or through a holder: no allocation.
    if (std::string(name).find('_') == std::string::npos) continue;
    for (const bool through_holder : {false, true}) {
      cases.push_back({std::string(name) + (through_holder ? " CopyFrom shared" : " CopyFrom"),
                       [make, through_holder](Scene& s) {
                         s.target = Make(make), s.source = Make(make);
                         s.Source<IUniqueTypelessObject>().SetTypeId(
                             InterfaceIdOf<IStringObject>());
                         *static_cast<char*>(s.Source<IUniqueTypelessObject>().GetData()) = 2;
                         if (through_holder) {
                           s.operand = Shared(Clone<IUniqueTypelessObject>(*s.source));
                         }
                       },
                       &CopyFrom, kUnchanged, [](Scene&, bool) {}, /*allocates=*/false});
    }
  }
#define KIVO_VECTOR_CASES(Type, Word, NameWord) \
  AddNumericVectorCases<Type>(cases, #Word "Vector", &Kivo##Word##VectorObjectAllocator);
  KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_VECTOR_CASES)
#undef KIVO_VECTOR_CASES

  using Typeless = ITypelessVectorObject;
  cases.push_back(
      {"TypelessVector PushBack",
       [](Scene& s) { s.target = Handles(2), s.offered = Shared(Unique(nullptr, 2)).release(); },
       [](Scene& s) {
         s.Target<Typeless>().PushBack(static_cast<ISharedTypelessObject*>(s.offered));
         s.adopted = true;  // only once it returned: a failed append leaves the item ours
       },
       kUnchanged});
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "TypelessVector GetAt" : "TypelessVector GetAt const",
                     [](Scene& s) { s.target = Handles(2); },
                     [writable](Scene& s) {
                       auto& vector = s.Target<Typeless>();
                       s.result.reset(writable ? vector.GetAt(1) : std::as_const(vector).GetAt(1));
                     },
                     kResult});
  }
  cases.push_back(
      {"TypelessVector CopyFrom", [](Scene& s) { s.target = Handles(2), s.source = Handles(3); },
       &CopyFrom, kNoLeak,
       [](Scene& s, bool failed) {
         // Its own handles went first; those appended before the failure stay, each
         // sharing the source's unique object at its index.
         const auto& vector = s.Target<Typeless>();
         ASSERT_TRUE(failed ? vector.GetSize() <= 2u : vector.GetSize() == 3u);
         for (std::int32_t i = 0; i < static_cast<std::int32_t>(vector.GetSize()); ++i) {
           EXPECT_EQ(vector.GetData()[i]->GetConstUnique(),
                     s.Source<Typeless>().GetData()[i]->GetConstUnique());
         }
       }});

  auto texts = [](Scene& s) { s.target = Text("old"), s.source = Text(kLong); };
  cases.push_back({"StringObject SetString", texts,
                   [](Scene& s) { s.Target<IStringObject>().SetString(kLong); }, kUnchanged});
  cases.push_back({"StringObject CopyFrom", texts, &CopyFrom, kUnchanged});
  for (const int from : {0, 1, 2}) {  // a unique object, the same behind a holder, a record
    auto value = [from] { return from == 2 ? UniqueRecord() : Unique(kLong); };
    cases.push_back({"UniqueNonTrivial CopyFrom " + std::to_string(from),
                     [value, from](Scene& s) {
                       s.target = Unique("old"), s.source = value();
                       if (from == 1) s.operand = Shared(Clone<IUniqueTypelessObject>(*s.source));
                     },
                     &CopyFrom, kUnchanged});
    cases.push_back({"SharedTypeless CopyFrom " + std::to_string(from),
                     [value, from](Scene& s) {
                       s.target = Shared(Unique(nullptr, 1)), s.source = Shared(value());
                       if (from != 1) s.operand = value();
                     },
                     &CopyFrom, kUnchanged});
  }
  cases.push_back({"SharedTypeless Share", [](Scene& s) { s.target = Shared(Unique("shared")); },
                   [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); },
                   kResult});
  for (const char* text : {static_cast<const char*>(nullptr), kLong}) {
    cases.push_back({text != nullptr ? "SharedTypeless Reset non-trivial" : "SharedTypeless Reset",
                     [text](Scene& s) {
                       s.target = Shared(Unique(nullptr, 1)), s.source = Shared(Unique(text, 2));
                       s.offered = Unique(text, 2).release();
                     },
                     [](Scene& s) {
                       s.adopted = true;  // the library's from the call on: a failure ends it
                       s.Target<ISharedTypelessObject>().Reset(
                           static_cast<IUniqueTypelessObject*>(s.offered));
                     },
                     kUnchanged});
  }
  cases.push_back(
      {"SharedTypeless AssignValue",
       [](Scene& s) {
         s.target = Shared(Unique("old")), s.source = Shared(Unique(kLong));
         // Another holder of the target's unique object sees what the target holds.
         s.result.reset(s.Target<ISharedTypelessObject>().Share());
       },
       [](Scene& s) {
         EXPECT_TRUE(
             s.Target<ISharedTypelessObject>().AssignValue(&s.Source<ISharedTypelessObject>()));
       },
       kUnchanged, [](Scene& s, bool) { EXPECT_TRUE(s.target->Equals(s.result.get())); }});
  for (const bool record : {false, true}) {
    cases.push_back({record ? "Clone of a record" : "Clone of a non-trivial object",
                     [record](Scene& s) {
                       s.source = record ? Owned<IObject>(Record()) : Owned<IObject>(Unique(kLong));
                     },
                     [](Scene& s) { s.result = Clone<IObject>(*s.source); }, kResult});
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
          c.prepare(*scene);
          if (scene->target && !scene->snapshot) scene->snapshot = Clone<IObject>(*scene->target);
          return scene;
        },
        [&](std::unique_ptr<Scene>& scene) { c.operation(*scene); },
        [&](std::unique_ptr<Scene>& scene, const char* what) {
          const bool failed = what != nullptr;
          Scene& s = *scene;
          EXPECT_STREQ(failed ? what : "bad allocation", "bad allocation");
          auto unchanged = [&] { return !s.target || s.target->Equals(s.snapshot.get()); };
          switch (c.promise) {
            case kUnchanged:
              EXPECT_TRUE(failed ? unchanged() : !s.source || s.target->Equals(s.source.get()));
              break;
            case kResult:
              EXPECT_EQ(s.result == nullptr, failed);
              EXPECT_TRUE(unchanged());
              EXPECT_TRUE(failed || !s.source || s.result->Equals(s.source.get()));
              break;
            case kNoLeak:
              break;
          }
          c.check(s, failed);
          scene.reset();
          EXPECT_EQ(heap.Live(), 0) << (failed ? "after a refused request" : "after success");
        });
    EXPECT_EQ(failures > 0, c.allocates) << failures << " allocation points";
  }
}

}  // namespace
