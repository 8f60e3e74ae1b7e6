// CompoundObject inside the library: exhausted memory, the map's size limit and the key lookup.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compound_object.h"
#include "support/counting_heap.h"
#include "support/objects.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::ITypelessVectorObject;
using kivo::detail::Key;
using kivo::detail::KeyLess;
using kivo::testing::CountingHeap;
using kivo::testing::Dump;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::PayloadOf;
using kivo::testing::RecordOf;
using kivo::testing::RunOnSmallStack;
using kivo::testing::SweepAllocationFailures;
using kivo::testing::Wrap;
using kivo::utility::InterfaceIdOf;

using Members = std::vector<std::pair<const char*, const char*>>;

// Stands in for a map that holds `size` of at most `max` entries.
struct SizedMap {
  std::size_t size_, max;
  std::size_t size() const { return size_; }
  std::size_t max_size() const { return max; }
};

TEST(CompoundMemory, AFullMapRefusesOneMoreEntryAsMapSetTooLong) {
  EXPECT_NO_THROW(kivo::detail::EnsureRoomForOneMore(SizedMap{1, 2}));
  try {
    kivo::detail::EnsureRoomForOneMore(SizedMap{2, 2});
    FAIL() << "no exception";
  } catch (const std::length_error& error) {
    EXPECT_STREQ(error.what(), "map/set too long");
  }
}

TEST(CompoundKeys, ASegmentViewFindsWhatACopiedKeyFindsInBytewiseOrder) {
  std::vector<std::string> keys = {"",     "a",    "ab",    "abc",   "B",      "b", "\x7f",
                                   "\x80", "\xff", "a\x7f", "a\x80", "ab\x01", "~~"};
  // Lengths on both sides of 4, 8 and 16 bytes, and past the 15 kept inside a key.
  for (const char* tail : {"d", "e", "de", "defg", "defgh", "defg\x80", "defghijklm",
                           "defghijklmno", "defghijklmnop", "defghijklmno\x80", "defghijklmnopq"}) {
    keys.push_back(std::string("abc") + tail);
  }
  std::vector<std::string> probes = {"zz", "A", "a/b", "\x80\x80", "\xfe", "aa", "abcd"};
  probes.push_back(std::string("a\0b", 3));
  probes.push_back(std::string("ab\0", 3));
  probes.push_back("abcdefghijklmnopqr");
  probes.insert(probes.end(), keys.begin(), keys.end());

  std::map<Key, std::size_t, KeyLess, kivo::detail::Allocator<std::pair<const Key, std::size_t>>>
      map;
  std::map<std::string, std::size_t> reference;  // std::string orders bytes as unsigned too
  auto record = NewRecord();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    map.emplace(Key(keys[i].data(), keys[i].size()), i);
    reference.emplace(keys[i], i);
    record->Set(keys[i].c_str(), NewText("v").get(), false);
  }
  std::vector<std::string> order, reference_order;
  for (const auto& entry : map) order.emplace_back(entry.first.data(), entry.first.size());
  for (const auto& entry : reference) reference_order.push_back(entry.first);
  EXPECT_EQ(order, reference_order);
  EXPECT_EQ(kivo::testing::KeysOf(*record), reference_order);

  for (const std::string& probe : probes) {
    SCOPED_TRACE(testing::PrintToString(probe));
    const std::string_view view(probe);
    const Key copied(probe.data(), probe.size());
    EXPECT_EQ(map.find(view), map.find(copied));
    EXPECT_EQ(map.lower_bound(view), map.lower_bound(copied));
    EXPECT_EQ(map.upper_bound(view), map.upper_bound(copied));
    const kivo::detail::KeyProbe probed(view);
    EXPECT_EQ(map.lower_bound(probed), map.lower_bound(copied));
    EXPECT_EQ(map.upper_bound(probed), map.upper_bound(copied));
    EXPECT_EQ(map.count(view), reference.count(probe));
    if (probe.find_first_of(std::string("/\0", 2)) == std::string::npos) {
      EXPECT_EQ(record->Contains(probe.c_str(), nullptr), reference.count(probe) == 1);
    }
  }
}

// The record inside the member at path; the handle keeps it alive.
ICompoundObject* RecordAt(ICompoundObject& record, const char* path,
                          Handle<ISharedTypelessObject>* handle) {
  handle->reset(record.Get(path, InterfaceIdOf<ICompoundObject>()));
  return static_cast<ICompoundObject*>(PayloadOf(handle->get()));
}

