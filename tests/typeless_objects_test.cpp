// The unique typeless objects: N inline bytes for every N, and one owned payload object.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_object.h"
#include "support/error_text.h"
#include "support/slots.h"
#include "typeless_objects.h"

namespace {

using kivo::testing::ErrorText;

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::detail::Owned;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::ObjectAllocator;
using kivo::utility::VoidInterfaceId;
using Others = std::initializer_list<const IObject*>;

const InterfaceId* const kTextType = InterfaceIdOf<IStringObject>();
constexpr InterfaceId kLookalike{"another name, the string's code",
                                 kivo::containers::kStringObjectCode};
constexpr InterfaceId kCountingType{"counting", kivo::utility::NameCode("counting")};

Owned<IUniqueTypelessObject> Unique(ObjectAllocator allocate) {
  return Owned<IUniqueTypelessObject>(static_cast<IUniqueTypelessObject*>(allocate()));
}

// A new non-trivial object holding payload, labelled type.
Owned<IUniqueTypelessObject> Holding(ISharedInterface* payload, const InterfaceId* type) {
  auto object = Unique(&KivoUniqueTypelessNonTrivialObjectAllocator);
  object->SetObject(payload);
  object->SetTypeId(type);
  return object;
}

// A new shared object that holds unique.
Owned<ISharedTypelessObject> Shared(IUniqueTypelessObject* unique) {
  Owned<ISharedTypelessObject> shared(
      static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator()));
  shared->Reset(unique);
  return shared;
}

const struct {
  std::size_t size;
  ObjectAllocator allocate;
} kTrivialExports[] = {
#define KIVO_TRIVIAL_ENTRY(N) {N, &KivoUniqueTypelessTrivialObjectAllocator_##N},
    KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_TRIVIAL_ENTRY)
#undef KIVO_TRIVIAL_ENTRY
};

template <std::size_t N>
using Size = std::integral_constant<std::size_t, N>;

template <class SizeConstant>
class TrivialTypelessObject : public ::testing::Test {
 protected:
  static constexpr std::size_t N = SizeConstant::value;
  using Class = kivo::containers::UniqueTypelessTrivialObject<N>;

  // A new object of this suite's N from its export.
  static Owned<IUniqueTypelessObject> New() {
    for (const auto& e : kTrivialExports) {
      if (e.size == N) return Unique(e.allocate);
    }
    return nullptr;
  }
  // A new object holding bytes first, first + 1, ..., labelled type.
  static Owned<IUniqueTypelessObject> Filled(const InterfaceId* type = kTextType, int first = 1) {
    auto object = New();
    auto* bytes = static_cast<unsigned char*>(object->GetData());
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<unsigned char>(first + i);
    object->SetTypeId(type);
    return object;
  }
  static std::vector<unsigned char> Bytes(const IUniqueTypelessObject& object) {
    const auto* bytes = static_cast<const unsigned char*>(object.GetConstData());
    return {bytes, bytes + N};
  }
};

struct SizeNames {
  template <class SizeConstant>
  static std::string GetName(int) {
    return "N" + std::to_string(SizeConstant::value);
  }
};
template <class... Sizes>
::testing::Types<Sizes...> GtestTypes(Size<0>, Sizes...);
#define KIVO_TRIVIAL_SIZE(N) \
  , Size<N> {}
using Sizes = decltype(GtestTypes(Size<0> {} KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_TRIVIAL_SIZE)));
#undef KIVO_TRIVIAL_SIZE
TYPED_TEST_SUITE(TrivialTypelessObject, Sizes, SizeNames);

TYPED_TEST(TrivialTypelessObject,
           ExportAndNewInstanceGiveNZeroBytesOnAnAlignedAddressLabelledVoid) {
  auto made = TestFixture::New();
  Owned<IObject> fresh(TestFixture::Filled()->NewInstance());
  auto* fresh_unique = dynamic_cast<typename TestFixture::Class*>(fresh.get());
  ASSERT_NE(fresh_unique, nullptr);
  for (const IUniqueTypelessObject* object :
       std::initializer_list<const IUniqueTypelessObject*>{made.get(), fresh_unique}) {
    EXPECT_EQ(object->GetInterfaceId(), InterfaceIdOf<IUniqueTypelessObject>());
    EXPECT_EQ(object->GetTypeId(), VoidInterfaceId());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(object->GetConstData()) % 8, 0u);
    EXPECT_EQ(TestFixture::Bytes(*object), std::vector<unsigned char>(TestFixture::N, 0));
  }
  EXPECT_TRUE(made->Equals(fresh.get()));
}

