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

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypedVectorObject;
using kivo::containers::ITypelessObject;
using kivo::containers::ITypelessVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::detail::Owned;
using kivo::testing::CountingHeap;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;

// The state one try works on. The scene owns everything in it; `offered` is an object handed to
// an adopting operation, which the scene ends only while it is still the scene's.
struct Scene {
  std::ptrdiff_t baseline = 0;  // live blocks before the scene was built
  Owned<IObject> target;
  Owned<IObject> source;
  Owned<IObject> snapshot;  // the target's value before the operation
  Owned<ISharedInterface> result;
  ISharedInterface* offered = nullptr;
  bool adopted = false;
  const void* kept = nullptr;  // an address the operation must keep (storage, held object)

  ~Scene() {
    if (offered != nullptr && !adopted) offered->Destroy();
  }

  template <class I>
  I& Target() const {
    return *dynamic_cast<I*>(target.get());
  }
  template <class I>
  I& Source() const {
    return *dynamic_cast<I*>(source.get());
  }
};

struct SweepCase {
  std::string name;
  std::function<void(Scene&)> prepare;
  std::function<void(Scene&)> operation;
  // The state after a refused request (failed) or after the operation succeeded.
  std::function<void(Scene&, bool failed)> check;
  // Operations that must not allocate at all sweep no failure.
  bool allocates = true;
};

// ---- building blocks -----------------------------------------------------------------------

template <class I>
Owned<I> Make(ObjectAllocator allocator) {
  return Owned<I>(dynamic_cast<I*>(static_cast<IObject*>(allocator())));
}

Owned<IObject> MakeObject(ObjectAllocator allocator) { return Make<IObject>(allocator); }

template <class I>
Owned<IObject> Upcast(Owned<I> object) {
  return Owned<IObject>(object.release());
}

const char kLongText[] = "a text long enough to need a heap block of its own";

Owned<IStringObject> Text(const char* value) {
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

Owned<ISharedTypelessObject> SharedText(const char* value) { return Shared(UniqueText(value)); }
Owned<ISharedTypelessObject> SharedBytes(std::uint64_t value) { return Shared(UniqueBytes(value)); }

Owned<ITypelessVectorObject> Handles(std::size_t count) {
  auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  for (std::size_t i = 0; i < count; ++i) vector->PushBack(SharedBytes(i).release());
  return vector;
}

// A record with a text under "alpha", a nested record "beta" holding "gamma" and a key long
// enough to need a heap block, and an empty shared object under "delta".
Owned<ICompoundObject> Record() {
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  record->Set("alpha", SharedText(kLongText).get(), true);
  record->Set("beta/gamma", SharedBytes(7).get(), true);
  record->Set("beta/a key longer than the inline limit", SharedBytes(8).get(), true);
  record->Set("delta", Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator).get(), true);
  return record;
}

void Snapshot(Scene& s) { s.snapshot = kivo::detail::Clone<IObject>(*s.target); }

void ExpectUnchanged(const Scene& s) {
  ASSERT_TRUE(s.snapshot);
  EXPECT_TRUE(s.target->Equals(s.snapshot.get())) << "the target changed";
}

std::vector<std::string> Keys(const ICompoundObject& record) {
  std::vector<const char*> keys(record.GetCount());
  record.GetKeys(keys.data(), static_cast<std::uint32_t>(keys.size()));
  return {keys.begin(), keys.end()};
}

// copy holds a value equal to source's in a unique object of its own (both empty included).
void ExpectCopyOf(const ISharedTypelessObject& copy, const ISharedTypelessObject& source) {
  EXPECT_TRUE(copy.Equals(&source));
  if (source.GetConstUnique() != nullptr) {
    EXPECT_NE(copy.GetConstUnique(), source.GetConstUnique()) << "shared, not copied";
  }
}

// Every member of record is a complete copy of source's member under the same key.
void ExpectMembersCopiedFrom(const ICompoundObject& record, const ICompoundObject& source) {
  for (const std::string& key : Keys(record)) {
    SCOPED_TRACE(key);
    Owned<ISharedTypelessObject> mine(record.GetConst(key.c_str(), nullptr));
    Owned<ISharedTypelessObject> theirs(source.GetConst(key.c_str(), nullptr));
    ASSERT_TRUE(mine);
    ASSERT_TRUE(theirs);
    ExpectCopyOf(*mine, *theirs);
  }
}