// A vector holding a text and, after it, a handle to itself.
Handle<ISharedTypelessObject> VectorHoldingItself(const char* text) {
  auto vector = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  vector->PushBack(NewText(text).release());
  ITypelessVectorObject* const inside = vector.get();
  auto handle = Wrap(vector.release(), InterfaceIdOf<ITypelessVectorObject>());
  inside->PushBack(handle->Share());
  return handle;
}

// The path a/a/.../a of `levels` segments, followed by tail.
std::string Chain(int levels, const std::string& tail) {
  std::string path;
  for (int i = 0; i < levels; ++i) path += "a/";
  return path + tail;
}

// {"a":{"a":...inner...}} with `levels` records around inner.
std::string DumpOfChain(int levels, const std::string& inner) {
  return levels == 0 ? inner : R"({"a":)" + DumpOfChain(levels - 1, inner) + "}";
}

TEST(CompoundCycles, EveryWalkEndsAndRemovingTheClosingMemberFreesEveryBlock) {
  // A shape closes on itself through the member at `closing`; `dump` is how its copy (and a merge
  // into an empty record) reads: the copy cuts the cycle with an empty value.
  struct Shape {
    const char* what;
    void (*build)(ICompoundObject&);
    std::string closing;
    std::uint32_t total;
    std::string dump;
  };
  const Shape shapes[] = {
      {"a record inside itself",
       [](ICompoundObject& r) {
         r.Set("a/x", NewText("1").get(), true);
         Handle<ISharedTypelessObject> a(r.Get("a", nullptr));
         r.Set("a/loop", a.get(), true);
       },
       "a/loop", 3, R"({"a":{"loop":-,"x":"1"}})"},
      {"two records holding each other",
       [](ICompoundObject& r) {
         r.Set("a/x", NewText("1").get(), true);
         r.Set("b/y", NewText("2").get(), true);
         Handle<ISharedTypelessObject> a(r.Get("a", nullptr)), b(r.Get("b", nullptr));
         r.Set("a/b", b.get(), true);
         r.Set("b/a", a.get(), true);
       },
       "a/b", 10, R"({"a":{"b":{"a":-,"y":"2"},"x":"1"},"b":{"a":{"b":-,"x":"1"},"y":"2"}})"},
      // Deeper than a walk scans its path: the way back is looked up in its index.
      {"the record at level 30 holding the one at level 20",
       [](ICompoundObject& r) {
         r.Set(Chain(30, "x").c_str(), NewText("1").get(), true);
         Handle<ISharedTypelessObject> level20(r.Get(Chain(19, "a").c_str(), nullptr));
         r.Set(Chain(30, "loop").c_str(), level20.get(), true);
       },
       Chain(30, "loop"), 32, DumpOfChain(30, R"({"loop":-,"x":"1"})")},
  };
  CountingHeap heap;
  const std::ptrdiff_t baseline = heap.Live();
  bool finished = false;
  auto work = [&] {
    for (const Shape& shape : shapes) {
      for (const bool by_clear : {false, true}) {
        SCOPED_TRACE(shape.what);
        auto record = NewRecord();
        auto twin = NewRecord();
        shape.build(*record);
        shape.build(*twin);
        EXPECT_EQ(record->GetTotalCount(), shape.total);
        EXPECT_TRUE(record->Equals(twin.get()));  // the pair under comparison again: equal
        auto copy = NewRecord();
        ASSERT_TRUE(copy->CopyFrom(record.get()));
        EXPECT_EQ(Dump(*copy), shape.dump);
        EXPECT_FALSE(copy->Equals(record.get()));
        auto merged = NewRecord();
        EXPECT_EQ(merged->Merge(record.get(), true), record->GetCount());
        EXPECT_TRUE(merged->Equals(copy.get()));
        for (ICompoundObject* cyclic : {record.get(), twin.get()}) {
          if (!by_clear) {
            EXPECT_TRUE(cyclic->Remove(shape.closing.c_str()));
            continue;
          }
          const std::string& closing = shape.closing;
          Handle<ISharedTypelessObject> holder;
          RecordAt(*cyclic, closing.substr(0, closing.rfind('/')).c_str(), &holder)->Clear();
        }
      }
      EXPECT_EQ(heap.Live(), baseline) << shape.what;
    }
    {
      // Cycles of different lengths, held only inside themselves on one side: A and X hold each
      // other; B holds Y, and Y and Z hold each other. Every record holds the text 1 under v.
      auto outer =
          RecordOf({{"a/s/v", "1"}, {"a/v", "1"}, {"b/s/s/v", "1"}, {"b/s/v", "1"}, {"b/v", "1"}});
      Handle<ISharedTypelessObject> handles[4];
      ICompoundObject* const a = RecordAt(*outer, "a", &handles[0]);
      ICompoundObject* const x = RecordAt(*outer, "a/s", &handles[1]);
      ICompoundObject* const b = RecordAt(*outer, "b", &handles[2]);
      ICompoundObject* const z = RecordAt(*outer, "b/s/s", &handles[3]);
      x->Set("s", handles[0].get(), true);
      Handle<ISharedTypelessObject> y(b->Get("s", nullptr));
      z->Set("s", y.get(), true);
      y.reset();
      for (auto& handle : handles) handle.reset();
      outer->Remove("a");  // A and X now hold only each other
      EXPECT_TRUE(a->Equals(b));
      EXPECT_TRUE(b->Equals(a));
      a->Remove("s");  // ends X, and with it A
      z->Remove("s");
    }
    {  // A vector holding itself equals one like it, and not one with another text.
      Handle<ISharedTypelessObject> vectors[] = {VectorHoldingItself("1"), VectorHoldingItself("1"),
                                                 VectorHoldingItself("2")};
      EXPECT_TRUE(vectors[0]->Equals(vectors[1].get()));
      EXPECT_FALSE(vectors[0]->Equals(vectors[2].get()));
      for (const auto& v : vectors)
        static_cast<ITypelessVectorObject*>(PayloadOf(v.get()))->Clear();
    }
    EXPECT_EQ(heap.Live(), baseline) << "vectors";
    finished = true;
  };
  RunOnSmallStack(work);
  EXPECT_TRUE(finished);
}

