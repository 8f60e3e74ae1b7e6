// The typeless exports as a separately built client sees them: records, initial state, slots.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "kivo/containers/exports.h"
#include "support/slots.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::ITypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::CallSlot;
using kivo::utility::InterfaceId;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;

constexpr std::uint32_t kVoid = kivo::containers::kVoidCode;

struct TrivialExport {
  std::size_t size;
  ObjectAllocator allocate;
};

constexpr TrivialExport kTrivialExports[] = {
    {1, &KivoUniqueTypelessTrivialObjectAllocator_1},
    {2, &KivoUniqueTypelessTrivialObjectAllocator_2},
    {4, &KivoUniqueTypelessTrivialObjectAllocator_4},
    {8, &KivoUniqueTypelessTrivialObjectAllocator_8},
    {12, &KivoUniqueTypelessTrivialObjectAllocator_12},
    {16, &KivoUniqueTypelessTrivialObjectAllocator_16},
    {20, &KivoUniqueTypelessTrivialObjectAllocator_20},
    {24, &KivoUniqueTypelessTrivialObjectAllocator_24},
    {28, &KivoUniqueTypelessTrivialObjectAllocator_28},
    {32, &KivoUniqueTypelessTrivialObjectAllocator_32},
};

IUniqueTypelessObject* AsUnique(ISharedInterface* object) {
  return static_cast<IUniqueTypelessObject*>(object);
}

TEST(TypelessExports, TrivialExportsGiveNZeroBytesOnAnAlignedAddressLabelledVoid) {
  for (const TrivialExport& e : kTrivialExports) {
    SCOPED_TRACE(e.size);
    IUniqueTypelessObject* object = AsUnique(e.allocate());
    IUniqueTypelessObject* second = AsUnique(e.allocate());
    EXPECT_NE(object, second);
    EXPECT_STREQ(object->GetInterfaceId()->name, "kivo::containers::IUniqueTypelessObject");
    EXPECT_EQ(object->GetInterfaceId()->code, kivo::containers::kUniqueTypelessObjectCode);
    EXPECT_EQ(object->GetTypeId()->code, kVoid);
    const auto* bytes = static_cast<const unsigned char*>(object->GetConstData());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % 8, 0u);
    for (std::size_t i = 0; i < e.size; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_TRUE(object->Equals(second));
    object->Destroy();
    second->Destroy();
  }
}

TEST(TypelessExports, NonTrivialExportHoldsNoPayloadLabelledVoid) {
  IUniqueTypelessObject* object = AsUnique(KivoUniqueTypelessNonTrivialObjectAllocator());
  EXPECT_STREQ(object->GetInterfaceId()->name, "kivo::containers::IUniqueTypelessObject");
  EXPECT_EQ(object->GetTypeId()->code, kVoid);
  EXPECT_EQ(object->GetData(), nullptr);
  object->Destroy();
}

TEST(TypelessExports, SharedExportIsEmptyAndLabelledVoid) {
  auto* object = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  EXPECT_STREQ(object->GetInterfaceId()->name, "kivo::containers::ISharedTypelessObject");
  EXPECT_EQ(object->GetInterfaceId()->code, kivo::containers::kSharedTypelessObjectCode);
  EXPECT_EQ(object->GetTypeId()->code, kVoid);
  EXPECT_EQ(object->GetUnique(), nullptr);
  object->Destroy();
}