// ---- the cases -----------------------------------------------------------------------------

void AddExportCases(std::vector<SweepCase>& cases) {
  struct Export {
    const char* name;
    ObjectAllocator allocator;
  };
#define KIVO_EXPORT_ENTRY(name) {#name, &name},
  static const Export exports[] = {KIVO_FOR_EACH_EXPORT(KIVO_EXPORT_ENTRY)};
#undef KIVO_EXPORT_ENTRY
  for (const Export& e : exports) {
    cases.push_back({std::string(e.name), [](Scene&) {},
                     [e](Scene& s) { s.result.reset(e.allocator()); },
                     [](Scene& s, bool failed) { EXPECT_EQ(s.result == nullptr, failed); }});
    cases.push_back({std::string(e.name) + " NewInstance",
                     [e](Scene& s) { s.target = MakeObject(e.allocator); },
                     [](Scene& s) { s.result.reset(s.target->NewInstance()); },
                     [e](Scene& s, bool failed) {
                       EXPECT_EQ(s.result == nullptr, failed);
                       EXPECT_TRUE(s.target->Equals(MakeObject(e.allocator).get()));
                     }});
  }
}

template <class T>
void AddNumericVectorCases(std::vector<SweepCase>& cases, const std::string& name,
                           ObjectAllocator allocator) {
  using Vector = ITypedVectorObject<T>;
  // Two elements in a block of capacity 2: the next append and a larger copy need a new block.
  auto full = [allocator](Scene& s) {
    s.target = MakeObject(allocator);
    s.Target<Vector>().PushBack(T(1));
    s.Target<Vector>().PushBack(T(2));
    s.kept = s.Target<Vector>().GetData();
    Snapshot(s);
  };
  cases.push_back({name + " PushBack", full, [](Scene& s) { s.Target<Vector>().PushBack(T(3)); },
                   [](Scene& s, bool failed) {
                     const Vector& vector = s.Target<Vector>();
                     if (failed) {
                       ExpectUnchanged(s);
                       EXPECT_EQ(vector.GetData(), s.kept);
                     } else {
                       EXPECT_EQ(vector.GetSize(), 3u);
                       EXPECT_EQ(vector.GetAt(2), T(3));
                     }
                   }});
  cases.push_back({name + " CopyFrom",
                   [full, allocator](Scene& s) {
                     full(s);
                     s.source = MakeObject(allocator);
                     for (int i = 0; i < 5; ++i) s.Source<Vector>().PushBack(T(10 + i));
                   },
                   [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                   [](Scene& s, bool failed) {
                     const Vector& vector = s.Target<Vector>();
                     if (failed) {
                       // The old block went first: empty and without storage.
                       EXPECT_EQ(vector.GetSize(), 0u);
                       EXPECT_EQ(vector.GetData(), nullptr);
                     } else {
                       EXPECT_TRUE(vector.Equals(s.source.get()));
                     }
                   }});
}

void AddVectorCases(std::vector<SweepCase>& cases) {
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

  auto two_handles = [](Scene& s) {
    s.target = Upcast(Handles(2));
    s.kept = s.Target<ITypelessVectorObject>().GetData();
    Snapshot(s);
  };
  cases.push_back({"TypelessVector PushBack",
                   [two_handles](Scene& s) {
                     two_handles(s);
                     s.offered = SharedBytes(2).release();
                   },
                   [](Scene& s) {
                     s.Target<ITypelessVectorObject>().PushBack(
                         static_cast<ISharedTypelessObject*>(s.offered));
                     s.adopted = true;
                   },
                   [](Scene& s, bool failed) {
                     const auto& vector = s.Target<ITypelessVectorObject>();
                     if (failed) {
                       ExpectUnchanged(s);
                       EXPECT_EQ(vector.GetData(), s.kept);
                     } else {
                       EXPECT_EQ(vector.GetData()[2], s.offered);
                     }
                   }});
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "TypelessVector GetAt" : "TypelessVector GetAt const", two_handles,
                     [writable](Scene& s) {
                       auto& vector = s.Target<ITypelessVectorObject>();
                       s.result.reset(
                           writable ? vector.GetAt(1)
                                    : static_cast<const ITypelessVectorObject&>(vector).GetAt(1));
                     },
                     [](Scene& s, bool failed) {
                       ExpectUnchanged(s);
                       EXPECT_EQ(s.result == nullptr, failed);
                     }});
  }
  cases.push_back({"TypelessVector CopyFrom",
                   [two_handles](Scene& s) {
                     two_handles(s);
                     s.source = Upcast(Handles(3));
                   },
                   [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                   [](Scene& s, bool failed) {
                     const auto& vector = s.Target<ITypelessVectorObject>();
                     const auto& source = s.Source<ITypelessVectorObject>();
                     EXPECT_EQ(source.GetSize(), 3u);
                     // Its own handles went first; those appended before the failure stay, each
                     // sharing the source's unique object at the same index.
                     if (failed) {
                       ASSERT_LE(vector.GetSize(), 2u);
                     } else {
                       ASSERT_EQ(vector.GetSize(), 3u);
                     }
                     for (std::uint64_t i = 0; i < vector.GetSize(); ++i) {
                       EXPECT_NE(vector.GetData()[i], source.GetData()[i]);
                       EXPECT_EQ(vector.GetData()[i]->GetConstUnique(),
                                 source.GetData()[i]->GetConstUnique());
                     }
                   }});
}

