// Every operation that allocates, with its 1st, 2nd, 3rd ... heap request refused in turn: the
// exact exception, the state each operation promises, and no block left behind.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "internal/clone.h"
#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/counting_object.h"
#include "support/objects.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypedVectorObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::detail::Clone;
using kivo::detail::Owned;
using kivo::testing::CountingHeap;
using kivo::testing::KeysOf;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;

// The address of the storage or held object an operation must keep when it fails.
using Held = const void* (*)(IObject&);

// The state one try works on. The scene owns everything in it; `offered` is an object handed to
// an adopting operation, which the scene ends only while it is still the scene's.
struct Scene {
  Owned<IObject> target, source, result;
  Owned<IObject> snapshot;  // the target's value before the operation
  Held held = nullptr;
  const void* kept = nullptr;  // held(target) before the operation
  ISharedInterface* offered = nullptr;
  bool adopted = false;

  ~Scene() {
    if (offered != nullptr && !adopted) offered->Destroy();
  }
  template <class I>
  I& Target() const {
    return dynamic_cast<I&>(*target);
  }
  template <class I>
  I& Source() const {
    return dynamic_cast<I&>(*source);
  }
};

using Step = std::function<void(Scene&)>;
// Checks the state after a refused request (failed) or after the operation succeeded.
using Check = std::function<void(Scene&, bool failed)>;

struct SweepCase {
  std::string name;
  Step prepare, operation;
  Check check;
  Held held = nullptr;
  bool allocates = true;  // operations that must not allocate sweep no failure
};

// ---- building blocks -----------------------------------------------------------------------

// A new object from allocator as I; null, with the object ended, when it is not an I.
template <class I = IObject>
Owned<I> Make(ObjectAllocator allocator) {
  Owned<IObject> object(static_cast<IObject*>(allocator()));
  auto* typed = dynamic_cast<I*>(object.get());
  if (typed != nullptr) object.release();
  return Owned<I>(typed);
}

const char kLongText[] = "a text long enough to need a heap block of its own";

Owned<IObject> Text(const char* value) {
  auto text = Make<IStringObject>(&KivoStringObjectAllocator);
  text->SetString(value);
  return text;
}

Owned<IUniqueTypelessObject> UniqueText(const char* value) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(Text(value).release());
  unique->SetTypeId(InterfaceIdOf<IStringObject>());
  return unique;
}

Owned<IUniqueTypelessObject> UniqueBytes(std::uint64_t value) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
  *static_cast<std::uint64_t*>(unique->GetData()) = value;
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
  for (std::size_t i = 0; i < count; ++i) vector->PushBack(Shared(UniqueBytes(i)).release());
  return vector;
}

// A record with a long text under "alpha", a nested record "beta" holding "gamma", a key long
// enough to need a heap block and records three levels deep, and an empty shared object under
// "delta".
Owned<ICompoundObject> Record(bool full = true) {
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  record->Set("alpha", Shared(full ? UniqueText(kLongText) : UniqueBytes(1)).get(), true);
  if (!full) return record;
  record->Set("beta/gamma", Shared(UniqueBytes(7)).get(), true);
  record->Set("beta/a key longer than the inline limit", Shared(UniqueBytes(8)).get(), true);
  record->Set("beta/epsilon/zeta/eta", Shared(UniqueText(kLongText)).get(), true);
  record->Set("delta", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(), true);
  return record;
}

Owned<IUniqueTypelessObject> UniqueRecord() {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(Record().release());
  unique->SetTypeId(InterfaceIdOf<ICompoundObject>());
  return unique;
}

template <class I>
const void* DataOf(IObject& object) {
  return dynamic_cast<I&>(object).GetData();
}
const void* UniqueOf(IObject& object) {
  return dynamic_cast<ISharedTypelessObject&>(object).GetConstUnique();
}

void ExpectUnchanged(Scene& s) {
  EXPECT_TRUE(s.target->Equals(s.snapshot.get())) << "the target changed";
  EXPECT_TRUE(s.held == nullptr || s.held(*s.target) == s.kept) << "storage or held object moved";
}

void CopyFrom(Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); }

