// The object frame as a separately built client sees it: records, slots and deletion.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "kivo/containers/exports.h"
#include "support/slots.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypedVectorObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::CallSlot;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::NameCode;

// The fold written out a second way: XOR each byte and its index into a 32-bit word at byte
// position i % 4.
std::uint32_t ReferenceCode(const std::string& name) {
  std::uint32_t code = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    const std::uint32_t byte = i < name.size() ? static_cast<unsigned char>(name[i]) : 0u;
    code ^= ((byte ^ static_cast<std::uint32_t>(i)) & 0xFFu) << (8 * (i % 4));
  }
  return code;
}

struct RecordCase {
  const InterfaceId* record;
  const char* name;
  std::uint32_t code;
};

TEST(InterfaceId, EveryRecordCarriesItsNameAndTheFoldOfIt) {
  const RecordCase cases[] = {
      {InterfaceIdOf<IStringObject>(), "kivo::containers::IStringObject", 0x4D30261D},
      {InterfaceIdOf<ITypedVectorObject<signed char>>(), "kivo::containers::IInt8VectorObject",
       0x23376257},
      {InterfaceIdOf<ITypedVectorObject<unsigned char>>(), "kivo::containers::IInt8VectorObject",
       0x23376257},
      {InterfaceIdOf<ITypedVectorObject<short>>(), "kivo::containers::IInt16VectorObject",
       0x24135F52},
      {InterfaceIdOf<ITypedVectorObject<unsigned short>>(), "kivo::containers::IUInt16VectorObject",
       0x126B4172},
      {InterfaceIdOf<ITypedVectorObject<int>>(), "kivo::containers::IInt32VectorObject",
       0x20115F52},
      {InterfaceIdOf<ITypedVectorObject<unsigned int>>(), "kivo::containers::IUInt32VectorObject",
       0x106B4176},
      {InterfaceIdOf<ITypedVectorObject<long long>>(), "kivo::containers::IInt64VectorObject",
       0x26145F52},
      {InterfaceIdOf<ITypedVectorObject<unsigned long long>>(),
       "kivo::containers::IUInt64VectorObject", 0x156B4170},
      {InterfaceIdOf<ITypedVectorObject<float>>(), "kivo::containers::IFloatVectorObject",
       0x69434450},
      {InterfaceIdOf<ITypedVectorObject<double>>(), "kivo::containers::IDoubleVectorObject",
       0x5E7D5A07},
      {InterfaceIdOf<ITypedVectorObject<ISharedTypelessObject>>(),
       "kivo::containers::ITypelessVectorObject", 0x753F3001},
      {InterfaceIdOf<ISharedTypelessObject>(), "kivo::containers::ISharedTypelessObject",
       0x41330910},
      {InterfaceIdOf<IUniqueTypelessObject>(), "kivo::containers::IUniqueTypelessObject",
       0x57300117},
      {InterfaceIdOf<ICompoundObject>(), "kivo::containers::ICompoundObject", 0x1A3E3047},
      {kivo::utility::VoidInterfaceId(), "void", 0x676B6E72},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(c.record->name, c.name);
    EXPECT_EQ(c.record->code, c.code);
    EXPECT_EQ(ReferenceCode(c.name), c.code);
  }
}

TEST(InterfaceId, FoldMatchesTheWorkedExamples) {
  EXPECT_EQ(NameCode("abc"), 0x03616361u);
  EXPECT_EQ(NameCode(""), 0u);
  EXPECT_EQ(NameCode("void"), 0x676B6E72u);
  for (const char* name : {"a", "ab", "abcd", "abcde", "kivo::x::y"}) {
    EXPECT_EQ(NameCode(name), ReferenceCode(name)) << name;
  }
}

TEST(InterfaceId, OneRecordPerTypeEvenWhereNamesAgree) {
  EXPECT_EQ(InterfaceIdOf<IStringObject>(), InterfaceIdOf<IStringObject>());
  EXPECT_NE(InterfaceIdOf<ITypedVectorObject<signed char>>(),
            InterfaceIdOf<ITypedVectorObject<unsigned char>>());
}

IStringObject* NewString() { return static_cast<IStringObject*>(KivoStringObjectAllocator()); }

// Slots of IObject and IStringObject, called by position as a foreign client does.
TEST(StringObjectSlots, EachOperationSitsAtItsPosition) {
  IStringObject* text = NewString();
  IStringObject* other = NewString();

  CallSlot<void>(text, 6, "slot six");                                        // SetString
  EXPECT_STREQ(CallSlot<const char*>(text, 7), "slot six");                   // GetString
  EXPECT_EQ(CallSlot<std::uint64_t>(text, 5), 8u);                            // GetLength
  EXPECT_EQ(CallSlot<const InterfaceId*>(text, 1)->code, 0x4D30261Du);        // GetInterfaceId
  EXPECT_FALSE(CallSlot<bool>(text, 3, static_cast<const IObject*>(other)));  // Equals
  EXPECT_TRUE(CallSlot<bool>(other, 2, static_cast<const IObject*>(text)));   // CopyFrom
  EXPECT_STREQ(other->GetString(), "slot six");

  auto* fresh = CallSlot<IObject*>(text, 4);  // NewInstance
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(static_cast<IStringObject*>(fresh)->GetLength(), 0u);
  CallSlot<void>(fresh, 0);  // Destroy

  text->Destroy();
  other->Destroy();
}

TEST(StringObjectSlots, ExportReturnsDistinctObjectsWithTheStringRecord) {
  IStringObject* a = NewString();
  IStringObject* b = NewString();
  EXPECT_NE(a, b);
  EXPECT_EQ(a->GetInterfaceId(), b->GetInterfaceId());
  EXPECT_STREQ(a->GetInterfaceId()->name, "kivo::containers::IStringObject");
  EXPECT_EQ(a->GetInterfaceId()->code, InterfaceIdOf<IStringObject>()->code);
  a->Destroy();
  b->Destroy();
}

}  // namespace