void AddTypelessCases(std::vector<SweepCase>& cases) {
  cases.push_back({"StringObject SetString",
                   [](Scene& s) {
                     s.target = Upcast(Text("old"));
                     Snapshot(s);
                   },
                   [](Scene& s) { s.Target<IStringObject>().SetString(kLongText); },
                   [](Scene& s, bool failed) {
                     if (failed) ExpectUnchanged(s);
                     if (!failed) {
                       EXPECT_STREQ(s.Target<IStringObject>().GetString(), kLongText);
                     }
                   }});
  cases.push_back({"StringObject CopyFrom",
                   [](Scene& s) {
                     s.target = Upcast(Text("old"));
                     s.source = Upcast(Text(kLongText));
                     Snapshot(s);
                   },
                   [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                   [](Scene& s, bool failed) {
                     if (failed) ExpectUnchanged(s);
                     if (!failed) {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                   }});
  // The trivial family copies inside the object: nothing to allocate, directly or through a
  // holder.
  struct Trivial {
    const char* name;
    ObjectAllocator allocator;
  };
  static const Trivial trivial[] = {
      {"UniqueTrivial<1>", &KivoUniqueTypelessTrivialObjectAllocator_1},
      {"UniqueTrivial<2>", &KivoUniqueTypelessTrivialObjectAllocator_2},
      {"UniqueTrivial<4>", &KivoUniqueTypelessTrivialObjectAllocator_4},
      {"UniqueTrivial<8>", &KivoUniqueTypelessTrivialObjectAllocator_8},
      {"UniqueTrivial<12>", &KivoUniqueTypelessTrivialObjectAllocator_12},
      {"UniqueTrivial<16>", &KivoUniqueTypelessTrivialObjectAllocator_16},
      {"UniqueTrivial<20>", &KivoUniqueTypelessTrivialObjectAllocator_20},
      {"UniqueTrivial<24>", &KivoUniqueTypelessTrivialObjectAllocator_24},
      {"UniqueTrivial<28>", &KivoUniqueTypelessTrivialObjectAllocator_28},
      {"UniqueTrivial<32>", &KivoUniqueTypelessTrivialObjectAllocator_32},
  };
  for (const Trivial& t : trivial) {
    for (const bool from_shared : {false, true}) {
      cases.push_back({std::string(t.name) + (from_shared ? " CopyFrom shared" : " CopyFrom"),
                       [t, from_shared](Scene& s) {
                         s.target = MakeObject(t.allocator);
                         auto source = Make<IUniqueTypelessObject>(t.allocator);
                         *static_cast<unsigned char*>(source->GetData()) = 2;
                         source->SetTypeId(InterfaceIdOf<IStringObject>());
                         s.source = from_shared ? Upcast(Shared(std::move(source)))
                                                : Upcast(std::move(source));
                       },
                       [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                       [](Scene& s, bool) {
                         const auto& target = s.Target<IUniqueTypelessObject>();
                         EXPECT_EQ(*static_cast<const unsigned char*>(target.GetConstData()), 2u);
                         EXPECT_EQ(target.GetTypeId()->code, kivo::containers::kStringObjectCode);
                       },
                       /*allocates=*/false});
    }
  }
  cases.push_back({"UniqueNonTrivial CopyFrom",
                   [](Scene& s) {
                     s.target = Upcast(UniqueText("old"));
                     s.source = Upcast(UniqueText(kLongText));
                     s.kept = s.Target<IUniqueTypelessObject>().GetConstData();
                     Snapshot(s);
                   },
                   [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                   [](Scene& s, bool failed) {
                     if (failed) {
                       ExpectUnchanged(s);
                       EXPECT_EQ(s.Target<IUniqueTypelessObject>().GetConstData(), s.kept);
                     } else {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                   }});
  for (const bool from_shared : {false, true}) {
    cases.push_back({from_shared ? "SharedTypeless CopyFrom" : "SharedTypeless CopyFrom unique",
                     [from_shared](Scene& s) {
                       s.target = Upcast(SharedBytes(1));
                       s.source = from_shared ? Upcast(SharedText(kLongText))
                                              : Upcast(UniqueText(kLongText));
                       s.kept = s.Target<ISharedTypelessObject>().GetConstUnique();
                       Snapshot(s);
                     },
                     [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                     [](Scene& s, bool failed) {
                       const auto& shared = s.Target<ISharedTypelessObject>();
                       if (failed) {
                         ExpectUnchanged(s);
                         EXPECT_EQ(shared.GetConstUnique(), s.kept);
                       } else {
                         EXPECT_NE(shared.GetConstUnique(), nullptr);
                         EXPECT_NE(shared.GetConstUnique(), s.kept);
                       }
                     }});
  }
  cases.push_back({"SharedTypeless Share",
                   [](Scene& s) {
                     s.target = Upcast(SharedText("shared"));
                     s.kept = s.Target<ISharedTypelessObject>().GetConstUnique();
                   },
                   [](Scene& s) { s.result.reset(s.Target<ISharedTypelessObject>().Share()); },
                   [](Scene& s, bool failed) {
                     EXPECT_EQ(s.Target<ISharedTypelessObject>().GetConstUnique(), s.kept);
                     EXPECT_EQ(s.result == nullptr, failed);
                   }});
  for (const bool text : {false, true}) {
    cases.push_back(
        {text ? "SharedTypeless Reset non-trivial" : "SharedTypeless Reset trivial",
         [text](Scene& s) {
           s.target = Upcast(SharedBytes(1));
           s.kept = s.Target<ISharedTypelessObject>().GetConstUnique();
           s.offered = text ? UniqueText(kLongText).release() : UniqueBytes(2).release();
         },
         [](Scene& s) {
           // Offered is the library's from here on: on failure it destroys it.
           s.adopted = true;
           s.Target<ISharedTypelessObject>().Reset(static_cast<IUniqueTypelessObject*>(s.offered));
         },
         [](Scene& s, bool failed) {
           const void* held = s.Target<ISharedTypelessObject>().GetConstUnique();
           EXPECT_EQ(held, failed ? s.kept : s.offered);
         }});
  }
  cases.push_back({"SharedTypeless AssignValue",
                   [](Scene& s) {
                     s.target = Upcast(SharedText("old"));
                     s.source = Upcast(SharedText(kLongText));
                     // A second holder of the target's unique object sees whatever the target
                     // holds.
                     s.result.reset(s.Target<ISharedTypelessObject>().Share());
                     Snapshot(s);
                   },
                   [](Scene& s) {
                     EXPECT_TRUE(s.Target<ISharedTypelessObject>().AssignValue(
                         &s.Source<ISharedTypelessObject>()));
                   },
                   [](Scene& s, bool failed) {
                     if (failed) ExpectUnchanged(s);
                     if (!failed) {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                     EXPECT_TRUE(s.target->Equals(dynamic_cast<IObject*>(s.result.get())));
                   }});
  cases.push_back({"Clone of a non-trivial typeless object",
                   [](Scene& s) { s.source = Upcast(UniqueText(kLongText)); },
                   [](Scene& s) { s.target = kivo::detail::Clone<IObject>(*s.source); },
                   [](Scene& s, bool failed) {
                     EXPECT_EQ(s.target == nullptr, failed);
                     if (!failed) {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                   }});
}

void AddRecordCases(std::vector<SweepCase>& cases) {
  auto value = [](Scene& s) { s.source = Upcast(SharedText(kLongText)); };
  auto value_of = [](const Scene& s) { return &s.Source<ISharedTypelessObject>(); };

  cases.push_back(
      {"CompoundObject Set nested path",
       [value](Scene& s) {
         s.target = MakeObject(&KivoCompoundObjectAllocator);
         value(s);
       },
       [value_of](Scene& s) {
         EXPECT_TRUE(s.Target<ICompoundObject>().Set(
             "first level key/second level key beyond sso/leaf", value_of(s), false));
       },
       [](Scene& s, bool failed) {
         const auto& record = s.Target<ICompoundObject>();
         // Records made before the failure stay; the value arrives only on success.
         EXPECT_EQ(record.Contains("first level key/second level key beyond sso/leaf", nullptr),
                   !failed);
         EXPECT_LE(record.GetTotalCount(), failed ? 2u : 3u);
       }});
  cases.push_back({"CompoundObject Set replacing a member",
                   [value](Scene& s) {
                     s.target = Upcast(Record());
                     value(s);
                     Snapshot(s);
                   },
                   [value_of](Scene& s) {
                     EXPECT_TRUE(s.Target<ICompoundObject>().Set("beta/gamma", value_of(s), true));
                   },
                   [value_of](Scene& s, bool failed) {
                     if (failed) ExpectUnchanged(s);
                     Owned<ISharedTypelessObject> stored(
                         s.Target<ICompoundObject>().Get("beta/gamma", nullptr));
                     ASSERT_TRUE(stored);
                     EXPECT_EQ(stored->GetConstUnique() == value_of(s)->GetConstUnique(), !failed);
                   }});
  cases.push_back({"CompoundObject Set through a member in the way",
                   [value](Scene& s) {
                     s.target = Upcast(Record());
                     value(s);
                     Snapshot(s);
                   },
                   [value_of](Scene& s) {
                     EXPECT_TRUE(s.Target<ICompoundObject>().Set("alpha/inner", value_of(s), true));
                   },
                   [](Scene& s, bool failed) {
                     const auto& record = s.Target<ICompoundObject>();
                     EXPECT_EQ(record.Contains("alpha/inner", nullptr), !failed);
                     if (failed && !record.Contains("alpha", InterfaceIdOf<ICompoundObject>())) {
                       ExpectUnchanged(s);  // failed before the blocking member was replaced
                     }
                   }});
  for (const bool overwrite : {false, true}) {
    cases.push_back({overwrite ? "CompoundObject Merge overwrite" : "CompoundObject Merge",
                     [](Scene& s) {
                       auto target = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
                       target->Set("alpha", SharedBytes(1).get(), true);
                       target->Set("omega", SharedBytes(2).get(), true);
                       s.target = Upcast(std::move(target));
                       s.source = Upcast(Record());
                       Snapshot(s);
                     },
                     [overwrite](Scene& s) {
                       s.Target<ICompoundObject>().Merge(&s.Source<ICompoundObject>(), overwrite);
                     },
                     [overwrite](Scene& s, bool failed) {
                       const auto& record = s.Target<ICompoundObject>();
                       const auto& snapshot = dynamic_cast<const ICompoundObject&>(*s.snapshot);
                       const auto& source = s.Source<ICompoundObject>();
                       // omega is never touched; alpha keeps its old value unless overwrite
                       // replaced it with a whole copy; every other key is a whole copy of the
                       // source's member.
                       for (const std::string& key : Keys(record)) {
                         SCOPED_TRACE(key);
                         Owned<ISharedTypelessObject> mine(record.GetConst(key.c_str(), nullptr));
                         Owned<ISharedTypelessObject> old(snapshot.GetConst(key.c_str(), nullptr));
                         Owned<ISharedTypelessObject> theirs(source.GetConst(key.c_str(), nullptr));
                         ASSERT_TRUE(mine);
                         if (old && (key == "omega" || !overwrite || mine->Equals(old.get()))) {
                           EXPECT_TRUE(mine->Equals(old.get()));
                           continue;
                         }
                         ASSERT_TRUE(theirs);
                         ExpectCopyOf(*mine, *theirs);
                       }
                       EXPECT_TRUE(record.Contains("omega", nullptr));
                       if (!failed) {
                         EXPECT_EQ(record.GetCount(), 4u);
                       }
                     }});
  }
  cases.push_back({"CompoundObject CopyFrom",
                   [](Scene& s) {
                     auto target = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
                     target->Set("old", SharedBytes(1).get(), true);
                     s.target = Upcast(std::move(target));
                     s.source = Upcast(Record());
                   },
                   [](Scene& s) { EXPECT_TRUE(s.target->CopyFrom(s.source.get())); },
                   [](Scene& s, bool failed) {
                     const auto& record = s.Target<ICompoundObject>();
                     // Emptied first, then filled in key order up to the failure.
                     const std::vector<std::string> keys = Keys(record);
                     const std::vector<std::string> all = Keys(s.Source<ICompoundObject>());
                     ASSERT_LE(keys.size(), all.size());
                     EXPECT_TRUE(std::equal(keys.begin(), keys.end(), all.begin()));
                     ExpectMembersCopiedFrom(record, s.Source<ICompoundObject>());
                     if (!failed) {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                   }});
  for (const bool writable : {true, false}) {
    cases.push_back({writable ? "CompoundObject Get" : "CompoundObject GetConst",
                     [](Scene& s) {
                       s.target = Upcast(Record());
                       Snapshot(s);
                     },
                     [writable](Scene& s) {
                       auto& record = s.Target<ICompoundObject>();
                       s.result.reset(writable ? record.Get("beta/gamma", nullptr)
                                               : record.GetConst("beta/gamma", nullptr));
                     },
                     [](Scene& s, bool failed) {
                       ExpectUnchanged(s);
                       EXPECT_EQ(s.result == nullptr, failed);
                     }});
  }
  cases.push_back({"Clone of a record", [](Scene& s) { s.source = Upcast(Record()); },
                   [](Scene& s) { s.target = kivo::detail::Clone<IObject>(*s.source); },
                   [](Scene& s, bool failed) {
                     EXPECT_EQ(s.target == nullptr, failed);
                     if (!failed) {
                       EXPECT_TRUE(s.target->Equals(s.source.get()));
                     }
                   }});
}

std::vector<SweepCase> AllCases() {
  std::vector<SweepCase> cases;
  AddExportCases(cases);
  AddVectorCases(cases);
  AddTypelessCases(cases);
  AddRecordCases(cases);
  return cases;
}

TEST(AllocationFailure, EveryRequestOfEveryOperationFailsCleanly) {
  std::size_t points = 0;
  const std::vector<SweepCase> cases = AllCases();
  for (const SweepCase& c : cases) {
    SCOPED_TRACE(c.name);
    CountingHeap heap;
    const std::size_t failures = kivo::testing::SweepAllocationFailures(
        heap,
        [&] {
          auto scene = std::make_unique<Scene>();
          scene->baseline = heap.Live();
          c.prepare(*scene);
          return scene;
        },
        [&](std::unique_ptr<Scene>& scene) { c.operation(*scene); },
        [&](std::unique_ptr<Scene>& scene, const char* what) {
          const bool failed = what != nullptr;
          if (failed) {
            EXPECT_STREQ(what, "bad allocation");
          }
          c.check(*scene, failed);
          const std::ptrdiff_t baseline = scene->baseline;
          scene.reset();
          EXPECT_EQ(heap.Live(), baseline)
              << "blocks left behind after " << (failed ? "a refused request" : "success");
        });
    EXPECT_EQ(failures > 0, c.allocates) << failures << " allocation points";
    points += failures;
  }
  std::printf("[ SWEPT    ] %zu operations, %zu allocation points\n", cases.size(), points);
}

}  // namespace