// Fails without a trace, or ends equal to the source.
void Strong(Scene& s, bool failed) {
  if (failed) return ExpectUnchanged(s);
  EXPECT_TRUE(s.target->Equals(s.source.get()));
}

// Hands out a result only on success, equal to the source when there is one; the target stays.
void Produces(Scene& s, bool failed) {
  EXPECT_EQ(s.result == nullptr, failed);
  if (s.target) ExpectUnchanged(s);
  EXPECT_TRUE(failed || !s.source || s.result->Equals(s.source.get()));
}

// record's member under key is a copy of source's, held in a unique object of its own.
void ExpectMemberCopied(const ICompoundObject& record, const ICompoundObject& source,
                        const std::string& key) {
  SCOPED_TRACE(key);
  Owned<ISharedTypelessObject> mine(record.GetConst(key.c_str(), nullptr));
  Owned<ISharedTypelessObject> theirs(source.GetConst(key.c_str(), nullptr));
  ASSERT_TRUE(mine && theirs);
  EXPECT_TRUE(mine->Equals(theirs.get()));
  if (theirs->GetConstUnique() != nullptr) {
    EXPECT_NE(mine->GetConstUnique(), theirs->GetConstUnique()) << "shared, not copied";
  }
}

// ---- the cases -----------------------------------------------------------------------------

template <class T>
void AddNumericVectorCases(std::vector<SweepCase>& cases, const std::string& name,
                           ObjectAllocator allocator) {
  using Vector = ITypedVectorObject<T>;
  auto numbers = [allocator](int count, int first) {
    auto vector = Make(allocator);
    for (int i = 0; i < count; ++i) dynamic_cast<Vector&>(*vector).PushBack(T(first + i));
    return vector;
  };
  // Two elements in a block of capacity 2: the next append and a larger copy need a new block.
  for (const bool by_reference : {false, true}) {
    cases.push_back({name + (by_reference ? " PushBack const&" : " PushBack"),
                     [numbers](Scene& s) { s.target = numbers(2, 1), s.source = numbers(3, 1); },
                     [by_reference](Scene& s) {
                       const T value(3);
                       if (by_reference) {
                         s.Target<Vector>().PushBack(value);
                       } else {
                         s.Target<Vector>().PushBack(T(3));
                       }
                     },
                     &Strong, &DataOf<Vector>});
  }
  cases.push_back({name + " CopyFrom",
                   [numbers](Scene& s) { s.target = numbers(2, 1), s.source = numbers(5, 10); },
                   &CopyFrom,
                   [](Scene& s, bool failed) {
                     if (!failed) return Strong(s, failed);
                     // The old block went first: empty and without storage.
                     EXPECT_EQ(s.Target<Vector>().GetSize(), 0u);
                     EXPECT_EQ(s.Target<Vector>().GetData(), nullptr);
                   }});
}

