// UniqueTypelessTrivialObject<N>: inline bytes, type records, copies and comparisons, for all N.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "internal/shared_implementation.h"
#include "kivo/containers/exports.h"
#include "support/counting_object.h"
#include "typeless_objects.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::containers::UniqueTypelessTrivialObject;
using kivo::detail::Owned;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::ObjectAllocator;

template <std::size_t N>
using Size = std::integral_constant<std::size_t, N>;

using Sizes = ::testing::Types<Size<1>, Size<2>, Size<4>, Size<8>, Size<12>, Size<16>, Size<20>,
                               Size<24>, Size<28>, Size<32>>;

struct SizedExport {
  std::size_t size;
  ObjectAllocator allocate;
};

constexpr SizedExport kExports[] = {
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

const InterfaceId* StringType() { return InterfaceIdOf<kivo::containers::IStringObject>(); }

Owned<IUniqueTypelessObject> NewUnique(ObjectAllocator allocate) {
  return Owned<IUniqueTypelessObject>(static_cast<IUniqueTypelessObject*>(allocate()));
}

Owned<ISharedTypelessObject> NewShared() {
  return Owned<ISharedTypelessObject>(
      static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator()));
}

template <class SizeConstant>
class TrivialTypelessObject : public ::testing::Test {
 protected:
  static constexpr std::size_t N = SizeConstant::value;

