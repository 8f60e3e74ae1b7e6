// The client layer's typed helpers: values, record paths and typeless vectors round-trip.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/sdk.h"
#include "support/counting_object.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypedVectorObject;
using kivo::containers::ITypelessVectorObject;
using kivo::sdk::Library;
using kivo::sdk::Ptr;
using kivo::utility::InterfaceIdOf;

class SdkValues : public ::testing::Test {
 protected:
  const Library library = kivo::sdk::LinkedLibrary();
  Ptr<ICompoundObject> record = library.NewRecord();
};

// Names a scalar type after its record: "int64" for kivo::sdk::int64.
struct ScalarNames {
  template <class T>
  static std::string GetName(int) {
    return std::string(kivo::utility::InterfaceName<kivo::sdk::ScalarLabel<T>>::value)
        .substr(std::strlen("kivo::sdk::"));
  }
};

template <class T>
class SdkScalars : public SdkValues {};
using ScalarTypes =
    ::testing::Types<bool, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                     std::uint32_t, std::int64_t, std::uint64_t, float, double>;
TYPED_TEST_SUITE(SdkScalars, ScalarTypes, ScalarNames);

TYPED_TEST(SdkScalars, RoundTripThroughARecordPath) {
  using T = TypeParam;
  for (const T value : {std::numeric_limits<T>::lowest(), T{1}, std::numeric_limits<T>::max()}) {
    ASSERT_TRUE(kivo::sdk::SetScalar(this->library, *this->record, "a/scalar", value));
    EXPECT_EQ(kivo::sdk::GetScalar<T>(*this->record, "a/scalar"), value);
  }
}

// A scalar is read back only as the type it was stored as: same size but other signedness, or
// another size, is a different record.
TYPED_TEST(SdkScalars, ReadsAsNoOtherScalarType) {
  using T = TypeParam;
  ASSERT_TRUE(kivo::sdk::SetScalar(this->library, *this->record, "n", T{1}));
  const int matches = kivo::sdk::GetScalar<bool>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::int8_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::uint8_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::int16_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::uint16_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::int32_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::uint32_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::int64_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<std::uint64_t>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<float>(*this->record, "n").has_value() +
                      kivo::sdk::GetScalar<double>(*this->record, "n").has_value();
  EXPECT_EQ(matches, 1);
  EXPECT_FALSE(kivo::sdk::GetText(*this->record, "n"));
  EXPECT_FALSE(kivo::sdk::GetVector<int>(*this->record, "n"));
}

template <class T>
class SdkVectors : public SdkValues {};
using VectorTypes =
    ::testing::Types<std::int8_t, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                     std::uint32_t, std::int64_t, std::uint64_t, float, double>;
TYPED_TEST_SUITE(SdkVectors, VectorTypes, ScalarNames);

TYPED_TEST(SdkVectors, RoundTripInTheLibrarysElementTypeOfTheSameSize) {
  using T = TypeParam;
  const std::vector<T> values = {std::numeric_limits<T>::lowest(), T{0}, T{3},
                                 std::numeric_limits<T>::max()};
  ASSERT_TRUE(kivo::sdk::SetVector(this->library, *this->record, "v", values));
  EXPECT_EQ(kivo::sdk::GetVector<T>(*this->record, "v"), values);

  using Element = kivo::sdk::detail::VectorElementT<T>;
  auto stored = kivo::sdk::GetObject<ITypedVectorObject<Element>>(*this->record, "v");
  ASSERT_TRUE(stored);
  EXPECT_EQ((*stored)->GetSize(), values.size());
  EXPECT_FALSE(kivo::sdk::GetScalar<T>(*this->record, "v"));
}

TEST_F(SdkValues, IntegerTypesOfOneSizeAndSignednessShareARecord) {
  ASSERT_TRUE(kivo::sdk::SetScalar(library, *record, "signed", -5LL));
  ASSERT_TRUE(kivo::sdk::SetScalar(library, *record, "unsigned", 5ULL));
  ASSERT_TRUE(kivo::sdk::SetVector(library, *record, "numbers", {1LL, 2LL}));
  EXPECT_EQ(kivo::sdk::GetScalar<std::int64_t>(*record, "signed"), -5);
  EXPECT_EQ(kivo::sdk::GetScalar<std::uint64_t>(*record, "unsigned"), 5u);
  EXPECT_EQ(kivo::sdk::GetVector<std::int64_t>(*record, "numbers"),
            (std::vector<std::int64_t>{1, 2}));
}

TEST_F(SdkValues, TextsRoundTripWhateverTheirLength) {
  for (const std::string& text : {std::string(), std::string("Grüße"), std::string(100, 'x')}) {
    ASSERT_TRUE(kivo::sdk::SetText(library, *record, "t", text));
    EXPECT_EQ(kivo::sdk::GetText(*record, "t"), text);
  }
}

TEST_F(SdkValues, TextStopsAtTheFirstNul) {
  ASSERT_TRUE(kivo::sdk::SetText(library, *record, "t", std::string("ab\0cd", 5)));
  EXPECT_EQ(kivo::sdk::GetText(*record, "t"), "ab");
}