// Slots 5 to 10 of IUniqueTypelessObject, called by position, on a trivial object.
TEST(TypelessSlots, TrivialObjectOperationsSitAtTheirPositions) {
  const InterfaceId* string_type = kivo::utility::InterfaceIdOf<kivo::containers::IStringObject>();
  ISharedInterface* object = KivoUniqueTypelessTrivialObjectAllocator_8();
  ISharedInterface* other = KivoUniqueTypelessTrivialObjectAllocator_8();

  CallSlot<void>(object, 10, string_type);                          // SetTypeId
  EXPECT_EQ(CallSlot<const InterfaceId*>(object, 5), string_type);  // GetTypeId
  void* data = CallSlot<void*>(object, 7);                          // GetData
  EXPECT_EQ(CallSlot<const void*>(object, 8), data);                // GetConstData
  const std::uint64_t value = 0x0123456789ABCDEFu;
  std::memcpy(data, &value, sizeof(value));
  CallSlot<void>(object, 6);                                           // Clear: no effect
  CallSlot<void>(object, 9, static_cast<ISharedInterface*>(nullptr));  // SetObject: no effect
  EXPECT_EQ(std::memcmp(data, &value, sizeof(value)), 0);

  EXPECT_FALSE(CallSlot<bool>(object, 3, static_cast<const IObject*>(other)));  // Equals
  EXPECT_TRUE(CallSlot<bool>(other, 2, static_cast<const IObject*>(object)));   // CopyFrom
  EXPECT_TRUE(AsUnique(object)->Equals(AsUnique(other)));
  auto* fresh = CallSlot<IObject*>(object, 4);  // NewInstance
  EXPECT_EQ(AsUnique(fresh)->GetTypeId()->code, kVoid);
  CallSlot<void>(fresh, 0);  // Destroy
  object->Destroy();
  other->Destroy();
}

// Slots 5 to 10 of IUniqueTypelessObject on the non-trivial class, which uses Clear and
// SetObject.
TEST(TypelessSlots, NonTrivialObjectOperationsSitAtTheirPositions) {
  const InterfaceId* string_type = kivo::utility::InterfaceIdOf<kivo::containers::IStringObject>();
  ISharedInterface* object = KivoUniqueTypelessNonTrivialObjectAllocator();
  auto* text = static_cast<kivo::containers::IStringObject*>(KivoStringObjectAllocator());
  text->SetString("payload");

  CallSlot<void>(object, 9, static_cast<ISharedInterface*>(text));  // SetObject
  CallSlot<void>(object, 10, string_type);                          // SetTypeId
  EXPECT_EQ(CallSlot<void*>(object, 7), text);                      // GetData
  EXPECT_EQ(CallSlot<const void*>(object, 8), text);                // GetConstData
  EXPECT_EQ(CallSlot<const InterfaceId*>(object, 5), string_type);  // GetTypeId
  CallSlot<void>(object, 6);                                        // Clear
  EXPECT_EQ(AsUnique(object)->GetData(), nullptr);
  EXPECT_EQ(AsUnique(object)->GetTypeId()->code, kVoid);
  object->Destroy();
}

// Slots 5 to 10 of ISharedTypelessObject, called by position.
TEST(TypelessSlots, SharedObjectOperationsSitAtTheirPositions) {
  const InterfaceId* string_type = kivo::utility::InterfaceIdOf<kivo::containers::IStringObject>();
  ISharedInterface* shared = KivoSharedTypelessObjectAllocator();
  ISharedInterface* other = KivoSharedTypelessObjectAllocator();
  IUniqueTypelessObject* unique = AsUnique(KivoUniqueTypelessTrivialObjectAllocator_4());
  unique->SetTypeId(string_type);

  CallSlot<void>(shared, 9, unique);                                // Reset
  EXPECT_EQ(CallSlot<IUniqueTypelessObject*>(shared, 7), unique);   // GetUnique
  EXPECT_EQ(CallSlot<const ITypelessObject*>(shared, 8), unique);   // GetConstUnique
  EXPECT_EQ(CallSlot<const InterfaceId*>(shared, 5), string_type);  // GetTypeId
  auto* holder = CallSlot<ISharedTypelessObject*>(shared, 10);      // Share
  EXPECT_EQ(holder->GetUnique(), unique);
  EXPECT_FALSE(CallSlot<bool>(other, 6, static_cast<const ISharedTypelessObject*>(shared)));
  EXPECT_TRUE(CallSlot<bool>(shared, 6, static_cast<const ISharedTypelessObject*>(holder)));
  holder->Destroy();
  shared->Destroy();
  other->Destroy();
}

}  // namespace