void AddObjectCases(std::vector<SweepCase>& cases) {
  for (const auto& [name, allocator] : kivo::testing::kEveryExport) {
    const ObjectAllocator make = allocator;
    cases.push_back({name, [](Scene&) {}, [make](Scene& s) { s.result = Make(make); }, &Produces});
    cases.push_back({std::string(name) + " NewInstance",
                     [make](Scene& s) {
                       s.target = Make(make), s.source = Make(make), s.snapshot = Make(make);
                     },
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); }, &Produces});
    // The trivial family copies inside the object, directly or through a holder: no allocation.
    if (make == &KivoUniqueTypelessNonTrivialObjectAllocator ||
        !Make<IUniqueTypelessObject>(make)) {
      continue;
    }
    for (const bool from_shared : {false, true}) {
      cases.push_back({std::string(name) + (from_shared ? " CopyFrom shared" : " CopyFrom"),
                       [make, from_shared](Scene& s) {
                         s.target = Make(make);
                         auto source = Make<IUniqueTypelessObject>(make);
                         *static_cast<unsigned char*>(source->GetData()) = 2;
                         source->SetTypeId(InterfaceIdOf<IStringObject>());
                         s.source = from_shared ? Owned<IObject>(Shared(std::move(source)))
                                                : std::move(source);
                       },
                       &CopyFrom,
                       [](Scene& s, bool) {
                         const auto& target = s.Target<IUniqueTypelessObject>();
                         EXPECT_EQ(*static_cast<const unsigned char*>(target.GetConstData()), 2u);
                         EXPECT_EQ(target.GetTypeId()->code, kivo::containers::kStringObjectCode);
                       },
                       nullptr, /*allocates=*/false});
    }
  }

  AddNumericVectorCases<signed char>(cases, "Int8Vector", &KivoInt8VectorObjectAllocator);
  AddNumericVectorCases<unsigned char>(cases, "UInt8Vector", &KivoUInt8VectorObjectAllocator);
  AddNumericVectorCases<short>(cases, "Int16Vector", &KivoInt16VectorObjectAllocator);
  AddNumericVectorCases<unsigned short>(cases, "UInt16Vector", &KivoUInt16VectorObjectAllocator);
  AddNumericVectorCases<int>(cases, "Int32Vector", &KivoInt32VectorObjectAllocator);
  AddNumericVectorCases<unsigned int>(cases, "UInt32Vector", &KivoUInt32VectorObjectAllocator);
  AddNumericVectorCases<long long>(cases, "Int64Vector", &KivoInt64VectorObjectAllocator);
  AddNumericVectorCases<unsigned long long>(cases, "UInt64Vector",
                                            &KivoUInt64VectorObjectAllocator);
  AddNumericVectorCases<float>(cases, "FloatVector", &KivoFloatVectorObjectAllocator);
  AddNumericVectorCases<double>(cases, "DoubleVector", &KivoDoubleVectorObjectAllocator);

  using Typeless = ITypelessVectorObject;
  cases.push_back({"TypelessVector PushBack",
                   [](Scene& s) {
                     s.target = Handles(2);
                     s.offered = Shared(UniqueBytes(2)).release();
                   },
                   [](Scene& s) {
                     s.Target<Typeless>().PushBack(static_cast<ISharedTypelessObject*>(s.offered));
                     s.adopted = true;
                   },
                   [](Scene& s, bool failed) {
                     if (failed) return ExpectUnchanged(s);
                     EXPECT_EQ(s.Target<Typeless>().GetData()[2], s.offered);
                   },
                   &DataOf<Typeless>});
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "TypelessVector GetAt" : "TypelessVector GetAt const",
                     [](Scene& s) { s.target = Handles(2); },
                     [writable](Scene& s) {
                       auto& vector = s.Target<Typeless>();
                       s.result.reset(writable ? vector.GetAt(1) : std::as_const(vector).GetAt(1));
                     },
                     &Produces});
  }
  cases.push_back({"TypelessVector CopyFrom",
                   [](Scene& s) { s.target = Handles(2), s.source = Handles(3); }, &CopyFrom,
                   [](Scene& s, bool failed) {
                     const auto& vector = s.Target<Typeless>();
                     const auto& source = s.Source<Typeless>();
                     // Its own handles went first; those appended before the failure stay, each
                     // sharing the source's unique object at the same index.
                     ASSERT_EQ(source.GetSize(), 3u);
                     ASSERT_TRUE(failed ? vector.GetSize() <= 2u : vector.GetSize() == 3u);
                     for (std::uint64_t i = 0; i < vector.GetSize(); ++i) {
                       EXPECT_NE(vector.GetData()[i], source.GetData()[i]);
                       EXPECT_EQ(vector.GetData()[i]->GetConstUnique(),
                                 source.GetData()[i]->GetConstUnique());
                     }
                   }});

  auto texts = [](Scene& s) { s.target = Text("old"), s.source = Text(kLongText); };
  cases.push_back({"StringObject SetString", texts,
                   [](Scene& s) { s.Target<IStringObject>().SetString(kLongText); }, &Strong});
  cases.push_back({"StringObject CopyFrom", texts, &CopyFrom, &Strong});
  const std::pair<const char*, Owned<IObject> (*)()> non_trivial_sources[] = {
      {"", [] { return Owned<IObject>(UniqueText(kLongText)); }},
      {" shared", [] { return Owned<IObject>(Shared(UniqueText(kLongText))); }},
      {" record", [] { return Owned<IObject>(UniqueRecord()); }},
  };
  for (const auto& [suffix, source] : non_trivial_sources) {
    cases.push_back(
        {std::string("UniqueNonTrivial CopyFrom") + suffix,
         [source = source](Scene& s) { s.target = UniqueText("old"), s.source = source(); },
         &CopyFrom,
         [](Scene& s, bool failed) {
           if (failed) return ExpectUnchanged(s);
           const auto* theirs = dynamic_cast<const ISharedTypelessObject*>(s.source.get());
           EXPECT_TRUE(
               s.target->Equals(theirs != nullptr ? theirs->GetConstUnique() : s.source.get()));
         },
         &DataOf<IUniqueTypelessObject>});
  }
  for (const bool from_shared : {false, true}) {
    cases.push_back({from_shared ? "SharedTypeless CopyFrom" : "SharedTypeless CopyFrom unique",
                     [from_shared](Scene& s) {
                       s.target = Shared(UniqueBytes(1));
                       s.source = from_shared ? Owned<IObject>(Shared(UniqueText(kLongText)))
                                              : UniqueText(kLongText);
                     },
                     &CopyFrom,
                     [](Scene& s, bool failed) {
                       if (failed) return ExpectUnchanged(s);
                       EXPECT_NE(UniqueOf(*s.target), nullptr);
                       EXPECT_NE(UniqueOf(*s.target), s.kept);
                     },
                     &UniqueOf});
  }
  cases.push_back({"SharedTypeless Share",
                   [](Scene& s) { s.target = Shared(UniqueText("shared")); },
                   [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); },
                   &Produces, &UniqueOf});
  for (const bool text : {false, true}) {
    cases.push_back(
        {text ? "SharedTypeless Reset non-trivial" : "SharedTypeless Reset trivial",
         [text](Scene& s) {
           s.target = Shared(UniqueBytes(1));
           s.offered = text ? UniqueText(kLongText).release() : UniqueBytes(2).release();
         },
         [](Scene& s) {
           s.adopted = true;  // the library's from here on: on failure it destroys it
           s.Target<ISharedTypelessObject>().Reset(static_cast<IUniqueTypelessObject*>(s.offered));
         },
         [](Scene& s, bool failed) { EXPECT_EQ(UniqueOf(*s.target), failed ? s.kept : s.offered); },
         &UniqueOf});
  }
  cases.push_back({"SharedTypeless AssignValue",
                   [](Scene& s) {
                     s.target = Shared(UniqueText("old"));
                     s.source = Shared(UniqueText(kLongText));
                     // A second holder of the target's unique object sees what the target holds.
                     s.result.reset(s.Target<ISharedTypelessObject>().Share());
                   },
                   [](Scene& s) {
                     EXPECT_TRUE(s.Target<ISharedTypelessObject>().AssignValue(
                         &s.Source<ISharedTypelessObject>()));
                   },
                   [](Scene& s, bool failed) {
                     Strong(s, failed);
                     EXPECT_TRUE(s.target->Equals(s.result.get()));
                   }});
  cases.push_back({"Clone of a non-trivial typeless object",
                   [](Scene& s) { s.source = UniqueText(kLongText); },
                   [](Scene& s) { s.result = Clone<IObject>(*s.source); }, &Produces});
}

