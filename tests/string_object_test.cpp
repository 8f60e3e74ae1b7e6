// StringObject: its text, storage rules, copies, comparisons and behaviour when memory runs out.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kivo/containers/exports.h"
#include "string_object.h"
#include "support/counting_heap.h"
#include "support/error_text.h"

namespace {

using kivo::testing::ErrorText;

using kivo::containers::StringObject;
using kivo::testing::CountingHeap;

// An owned string object seen as the concrete class, for its capacity.
struct Text {
  StringObject* object = static_cast<StringObject*>(
      static_cast<kivo::containers::IStringObject*>(KivoStringObjectAllocator()));
  explicit Text(const char* value = "") { object->SetString(value); }
  ~Text() { object->Destroy(); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  StringObject* operator->() const { return object; }
  std::string value() const { return {object->GetString(), object->GetLength()}; }
};

TEST(StringObject, NewObjectHoldsTheEmptyTextInline) {
  Text text;
  EXPECT_EQ(text->GetLength(), 0u);
  ASSERT_NE(text->GetString(), nullptr);
  EXPECT_EQ(text->GetString()[0], '\0');
  EXPECT_EQ(text->GetCapacity(), 15u);
}

struct SetStringCase {
  std::size_t length;
  std::uint64_t capacity;    // after SetString
  std::size_t heap_request;  // bytes asked of the heap, 0 when inline
};

TEST(StringObject, SetStringSizesFreshStorageToLengthOr15) {
  const SetStringCase cases[] = {
      {0, 15, 0},   {1, 15, 0},   {15, 15, 0},     {16, 31, 32},
      {31, 31, 32}, {32, 47, 48}, {100, 111, 112},
  };
  for (const SetStringCase& c : cases) {
    SCOPED_TRACE(c.length);
    CountingHeap heap;
    Text text;
    heap.ResetSizes();
    const std::string value(c.length, 'x');
    text->SetString(value.c_str());
    EXPECT_EQ(text.value(), value);
    EXPECT_EQ(text->GetCapacity(), c.capacity);
    const std::vector<std::size_t> expected =
        c.heap_request == 0 ? std::vector<std::size_t>{} : std::vector{c.heap_request};
    EXPECT_EQ(heap.Sizes(), expected);
  }
}

TEST(StringObject, SetStringAllocatesAFreshBlockEvenWhenTheOldOneFits) {
  CountingHeap heap;
  Text text(std::string(40, 'a').c_str());
  const std::size_t before = heap.Allocations();
  text->SetString(std::string(20, 'b').c_str());
  EXPECT_EQ(heap.Allocations(), before + 1);
  EXPECT_EQ(text->GetCapacity(), 31u);
  text->SetString("short");
  EXPECT_EQ(text->GetCapacity(), 15u);
  EXPECT_EQ(heap.Live(), 1);  // only the object: the heap block went back
}

TEST(StringObject, SetStringFromItsOwnTextKeepsTheText) {
  for (const std::size_t length : {5u, 15u, 16u, 70u}) {
    const std::string value(length, 'q');
    Text text(value.c_str());
    text->SetString(text->GetString());
    EXPECT_EQ(text.value(), value);
    text->SetString(text->GetString() + 1);  // a suffix of itself
    EXPECT_EQ(text.value(), value.substr(1));
  }
}

TEST(StringObject, SetStringStopsAtTheFirstNul) {
  const char buffer[] = {'a', 'b', '\0', 'c', 'd', '\0'};
  Text text(buffer);
  EXPECT_EQ(text->GetLength(), 2u);
  EXPECT_STREQ(text->GetString(), "ab");
}

TEST(StringObject, SetStringOfNullIsTheEmptyText) {
  Text text("something longer than fifteen bytes");
  text->SetString(nullptr);
  EXPECT_EQ(text->GetLength(), 0u);
  EXPECT_STREQ(text->GetString(), "");
}

struct CopyCase {
  std::size_t target_length;  // set with SetString first
  std::size_t source_length;
  std::uint64_t capacity;  // after CopyFrom
  bool allocates;
};

TEST(StringObject, CopyFromReusesStorageThatFitsAndOtherwiseGrowsByHalf) {
  const CopyCase cases[] = {
      {0, 15, 15, false},                       // fits inline
      {0, 16, 31, true},                        // max(16 | 15, 15 + 7)
      {40, 10, 47, false},                      // a heap block never moves back inline
      {40, 47, 47, false}, {40, 48, 70, true},  // max(48 | 15 = 63, 47 + 23 = 70)
      {40, 90, 95, true},                       // max(95, 70)
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.target_length << " <- " << c.source_length);
    CountingHeap heap;
    Text target(std::string(c.target_length, 't').c_str());
    Text source(std::string(c.source_length, 's').c_str());
    const std::size_t before = heap.Allocations();
    const char* old_storage = target->GetString();
    ASSERT_TRUE(target->CopyFrom(source.object));
    EXPECT_EQ(target.value(), source.value());
    EXPECT_EQ(target->GetCapacity(), c.capacity);
    EXPECT_EQ(heap.Allocations() - before, c.allocates ? 1u : 0u);
    if (!c.allocates) {
      EXPECT_EQ(target->GetString(), old_storage);
    }
    EXPECT_TRUE(target->Equals(source.object));
  }
}

TEST(StringObject, CopyFromItselfNullOrAnotherClassChangesNothing) {
  Text text("keep me");
  EXPECT_TRUE(text->CopyFrom(text.object));
  EXPECT_FALSE(text->CopyFrom(nullptr));
  // A foreign class: the object frame itself does not count as a string object.
  struct NotAString : kivo::utility::IObject {
    void Destroy() noexcept override {}
    const kivo::utility::InterfaceId* GetInterfaceId() const override {
      return kivo::utility::InterfaceIdOf<kivo::containers::IStringObject>();
    }
    bool CopyFrom(const IObject*) override { return false; }
    bool Equals(const IObject*) const override { return false; }
    IObject* NewInstance() const override { return nullptr; }
  } impostor;
  EXPECT_FALSE(text->CopyFrom(&impostor));
  EXPECT_FALSE(text->Equals(&impostor));
  EXPECT_EQ(text.value(), "keep me");
}

struct EqualsCase {
  const char* a;
  const char* b;
  bool equal;
};

TEST(StringObject, EqualsComparesLengthAndEveryByte) {
  const EqualsCase cases[] = {
      {"", "", true},
      {"abc", "abc", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"Abc", "abc", false},
      {"a long text past the inline limit", "a long text past the inline limit", true},
      {"a long text past the inline limiT", "a long text past the inline limit", false},
  };
  for (const EqualsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.a << "\" vs \"" << c.b << '"');
    Text a(c.a), b(c.b);
    EXPECT_EQ(a->Equals(b.object), c.equal);
    EXPECT_EQ(b->Equals(a.object), c.equal);
    EXPECT_TRUE(a->Equals(a.object));
  }
  Text a("x");
  EXPECT_FALSE(a->Equals(nullptr));
}

TEST(StringObject, NewInstanceIsEmptyAndLeavesTheSource) {
  Text text("source text");
  auto* fresh = static_cast<StringObject*>(text->NewInstance());
  EXPECT_EQ(fresh->GetLength(), 0u);
  EXPECT_EQ(fresh->GetInterfaceId(), text->GetInterfaceId());
  EXPECT_EQ(text.value(), "source text");
  Text empty;
  EXPECT_TRUE(fresh->Equals(empty.object));
  fresh->Destroy();
}

}  // namespace