TEST_F(SdkValues, AbsentPathsAndOtherTypesAnswerNothing) {
  ASSERT_TRUE(kivo::sdk::SetVector(library, *record, "numbers", {1.5, 2.5}));
  EXPECT_FALSE(kivo::sdk::GetText(*record, "missing"));
  EXPECT_FALSE(kivo::sdk::GetText(*record, nullptr));
  EXPECT_FALSE(kivo::sdk::GetText(*record, "numbers"));
  EXPECT_FALSE(kivo::sdk::GetVector<float>(*record, "numbers"));
  EXPECT_FALSE(kivo::sdk::GetRecord(*record, "numbers"));
  EXPECT_FALSE(kivo::sdk::SetText(library, *record, nullptr, "x"));
}

TEST_F(SdkValues, OverwriteFalseKeepsTheStoredValue) {
  ASSERT_TRUE(kivo::sdk::SetText(library, *record, "k", "first"));
  EXPECT_FALSE(kivo::sdk::SetText(library, *record, "k", "second", /*overwrite=*/false));
  EXPECT_EQ(kivo::sdk::GetText(*record, "k"), "first");
}

TEST_F(SdkValues, NestedRecordsAreMadeOnTheWayAndSharedWithTheParent) {
  ASSERT_TRUE(kivo::sdk::SetText(library, *record, "a/b/c", "deep"));
  EXPECT_EQ(record->GetTotalCount(), 3u);

  auto inner = kivo::sdk::GetRecord(*record, "a/b");
  ASSERT_TRUE(inner);
  EXPECT_EQ(kivo::sdk::GetText(**inner, "c"), "deep");
  ASSERT_TRUE(kivo::sdk::SetScalar(library, **inner, "d", 4));
  EXPECT_EQ(kivo::sdk::GetScalar<int>(*record, "a/b/d"), 4) << "the parent sees the change";

  const ICompoundObject& read_only = *record;
  auto view = kivo::sdk::GetRecord(read_only, "a");
  ASSERT_TRUE(view);
  EXPECT_EQ(kivo::sdk::Keys(**view), std::vector<std::string>{"b"});
}

TEST_F(SdkValues, SetRecordStoresAWholeRecordWhichOutlivesTheCallersHandle) {
  Ptr<ICompoundObject> nested = library.NewRecord();
  ASSERT_TRUE(kivo::sdk::SetText(library, *nested, "name", "inner"));
  ASSERT_TRUE(kivo::sdk::SetRecord(library, *record, "outer/nested", std::move(nested)));
  EXPECT_EQ(kivo::sdk::GetText(*record, "outer/nested/name"), "inner");
}

TEST_F(SdkValues, KeysComeInBytewiseOrder) {
  for (const char* key : {"b", "ab", "a", "B"}) {
    ASSERT_TRUE(kivo::sdk::SetScalar(library, *record, key, true));
  }
  EXPECT_EQ(kivo::sdk::Keys(*record), (std::vector<std::string>{"B", "a", "ab", "b"}));
  EXPECT_TRUE(kivo::sdk::Keys(*library.NewRecord()).empty());
}

TEST_F(SdkValues, ARecordEndsAnObjectItWasGivenExactlyOnce) {
  kivo::testing::CountingLog log;
  Ptr<kivo::testing::CountingObject> object(kivo::sdk::adopt,
                                            kivo::testing::CountingObject::New(log, 5));
  ASSERT_TRUE(kivo::sdk::SetObject(library, *record, "counted", std::move(object)));
  EXPECT_EQ(log.Alive(), 1);
  record.reset();
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_EQ(log.Alive(), 0);
}

TEST_F(SdkValues, TypelessVectorsHoldMixedValuesInOrder) {
  auto tags = kivo::sdk::MakeTypelessVector(library, kivo::sdk::MakeText(library, "warm"),
                                            kivo::sdk::MakeScalar(library, 7),
                                            kivo::sdk::MakeVector(library, {1.0, 2.0}));
  ASSERT_TRUE(kivo::sdk::SetObject(library, *record, "tags", std::move(tags)));

  auto stored = kivo::sdk::GetObject<ITypelessVectorObject>(*record, "tags");
  ASSERT_TRUE(stored);
  const auto elements = kivo::sdk::Elements(**stored);
  ASSERT_EQ(elements.size(), 3u);
  EXPECT_EQ(kivo::sdk::ReadText(*elements[0]), "warm");
  EXPECT_EQ(kivo::sdk::ReadScalar<int>(*elements[1]), 7);
  EXPECT_EQ(kivo::sdk::ReadVector<double>(*elements[2]), (std::vector<double>{1.0, 2.0}));
  EXPECT_FALSE(kivo::sdk::ElementAt(**stored, 3));
}

// Labels are the client's word; the readers still never treat inline bytes as an object or an
// object as inline bytes.
TEST_F(SdkValues, MislabelledPayloadsAreNotRead) {
  Ptr<ISharedTypelessObject> bytes = kivo::sdk::MakeScalar(library, std::int64_t{-1});
  bytes->GetUnique()->SetTypeId(InterfaceIdOf<IStringObject>());
  EXPECT_FALSE(kivo::sdk::ReadText(*bytes));
  EXPECT_EQ(kivo::sdk::PayloadAs<IStringObject>(*bytes), nullptr);

  Ptr<ISharedTypelessObject> text = kivo::sdk::MakeText(library, "not a number");
  text->GetUnique()->SetTypeId(kivo::sdk::ScalarTypeId<std::int64_t>());
  EXPECT_FALSE(kivo::sdk::ReadScalar<std::int64_t>(*text));

  Ptr<ISharedTypelessObject> empty = library.NewSharedValue();
  EXPECT_FALSE(kivo::sdk::ReadText(*empty));
  EXPECT_FALSE(kivo::sdk::ReadScalar<int>(*empty));
}

}  // namespace
