// CompoundObject paths as a client sees them: Set, Contains, Get and Remove through nested
// records, key order and the key listing.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "compound_test_support.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::testing::Dump;
using kivo::testing::Handle;
using kivo::testing::KeysOf;
using kivo::testing::NewRecord;
using kivo::testing::NewText;
using kivo::testing::RecordOf;
using kivo::testing::TextAt;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;

using Members = std::vector<std::pair<const char*, const char*>>;

struct SetCase {
  const char* what;
  Members before;
  const char* path;
  bool overwrite;
  bool answer;
  const char* after;  // Dump of the record afterwards; the value set is the text v
};

TEST(CompoundPath, SetWalksCreatesAndOverwritesAsThePathSays) {
  const SetCase cases[] = {
      {"empty path is the empty key", {}, "", false, true, R"({"":"v"})"},
      {"one key", {}, "a", false, true, R"({"a":"v"})"},
      {"two keys make the nested record", {}, "a/b", false, true, R"({"a":{"b":"v"}})"},
      {"depth four", {}, "a/b/c/d", false, true, R"({"a":{"b":{"c":{"d":"v"}}}})"},
      {"trailing slash is the empty key inside", {}, "a/", false, true, R"({"a":{"":"v"}})"},
      {"leading slash", {}, "/a", true, false, "{}"},
      {"lone slash", {}, "/", true, false, "{}"},
      {"double slash keeps the record made before it", {}, "x//y", true, false, R"({"x":{}})"},
      {"double slash deeper", {}, "x/y//z", false, false, R"({"x":{"y":{}}})"},
      {"existing key, overwrite clear", {{"a", "old"}}, "a", false, false, R"({"a":"old"})"},
      {"existing key, overwrite set", {{"a", "old"}}, "a", true, true, R"({"a":"v"})"},
      {"through a text, overwrite clear", {{"x", "old"}}, "x/y", false, false, R"({"x":"old"})"},
      {"through a text, overwrite set", {{"x", "old"}}, "x/y", true, true, R"({"x":{"y":"v"}})"},
      {"through a text, then a double slash", {{"x", "old"}}, "x//y", true, false, R"({"x":{}})"},
      {"into an existing record",
       {{"a/b", "old"}},
       "a/c",
       false,
       true,
       R"({"a":{"b":"old","c":"v"}})"},
      {"existing nested key, overwrite clear",
       {{"a/b", "old"}},
       "a/b",
       false,
       false,
       R"({"a":{"b":"old"}})"},
      {"existing nested key, overwrite set",
       {{"a/b", "old"}, {"a/c", "keep"}},
       "a/b",
       true,
       true,
       R"({"a":{"b":"v","c":"keep"}})"},
      {"a record replaced whole by a value", {{"a/b", "old"}}, "a", true, true, R"({"a":"v"})"},
      {"a record kept whole", {{"a/b", "old"}}, "a", false, false, R"({"a":{"b":"old"}})"},
      {"siblings untouched",
       {{"m", "1"}, {"z", "2"}},
       "n/o",
       false,
       true,
       R"({"m":"1","n":{"o":"v"},"z":"2"})"},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto record = RecordOf(c.before);
    EXPECT_EQ(record->Set(c.path, NewText("v").get(), c.overwrite), c.answer);
    EXPECT_EQ(Dump(*record), c.after);
  }
}

TEST(CompoundPath, SetWithNullPathOrValueAnswersFalseAndChangesNothing) {
  auto record = RecordOf({{"a", "1"}});
  EXPECT_FALSE(record->Set(nullptr, NewText("v").get(), true));
  EXPECT_FALSE(record->Set("b/c", nullptr, true));
  EXPECT_EQ(Dump(*record), R"({"a":"1"})");
}

struct LookupCase {
  const char* path;
  const InterfaceId* type;
  bool found;
};