TYPED_TEST(TrivialTypelessObject, CopyFromLooksThroughASharedObjectButEqualsDoesNot) {
  auto shared = Shared(TestFixture::Filled(kTextType, 9).release());
  auto target = TestFixture::Filled();
  ASSERT_TRUE(target->CopyFrom(shared.get()));
  EXPECT_TRUE(target->Equals(shared->GetUnique()));
  EXPECT_FALSE(target->Equals(shared.get()));
  // A shared object that holds this very object copies nothing and still succeeds.
  EXPECT_TRUE(shared->GetUnique()->CopyFrom(shared.get()));
  EXPECT_TRUE(target->Equals(shared->GetUnique()));
}

TYPED_TEST(TrivialTypelessObject, ClearAndSetObjectLeaveTheObjectAsItWas) {
  CountingLog log;
  auto* payload = CountingObject::New(log);
  {
    auto object = TestFixture::Filled();
    void* const data = object->GetData();
    object->Clear();
    object->SetObject(payload);
    EXPECT_TRUE(object->Equals(TestFixture::Filled().get()));
    EXPECT_EQ(object->GetData(), data);
    EXPECT_EQ(object->GetConstData(), data);
  }
  EXPECT_EQ(log.destroyed, 0);  // SetObject did not take the payload over
  payload->Destroy();
}

// A payload that is no IObject: the library can hold it but neither copy nor compare it.
struct BareInterface final : ISharedInterface {
  void Destroy() noexcept override { delete this; }
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }
};

TEST(NonTrivialTypelessObject, ExportAndNewInstanceHoldNoPayloadLabelledVoid) {
  auto made = Unique(&KivoUniqueTypelessNonTrivialObjectAllocator);
  EXPECT_EQ(made->GetInterfaceId(), InterfaceIdOf<IUniqueTypelessObject>());
  EXPECT_EQ(made->GetData(), nullptr);
  EXPECT_EQ(made->GetConstData(), nullptr);
  EXPECT_EQ(made->GetTypeId(), VoidInterfaceId());
  CountingLog log;
  Owned<IObject> fresh(Holding(CountingObject::New(log), kTextType)->NewInstance());
  EXPECT_NE(dynamic_cast<kivo::containers::UniqueTypelessNonTrivialObject*>(fresh.get()), nullptr);
  EXPECT_TRUE(made->Equals(fresh.get()));
}

TEST(NonTrivialTypelessObject, CopyFromAPayloadThatIsNoObjectThrowsAndChangesNothing) {
  CountingLog log;
  auto no_payload = Holding(nullptr, kTextType);
  auto bare_payload = Holding(new BareInterface, kTextType);
  auto shared = Shared(Holding(nullptr, kTextType).release());
  auto target = Holding(CountingObject::New(log, 3), &kCountingType);
  const void* const payload = target->GetData();
  for (const IObject* source : Others{no_payload.get(), bare_payload.get(), shared.get()}) {
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { target->CopyFrom(source); }),
              "Can not copy from an object that doesn't derive from utility::IObject");
    EXPECT_EQ(target->GetData(), payload);
    EXPECT_EQ(target->GetTypeId(), &kCountingType);
  }
  EXPECT_EQ(log.destroyed, 0);
}

TEST(NonTrivialTypelessObject, CopyFromKeepsThePayloadWhenItsCopyFails) {
  CountingLog log;
  auto source = Holding(CountingObject::New(log, 1), &kCountingType);
  CountingObject* kept = CountingObject::New(log, 2);
  auto target = Holding(kept, kTextType);
  log.refuse_copies = true;
  EXPECT_FALSE(target->CopyFrom(source.get()));
  EXPECT_EQ(target->GetData(), kept);
  EXPECT_EQ(target->GetTypeId(), kTextType);
  EXPECT_EQ(log.Alive(), 2);  // the refused copy did not survive
}

TEST(NonTrivialTypelessObject, CopyFromASharedObjectHoldingThisVeryObjectLeavesAnEqualCopy) {
  CountingLog log;
  auto shared = Shared(Holding(CountingObject::New(log, 5), &kCountingType).release());
  IUniqueTypelessObject* unique = shared->GetUnique();
  void* const before = unique->GetData();
  ASSERT_TRUE(unique->CopyFrom(shared.get()));
  EXPECT_NE(unique->GetData(), before);  // the copy was made while the old payload lived
  EXPECT_EQ(static_cast<CountingObject*>(unique->GetData())->value, 5);
  EXPECT_EQ(unique->GetTypeId(), &kCountingType);
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(log.Alive(), 1);
}