TEST(CompoundCycles, AContainerWhoseOneOwnerIsItsOwnMemberEndsCleanlyInsideTheCall) {
  // The record holds a text, a nested record and, under "self", its one owner; the vector holds a
  // text and then its one owner. Each operation ends that owner, and with it the container.
  const std::pair<const char*, void (*)(ICompoundObject&)> record_cases[] = {
      {"Clear", [](ICompoundObject& r) { r.Clear(); }},
      {"Remove", [](ICompoundObject& r) { r.Remove("self"); }},
      {"Set replacing", [](ICompoundObject& r) { r.Set("self", NewText("v").get(), true); }},
      {"Merge replacing",
       [](ICompoundObject& r) {
         r.Merge(RecordOf({{"self", "v"}}).get(), true);
       }},
      {"CopyFrom",
       [](ICompoundObject& r) {
         r.CopyFrom(RecordOf({{"b", "v"}}).get());
       }},
  };
  const std::pair<const char*, void (*)(ITypelessVectorObject&)> vector_cases[] = {
      {"RemoveAt", [](ITypelessVectorObject& v) { v.RemoveAt(1); }},
      {"Clear", [](ITypelessVectorObject& v) { v.Clear(); }},
      {"CopyFrom",  // from a vector with an element, which a dead vector must not take
       [](ITypelessVectorObject& v) {
         auto source = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
         source->PushBack(NewText("v").release());
         v.CopyFrom(source.get());
       }},
  };
  CountingHeap heap;
  const std::ptrdiff_t baseline = heap.Live();
  for (const auto& [what, operation] : record_cases) {
    ICompoundObject* record = nullptr;
    {
      auto outer = RecordOf({{"a/x", "1"}, {"a/n/y", "2"}});
      Handle<ISharedTypelessObject> handle;
      record = RecordAt(*outer, "a", &handle);
      record->Set("self", handle.get(), true);
    }
    operation(*record);
    EXPECT_EQ(heap.Live(), baseline) << what;
  }
  for (const auto& [what, operation] : vector_cases) {
    auto* vector = static_cast<ITypelessVectorObject*>(PayloadOf(VectorHoldingItself("1").get()));
    operation(*vector);
    EXPECT_EQ(heap.Live(), baseline) << "vector " << what;
  }
}

}  // namespace
