// kivo::sdk::Ptr and InterfaceCast: every object owned is ended exactly once.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "kivo/sdk/interface_cast.h"
#include "kivo/sdk/linked_library.h"
#include "kivo/sdk/ptr.h"
#include "support/counting_object.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::IStringObject;
using kivo::sdk::adopt;
using kivo::sdk::InterfaceCast;
using kivo::sdk::Ptr;
using kivo::testing::CountingLog;
using kivo::testing::CountingObject;
using kivo::utility::IObject;

// No operator& hides the owner's own address.
static_assert(std::is_same_v<decltype(&std::declval<Ptr<IObject>&>()), Ptr<IObject>*>);
static_assert(!std::is_copy_constructible_v<Ptr<IObject>>);
static_assert(!std::is_convertible_v<IObject*, Ptr<IObject>>, "adopting must be explicit");

TEST(SdkPtr, ResetEndsTheObjectExactlyOnce) {
  CountingLog log;
  Ptr<CountingObject> owner(adopt, CountingObject::New(log));
  owner.reset();
  owner.reset();
  EXPECT_EQ(log.destroyed, 1);
  EXPECT_FALSE(owner);
}

TEST(SdkPtr, ScopeExitEndsTheObject) {
  CountingLog log;
  { Ptr<CountingObject> owner(adopt, CountingObject::New(log)); }
  EXPECT_EQ(log.destroyed, 1);
}

TEST(SdkPtr, MoveTransfersOwnershipWithoutEndingAnything) {
  CountingLog log;
  Ptr<CountingObject> first(adopt, CountingObject::New(log, 7));
  Ptr<CountingObject> second(std::move(first));
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): moved-from owners are empty
  ASSERT_TRUE(second);
  EXPECT_EQ(second->value, 7);
  EXPECT_EQ(log.destroyed, 0);
  second.reset();
  EXPECT_EQ(log.destroyed, 1);
}

TEST(SdkPtr, MoveAssignmentEndsTheObjectItReplaces) {
  CountingLog replaced;
  CountingLog moved;
  Ptr<CountingObject> target(adopt, CountingObject::New(replaced));
  Ptr<CountingObject> source(adopt, CountingObject::New(moved));
  target = std::move(source);
  EXPECT_EQ(replaced.destroyed, 1);
  EXPECT_EQ(moved.destroyed, 0);
  target = nullptr;
  EXPECT_EQ(moved.destroyed, 1);
}

TEST(SdkPtr, SelfMoveAssignmentKeepsTheObject) {
  CountingLog log;
  Ptr<CountingObject> owner(adopt, CountingObject::New(log));
  Ptr<CountingObject>& alias = owner;
  owner = std::move(alias);
  EXPECT_TRUE(owner);
  EXPECT_EQ(log.destroyed, 0);
}

TEST(SdkPtr, ConversionToABaseInterfaceKeepsOneOwner) {
  CountingLog log;
  Ptr<CountingObject> derived(adopt, CountingObject::New(log));
  Ptr<IObject> base = std::move(derived);
  EXPECT_FALSE(derived);  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(base);
  base.reset();
  EXPECT_EQ(log.destroyed, 1);
}

TEST(SdkPtr, ReleaseAndDetachHandBackTheObjectUnended) {
  CountingLog log;
  Ptr<CountingObject> owner(adopt, CountingObject::New(log));
  CountingObject* raw = owner.release();
  EXPECT_FALSE(owner);
  owner.attach(raw);
  CountingObject* again = owner.detach();
  EXPECT_EQ(again, raw);
  EXPECT_EQ(log.destroyed, 0);
  again->Destroy();
}

TEST(SdkPtr, PutEndsThePreviousObjectAndOwnsWhatIsWritten) {
  CountingLog previous;
  CountingLog written;
  Ptr<CountingObject> owner(adopt, CountingObject::New(previous));
  CountingObject** slot = owner.put();
  EXPECT_EQ(previous.destroyed, 1);
  EXPECT_EQ(*slot, nullptr);
  *slot = CountingObject::New(written);
  EXPECT_TRUE(owner);
  owner.reset();
  EXPECT_EQ(written.destroyed, 1);
}

TEST(SdkPtr, AttachEndsThePreviousObjectButNotTheSameOneAgain) {
  CountingLog first;
  CountingLog second;
  Ptr<CountingObject> owner(adopt, CountingObject::New(first));
  owner.attach(owner.get());
  EXPECT_EQ(first.destroyed, 0);
  owner.attach(CountingObject::New(second));
  EXPECT_EQ(first.destroyed, 1);
  EXPECT_EQ(second.destroyed, 0);
}

TEST(SdkInterfaceCast, ConvertsOnlyToTheInterfaceTheRecordNames) {
  const kivo::sdk::Library library = kivo::sdk::LinkedLibrary();
  Ptr<IObject> object = library.NewString("text");

  Ptr<ICompoundObject> wrong = InterfaceCast<ICompoundObject>(std::move(object));
  EXPECT_FALSE(wrong);
  ASSERT_TRUE(object) << "a failed conversion leaves the object with its owner";

  Ptr<IStringObject> text = InterfaceCast<IStringObject>(std::move(object));
  ASSERT_TRUE(text);
  EXPECT_FALSE(object);  // NOLINT(bugprone-use-after-move)
  EXPECT_STREQ(text->GetString(), "text");
}

}  // namespace