// A record whose "bad" entry holds no object: its member's copy answered false.
Owned<IObject> RecordWithAnEmptyEntry() {
  static kivo::testing::CountingLog log;
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(kivo::testing::CountingObject::New(log));
  unique->SetTypeId(InterfaceIdOf<IStringObject>());
  auto source = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  source->Set("bad", Shared(std::move(unique)).get(), true);
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  log.refuse_copies = true;
  record->CopyFrom(source.get());
  log.refuse_copies = false;
  return record;
}

// a/a/.../a (30 records) holding x, and under "loop" a handle to the record at level 20: deeper
// than the walks scan their path, so they index it.
std::string Levels(int count, const char* tail) {
  std::string path;
  for (int i = 0; i < count; ++i) path += "a/";
  return path + tail;
}
const std::string kClosing = Levels(30, "loop");

Owned<IObject> DeepCycle() {
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  record->Set(Levels(30, "x").c_str(), Shared(UniqueBytes(1)).get(), true);
  Owned<ISharedTypelessObject> level20(record->Get(Levels(19, "a").c_str(), nullptr));
  record->Set(kClosing.c_str(), level20.get(), true);
  return record;
}

void AddRecordCases(std::vector<SweepCase>& cases) {
  // The walks' own blocks (stack and index) refused: the records stay as they were.
  for (const bool equals : {false, true}) {
    cases.push_back({equals ? "CompoundObject Equals of deep cycles"
                            : "CompoundObject GetTotalCount of a deep cycle",
                     [](Scene& s) { s.target = DeepCycle(), s.source = DeepCycle(); },
                     [equals](Scene& s) {
                       auto& record = s.Target<ICompoundObject>();
                       if (equals) {
                         EXPECT_TRUE(record.Equals(s.source.get()));
                       } else {
                         EXPECT_EQ(record.GetTotalCount(), 32u);
                       }
                     },
                     [](Scene& s, bool) {
                       for (IObject* cyclic : {s.target.get(), s.source.get()}) {
                         EXPECT_TRUE(
                             dynamic_cast<ICompoundObject&>(*cyclic).Remove(kClosing.c_str()));
                       }
                     }});
  }
  static const char kDeep[] = "first level key/second level key beyond sso/leaf";
  auto value = [](const Scene& s) { return &s.Source<ISharedTypelessObject>(); };
  cases.push_back(
      {"CompoundObject Set nested path",
       [](Scene& s) {
         s.target = Make(&KivoCompoundObjectAllocator);
         s.source = Shared(UniqueText(kLongText));
       },
       [value](Scene& s) { EXPECT_TRUE(s.Target<ICompoundObject>().Set(kDeep, value(s), false)); },
       [](Scene& s, bool failed) {
         // Records made before the failure stay; the value arrives only on success.
         const auto& record = s.Target<ICompoundObject>();
         EXPECT_EQ(record.Contains(kDeep, nullptr), !failed);
         EXPECT_LE(record.GetTotalCount(), failed ? 2u : 3u);
       }});
  auto into_record = [](Scene& s) {
    s.target = Record();
    s.source = Shared(UniqueText(kLongText));
  };
  cases.push_back({"CompoundObject Set replacing a member", into_record,
                   [value](Scene& s) {
                     EXPECT_TRUE(s.Target<ICompoundObject>().Set("beta/gamma", value(s), true));
                   },
                   [value](Scene& s, bool failed) {
                     if (failed) ExpectUnchanged(s);
                     Owned<ISharedTypelessObject> stored(
                         s.Target<ICompoundObject>().Get("beta/gamma", nullptr));
                     ASSERT_TRUE(stored);
                     EXPECT_EQ(stored->GetConstUnique() == value(s)->GetConstUnique(), !failed);
                   }});
  for (const bool overwrite : {false, true}) {
    cases.push_back({overwrite ? "CompoundObject Merge overwrite" : "CompoundObject Merge",
                     [](Scene& s) {
                       s.target = Record(false);  // only "alpha", which the source has too
                       s.Target<ICompoundObject>().Set("omega", Shared(UniqueBytes(2)).get(), true);
                       // A nested record, which overwrite replaces whole.
                       s.Target<ICompoundObject>().Set("beta/old", Shared(UniqueBytes(3)).get(),
                                                       true);
                       s.source = Record();
                     },
                     [overwrite](Scene& s) {
                       s.Target<ICompoundObject>().Merge(&s.Source<ICompoundObject>(), overwrite);
                     },
                     [overwrite](Scene& s, bool failed) {
                       // omega is never touched; alpha keeps its old value unless overwrite
                       // replaced it with a whole copy; every other key is a whole copy of the
                       // source's member.
                       const auto& record = s.Target<ICompoundObject>();
                       const auto& snapshot = dynamic_cast<const ICompoundObject&>(*s.snapshot);
                       for (const std::string& key : KeysOf(record)) {
                         Owned<ISharedTypelessObject> mine(record.GetConst(key.c_str(), nullptr));
                         Owned<ISharedTypelessObject> old(snapshot.GetConst(key.c_str(), nullptr));
                         if (old && (key == "omega" || !overwrite || mine->Equals(old.get()))) {
                           EXPECT_TRUE(mine->Equals(old.get())) << key;
                         } else {
                           ExpectMemberCopied(record, s.Source<ICompoundObject>(), key);
                         }
                       }
                       EXPECT_TRUE(record.Contains("omega", nullptr));
                       EXPECT_TRUE(failed || record.GetCount() == 4u);
                     }});
  }
  cases.push_back({"CompoundObject CopyFrom",
                   [](Scene& s) { s.target = Record(false), s.source = Record(); }, &CopyFrom,
                   [](Scene& s, bool failed) {
                     // Emptied first, then filled in key order up to the failure.
                     const auto& source = s.Source<ICompoundObject>();
                     const std::vector<std::string> keys = KeysOf(s.Target<ICompoundObject>());
                     const std::vector<std::string> all = KeysOf(source);
                     ASSERT_LE(keys.size(), all.size());
                     EXPECT_TRUE(std::equal(keys.begin(), keys.end(), all.begin()));
                     for (const std::string& key : keys) {
                       ExpectMemberCopied(s.Target<ICompoundObject>(), source, key);
                     }
                     EXPECT_TRUE(failed || s.target->Equals(s.source.get()));
                   }});
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "CompoundObject Get" : "CompoundObject GetConst",
                     [](Scene& s) { s.target = Record(); },
                     [writable](Scene& s) {
                       auto& record = s.Target<ICompoundObject>();
                       s.result.reset(writable
                                          ? record.Get("beta/gamma", nullptr)
                                          : std::as_const(record).GetConst("beta/gamma", nullptr));
                     },
                     &Produces});
  }
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "CompoundObject Get of an entry without an object"
                              : "CompoundObject GetConst of an entry without an object",
                     [](Scene& s) { s.target = RecordWithAnEmptyEntry(); },
                     [writable](Scene& s) {
                       auto& record = s.Target<ICompoundObject>();
                       s.result.reset(writable ? record.Get("bad", nullptr)
                                               : std::as_const(record).GetConst("bad", nullptr));
                     },
                     &Produces});
  }
  cases.push_back({"Clone of a record", [](Scene& s) { s.source = Record(); },
                   [](Scene& s) { s.result = Clone<IObject>(*s.source); }, &Produces});
}