  // A new object of this suite's N, filled with bytes 1, 2, ... and labelled type.
  static Owned<IUniqueTypelessObject> Filled(const InterfaceId* type = StringType(),
                                             unsigned char first = 1) {
    Owned<IUniqueTypelessObject> object(new UniqueTypelessTrivialObject<N>());
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

// Names the typed cases after their payload size: TrivialTypelessObject/N12.
struct SizeNames {
  template <class SizeConstant>
  static std::string GetName(int) {
    return "N" + std::to_string(SizeConstant::value);
  }
};
TYPED_TEST_SUITE(TrivialTypelessObject, Sizes, SizeNames);

TYPED_TEST(TrivialTypelessObject, CopyFromAnotherSizeFailsAndChangesNothingEitherWay) {
  for (const SizedExport& other : kExports) {
    if (other.size == TestFixture::N) continue;
    SCOPED_TRACE(other.size);
    auto target = TestFixture::Filled();
    auto foreign = NewUnique(other.allocate);
    foreign->SetTypeId(StringType());
    EXPECT_FALSE(target->CopyFrom(foreign.get()));
    EXPECT_FALSE(foreign->CopyFrom(target.get()));
    EXPECT_FALSE(target->Equals(foreign.get()));
    EXPECT_FALSE(foreign->Equals(target.get()));
    EXPECT_EQ(TestFixture::Bytes(*target), TestFixture::Bytes(*TestFixture::Filled()));
    EXPECT_EQ(foreign->GetTypeId(), StringType());
  }
}

TYPED_TEST(TrivialTypelessObject, CopyFromTakesEveryByteAndTheRecordPointer) {
  auto source = TestFixture::Filled(StringType(), 7);
  Owned<IUniqueTypelessObject> target(new UniqueTypelessTrivialObject<TestFixture::N>());
  EXPECT_FALSE(target->Equals(source.get()));
  ASSERT_TRUE(target->CopyFrom(source.get()));
  EXPECT_EQ(TestFixture::Bytes(*target), TestFixture::Bytes(*source));
  EXPECT_EQ(target->GetTypeId(), StringType());
  EXPECT_TRUE(target->Equals(source.get()));
  EXPECT_TRUE(target->CopyFrom(target.get()));
  EXPECT_TRUE(target->Equals(source.get()));
}

TYPED_TEST(TrivialTypelessObject, CopyFromLooksThroughASharedObjectButEqualsDoesNot) {
  auto shared = NewShared();
  auto target = TestFixture::Filled(StringType(), 1);
  EXPECT_FALSE(target->CopyFrom(shared.get()));  // empty: nothing to copy
  EXPECT_EQ(TestFixture::Bytes(*target), TestFixture::Bytes(*TestFixture::Filled()));

  shared->Reset(TestFixture::Filled(StringType(), 9).release());
  ASSERT_TRUE(target->CopyFrom(shared.get()));
  EXPECT_TRUE(target->Equals(shared->GetUnique()));
  EXPECT_FALSE(target->Equals(shared.get()));
  // A shared object that holds this very object copies nothing and still succeeds.
  EXPECT_TRUE(shared->GetUnique()->CopyFrom(shared.get()));
  EXPECT_TRUE(target->Equals(shared->GetUnique()));
}

TYPED_TEST(TrivialTypelessObject, CopyFromAndEqualsRejectOtherClassesAndNull) {
  auto target = TestFixture::Filled();
  auto non_trivial = NewUnique(&KivoUniqueTypelessNonTrivialObjectAllocator);
  auto shared = NewShared();
  shared->Reset(NewUnique(&KivoUniqueTypelessNonTrivialObjectAllocator).release());
  for (const kivo::utility::IObject* other :
       {static_cast<const kivo::utility::IObject*>(nullptr),
        static_cast<const kivo::utility::IObject*>(non_trivial.get()),
        static_cast<const kivo::utility::IObject*>(shared.get())}) {
    EXPECT_FALSE(target->CopyFrom(other));
    EXPECT_FALSE(target->Equals(other));
  }
  EXPECT_EQ(TestFixture::Bytes(*target), TestFixture::Bytes(*TestFixture::Filled()));
}

TYPED_TEST(TrivialTypelessObject, EqualsComparesTypeCodesNotRecordAddresses) {
  static constexpr InterfaceId kLookalike{"another name, the string object's code",
                                          kivo::containers::kStringObjectCode};
  auto a = TestFixture::Filled(StringType());
  auto b = TestFixture::Filled(&kLookalike);
  EXPECT_TRUE(a->Equals(b.get()));
  b->SetTypeId(kivo::utility::VoidInterfaceId());
  EXPECT_FALSE(a->Equals(b.get()));
}

TYPED_TEST(TrivialTypelessObject, ANullRecordEqualsOnlyANullRecord) {
  auto a = TestFixture::Filled(nullptr);
  auto b = TestFixture::Filled(nullptr);
  auto labelled = TestFixture::Filled(StringType());
  EXPECT_EQ(a->GetTypeId(), nullptr);
  EXPECT_TRUE(a->Equals(b.get()));
  EXPECT_FALSE(a->Equals(labelled.get()));
  EXPECT_FALSE(labelled->Equals(a.get()));
  ASSERT_TRUE(labelled->CopyFrom(a.get()));
  EXPECT_EQ(labelled->GetTypeId(), nullptr);
}

TYPED_TEST(TrivialTypelessObject, EqualsSeesADifferenceInTheFirstAndTheLastByte) {
  for (const std::size_t changed : {std::size_t{0}, TestFixture::N - 1}) {
    auto a = TestFixture::Filled();
    auto b = TestFixture::Filled();
    static_cast<unsigned char*>(b->GetData())[changed] ^= 0x80;
    EXPECT_FALSE(a->Equals(b.get())) << "byte " << changed;
  }
}

TYPED_TEST(TrivialTypelessObject, ClearAndSetObjectLeaveTheObjectAsItWas) {
  kivo::testing::CountingLog log;
  auto* payload = kivo::testing::CountingObject::New(log);
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

TYPED_TEST(TrivialTypelessObject, NewInstanceIsAFreshObjectOfTheSameSize) {
  auto source = TestFixture::Filled();
  Owned<IUniqueTypelessObject> fresh(static_cast<IUniqueTypelessObject*>(source->NewInstance()));
  EXPECT_NE(dynamic_cast<UniqueTypelessTrivialObject<TestFixture::N>*>(fresh.get()), nullptr);
  EXPECT_EQ(fresh->GetTypeId(), kivo::utility::VoidInterfaceId());
  EXPECT_EQ(TestFixture::Bytes(*fresh), std::vector<unsigned char>(TestFixture::N, 0));
  EXPECT_EQ(TestFixture::Bytes(*source), TestFixture::Bytes(*TestFixture::Filled()));
}

}  // namespace