TEST(NonTrivialTypelessObject, EqualsComparesTypeCodesThenPayloads) {
  enum Payload { kNone, kOne, kTwo, kBare };
  enum Answer { kFalse, kTrue, kThrows };
  const struct {
    const InterfaceId* type_a;
    Payload payload_a;
    const InterfaceId* type_b;
    Payload payload_b;
    Answer answer;
  } cases[] = {
      {kTextType, kNone, kTextType, kNone, kTrue},
      {kTextType, kOne, &kLookalike, kOne, kTrue},
      {kTextType, kOne, kTextType, kTwo, kFalse},
      {kTextType, kOne, &kCountingType, kOne, kFalse},
      {kTextType, kNone, &kCountingType, kNone, kFalse},
      {kTextType, kNone, kTextType, kOne, kThrows},
      {kTextType, kBare, kTextType, kOne, kThrows},
      {nullptr, kOne, nullptr, kOne, kTrue},  // a null record is a type of its own
      {nullptr, kNone, VoidInterfaceId(), kNone, kFalse},
  };
  CountingLog log;
  auto make = [&](const InterfaceId* type, Payload payload) {
    if (payload == kBare) return Holding(new BareInterface, type);
    return Holding(payload == kNone ? nullptr : CountingObject::New(log, payload), type);
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    auto a = make(c.type_a, c.payload_a), b = make(c.type_b, c.payload_b);
    for (const auto& [left, right] : {std::pair{a.get(), b.get()}, std::pair{b.get(), a.get()}}) {
      if (c.answer == kThrows) {
        EXPECT_EQ(ErrorText<std::runtime_error>([&, l = left, r = right] { l->Equals(r); }),
                  "Can not test equality of objects that don't derive from utility::IObject");
      } else {
        EXPECT_EQ(left->Equals(right), c.answer == kTrue);
      }
    }
  }
  EXPECT_EQ(log.Alive(), 0);
}

TEST(NonTrivialTypelessObject, ClearEndsAPayloadOnceAndOnlyThenForgetsTheType) {
  CountingLog log;
  auto object = Holding(CountingObject::New(log), &kCountingType);
  object->Clear();
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(object->GetData(), nullptr);
  EXPECT_EQ(object->GetTypeId(), VoidInterfaceId());
  object->SetTypeId(kTextType);
  object->Clear();
  EXPECT_EQ(object->GetTypeId(), kTextType);
  EXPECT_EQ(log.destroyed, 1);
}

TEST(NonTrivialTypelessObject, DestroyEndsThePayloadOnceAndSetObjectNeverDoes) {
  CountingLog log;
  CountingObject* first = CountingObject::New(log);
  auto object = Holding(first, &kCountingType);
  object->SetObject(CountingObject::New(log));  // overwrites without destroying
  EXPECT_EQ(log.destroyed, 0);
  object.reset();
  EXPECT_EQ(log.destroyed, 1);
  first->Destroy();
}

IStringObject* NewText(const char* text) {
  auto* object = static_cast<IStringObject*>(KivoStringObjectAllocator());
  object->SetString(text);
  return object;
}

// Slots 5 to 10 of IUniqueTypelessObject, called by position on the class that uses them all.
TEST(UniqueTypelessObjectSlots, EachOperationSitsAtItsPosition) {
  using kivo::testing::CallSlot;
  ISharedInterface* object = KivoUniqueTypelessNonTrivialObjectAllocator();
  IStringObject* text = NewText("payload");
  CallSlot<void>(object, 9, static_cast<ISharedInterface*>(text));  // SetObject
  CallSlot<void>(object, 10, kTextType);                            // SetTypeId
  EXPECT_EQ(CallSlot<void*>(object, 7), text);                      // GetData
  EXPECT_EQ(CallSlot<const void*>(object, 8), text);                // GetConstData
  EXPECT_EQ(CallSlot<const InterfaceId*>(object, 5), kTextType);    // GetTypeId
  CallSlot<void>(object, 6);                                        // Clear
  EXPECT_EQ(CallSlot<void*>(object, 7), nullptr);
  EXPECT_EQ(CallSlot<const InterfaceId*>(object, 5), VoidInterfaceId());
  CallSlot<void>(object, 0);  // Destroy
}

}  // namespace