TEST(AllocationFailure, EveryRequestOfEveryOperationFailsCleanly) {
  std::vector<SweepCase> cases;
  AddObjectCases(cases);
  AddRecordCases(cases);
  std::size_t points = 0;
  for (const SweepCase& c : cases) {
    SCOPED_TRACE(c.name);
    CountingHeap heap;
    const std::ptrdiff_t baseline = heap.Live();
    const std::size_t failures = kivo::testing::SweepAllocationFailures(
        heap,
        [&] {
          auto scene = std::make_unique<Scene>();
          c.prepare(*scene);
          if (scene->target) {
            if (!scene->snapshot) scene->snapshot = Clone<IObject>(*scene->target);
            scene->held = c.held;
            if (c.held != nullptr) scene->kept = c.held(*scene->target);
          }
          return scene;
        },
        [&](std::unique_ptr<Scene>& scene) { c.operation(*scene); },
        [&](std::unique_ptr<Scene>& scene, const char* what) {
          if (what != nullptr) {
            EXPECT_STREQ(what, "bad allocation");
          }
          c.check(*scene, what != nullptr);
          scene.reset();
          EXPECT_EQ(heap.Live(), baseline)
              << "blocks left behind after " << (what != nullptr ? "a refused request" : "success");
        });
    EXPECT_EQ(failures > 0, c.allocates) << failures << " allocation points";
    points += failures;
  }
  std::printf("[ SWEPT    ] %zu operations, %zu allocation points\n", cases.size(), points);
}

}  // namespace
