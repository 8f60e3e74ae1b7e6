// CompoundObject inside the library: exhausted memory, the map's size limit and the key lookup.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compound_object.h"
#include "compound_test_support.h"
#include "support/counting_heap.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::detail::Key;
using kivo::detail::KeyLess;
using kivo::testing::CountingHeap;
using kivo::testing::Dump;
using kivo::testing::Handle;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::RecordOf;
using kivo::testing::SweepAllocationFailures;

using Members = std::vector<std::pair<const char*, const char*>>;

struct State {
  Handle<ICompoundObject> record;
  Handle<ICompoundObject> source;
  Handle<ISharedTypelessObject> value;
};

// Sweeps a failing heap request through operation. After each try the record must be in one of
// `states` (printed with Dump), never moving back to an earlier one from one try to the next, and
// in the last after the try that succeeds; once everything is destroyed no block is left.
template <class Prepare, class Operation>
void ExpectPartialProgressWithoutLeaks(Prepare prepare, Operation operation,
                                       const std::vector<std::string>& states) {
  CountingHeap heap;
  const std::ptrdiff_t baseline = heap.Live();
  std::size_t reached = 0;
  const std::size_t failed_tries =
      SweepAllocationFailures(heap, prepare, operation, [&](State& state, const char* what) {
        if (what != nullptr) {
          EXPECT_STREQ(what, "bad allocation");
        }
        const std::string dump = Dump(*state.record);
        const auto at = std::find(states.begin(), states.end(), dump);
        ASSERT_NE(at, states.end()) << dump;
        const auto index = static_cast<std::size_t>(at - states.begin());
        EXPECT_GE(index, reached) << dump;
        reached = index;
        if (what == nullptr) {
          EXPECT_EQ(index, states.size() - 1);
        }
        state = State{};
        EXPECT_EQ(heap.Live(), baseline);
      });
  EXPECT_GE(failed_tries, states.size() - 1);
}

TEST(CompoundMemory, SetKeepsTheRecordsItMadeBeforeMemoryRanOut) {
  ExpectPartialProgressWithoutLeaks(
      [] {
        return State{NewRecord(), nullptr, NewText("v")};
      },
      [](State& state) { state.record->Set("a/b/c", state.value.get(), false); },
      {"{}", R"({"a":{}})", R"({"a":{"b":{}}})", R"({"a":{"b":{"c":"v"}}})"});
}

TEST(CompoundMemory, SetReplacesABlockingMemberOnlyOnceItsRecordIsMade) {
  ExpectPartialProgressWithoutLeaks(
      [] {
        return State{RecordOf({{"x", "old"}}), nullptr, NewText("v")};
      },
      [](State& state) { state.record->Set("x/y", state.value.get(), true); },
      {R"({"x":"old"})", R"({"x":{}})", R"({"x":{"y":"v"}})"});
}

TEST(CompoundMemory, MergeKeepsTheMembersEnteredBeforeMemoryRanOut) {
  ExpectPartialProgressWithoutLeaks(
      [] {
        return State{RecordOf({{"a", "1"}, {"c", "old"}}),
                     RecordOf({{"b", "2"}, {"c/d", "3"}, {"e", "4"}}), nullptr};
      },
      [](State& state) { state.record->Merge(state.source.get(), true); },
      {R"({"a":"1","c":"old"})", R"({"a":"1","b":"2","c":"old"})",
       R"({"a":"1","b":"2","c":{"d":"3"}})", R"({"a":"1","b":"2","c":{"d":"3"},"e":"4"})"});
}

TEST(CompoundMemory, CopyFromHoldsOnlyTheMembersCopiedBeforeMemoryRanOut) {
  ExpectPartialProgressWithoutLeaks(
      [] {
        return State{RecordOf({{"z", "old"}}), RecordOf({{"a", "1"}, {"b/c", "2"}, {"d", "3"}}),
                     nullptr};
      },
      [](State& state) { state.record->CopyFrom(state.source.get()); },
      {"{}", R"({"a":"1"})", R"({"a":"1","b":{"c":"2"}})", R"({"a":"1","b":{"c":"2"},"d":"3"})"});
}

// An allocator whose containers hold at most two elements.
template <class T>
struct TwoAtMost {
  using value_type = T;
  TwoAtMost() = default;
  template <class U>
  TwoAtMost(const TwoAtMost<U>&) {}  // NOLINT(google-explicit-constructor)
  T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
  void deallocate(T* block, std::size_t count) { std::allocator<T>().deallocate(block, count); }
  std::size_t max_size() const { return 2; }
  template <class U>
  bool operator==(const TwoAtMost<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const TwoAtMost<U>&) const {
    return false;
  }
};

TEST(CompoundMemory, AFullMapRefusesOneMoreEntryAsMapSetTooLong) {
  std::map<int, int, std::less<>, TwoAtMost<std::pair<const int, int>>> map;
  ASSERT_EQ(map.max_size(), 2u);
  kivo::detail::EnsureRoomForOneMore(map);
  map.emplace(1, 1);
  kivo::detail::EnsureRoomForOneMore(map);
  map.emplace(2, 2);
  try {
    kivo::detail::EnsureRoomForOneMore(map);
    FAIL() << "no exception";
  } catch (const std::length_error& error) {
    EXPECT_STREQ(error.what(), "map/set too long");
  }
}

TEST(CompoundKeys, ASegmentViewFindsWhatACopiedKeyFinds) {
  const std::vector<std::string> keys = {
      "", "a", "ab", "abc", "B", "b", "\x7f", "\x80", "\xff", "a\x7f", "a\x80", "ab\x01", "~~",
  };
  std::vector<std::string> probes = keys;
  for (const char* extra : {"zz", "A", "a/b", "\x80\x80", "\xfe", "aa", "abcd"}) {
    probes.push_back(extra);
  }
  probes.push_back(std::string("a\0b", 3));

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
    EXPECT_EQ(map.count(view), reference.count(probe));
    if (probe.find('/') == std::string::npos && probe.find('\0') == std::string::npos) {
      EXPECT_EQ(record->Contains(probe.c_str(), nullptr), reference.count(probe) == 1);
    }
  }
}

}  // namespace