TEST(CompoundPath, ContainsAndGetFindMembersByPathAndTypeCode) {
  // A record of its own, whose code is the string object's under another name and address.
  static constexpr InterfaceId kTextAlias{"alias of the string record",
                                          kivo::containers::kStringObjectCode};
  const InterfaceId* text = InterfaceIdOf<IStringObject>();
  const InterfaceId* record_type = InterfaceIdOf<ICompoundObject>();
  const LookupCase cases[] = {
      {"a/b", nullptr, true},
      {"a/b", text, true},
      {"a/b", &kTextAlias, true},
      {"a/b", record_type, false},
      {"a/b", kivo::utility::VoidInterfaceId(), false},
      {"a", record_type, true},
      {"a", text, false},
      {"a/", text, true},
      {"", nullptr, true},
      {"s", text, true},
      {"/a", nullptr, false},
      {"a//b", nullptr, false},
      {"a/b/", nullptr, false},
      {"s/x", nullptr, false},
      {"missing/b", nullptr, false},
      {"A/b", nullptr, false},
      {"b", nullptr, false},
  };
  auto record = RecordOf({{"a/b", "ab"}, {"a/", "a-empty"}, {"s", "s"}, {"", "root"}});
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << '"' << c.path << "\" as " << (c.type != nullptr ? c.type->name : "any type"));
    EXPECT_EQ(record->Contains(c.path, c.type), c.found);
    Handle<ISharedTypelessObject> got(record->Get(c.path, c.type));
    Handle<ISharedTypelessObject> got_const(
        static_cast<const ICompoundObject&>(*record).GetConst(c.path, c.type));
    EXPECT_EQ(got != nullptr, c.found);
    EXPECT_EQ(got_const != nullptr, c.found);
    if (got != nullptr && got_const != nullptr) {
      EXPECT_TRUE(got->Equals(got_const.get()));
    }
  }
  EXPECT_EQ(TextAt(*record, "a/b"), "ab");
  EXPECT_EQ(TextAt(*record, "a/"), "a-empty");
  EXPECT_EQ(TextAt(*record, ""), "root");
  EXPECT_FALSE(record->Contains(nullptr, nullptr));
  EXPECT_EQ(record->Get(nullptr, nullptr), nullptr);
  EXPECT_EQ(record->GetConst(nullptr, nullptr), nullptr);
}

struct RemoveCase {
  const char* path;
  bool answer;
  const char* after;
};

TEST(CompoundPath, RemoveEndsOnlyTheMemberThePathNames) {
  const RemoveCase cases[] = {
      {"a/b", true, R"({"a":{"c":"2"},"d":"3"})"},
      {"a", true, R"({"d":"3"})"},
      {"d", true, R"({"a":{"b":"1","c":"2"}})"},
      {"x", false, R"({"a":{"b":"1","c":"2"},"d":"3"})"},
      {"a/x", false, R"({"a":{"b":"1","c":"2"},"d":"3"})"},
      {"/a", false, R"({"a":{"b":"1","c":"2"},"d":"3"})"},
      {"a/b/c", false, R"({"a":{"b":"1","c":"2"},"d":"3"})"},
      {"", false, R"({"a":{"b":"1","c":"2"},"d":"3"})"},
  };
  for (const RemoveCase& c : cases) {
    SCOPED_TRACE(c.path);
    auto record = RecordOf({{"a/b", "1"}, {"a/c", "2"}, {"d", "3"}});
    EXPECT_EQ(record->Remove(c.path), c.answer);
    EXPECT_EQ(Dump(*record), c.after);
  }
  auto record = RecordOf({{"a", "1"}});
  EXPECT_FALSE(record->Remove(nullptr));
  EXPECT_EQ(record->GetCount(), 1u);
}

TEST(CompoundPath, KeysComeInBytewiseUnsignedOrderShorterFirst) {
  auto record = NewRecord();
  for (const char* key : {"ab", "a", "B", "b", "\x80", "", "a\x01", "\xff", "~"}) {
    ASSERT_TRUE(record->Set(key, NewText(key).get(), false));
  }
  const std::vector<std::string> expected = {"", "B", "a", "a\x01", "ab", "b", "~", "\x80", "\xff"};
  EXPECT_EQ(KeysOf(*record), expected);
  for (const std::string& key : expected) EXPECT_EQ(TextAt(*record, key.c_str()), key);
}

TEST(CompoundPath, GetKeysWritesAtMostCapacityPointersIntoTheRecord) {
  auto record = RecordOf({{"c", "3"}, {"a", "1"}, {"a key longer than the inline text", "2"}});
  const char* const kUntouched = "untouched";
  const char* keys[5] = {kUntouched, kUntouched, kUntouched, kUntouched, kUntouched};

  record->GetKeys(keys, 0);
  EXPECT_EQ(keys[0], kUntouched);

  record->GetKeys(keys, 2);
  EXPECT_STREQ(keys[0], "a");
  EXPECT_STREQ(keys[1], "a key longer than the inline text");
  EXPECT_EQ(keys[2], kUntouched);

  record->GetKeys(keys, 5);
  EXPECT_STREQ(keys[2], "c");
  EXPECT_EQ(keys[3], kUntouched);

  // The pointers stay put while other members come and go.
  const char* long_key = keys[1];
  record->Set("b", NewText("new").get(), true);
  record->Remove("c");
  const char* again[3] = {};
  record->GetKeys(again, 3);
  EXPECT_EQ(again[1], long_key);
  EXPECT_STREQ(again[2], "b");

  record->GetKeys(nullptr, 5);  // writes nothing, and does not fail
}

}  // namespace
