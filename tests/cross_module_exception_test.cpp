// Exceptions crossing the library's module boundary, as a separately built client sees them.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <typeinfo>

#include "kivo/containers/exports.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::NameCode;
using kivo::utility::ObjectAllocator;

struct Destroyer {
  void operator()(ISharedInterface* object) const noexcept { object->Destroy(); }
};
template <class I>
using Owned = std::unique_ptr<I, Destroyer>;

template <class I>
Owned<I> Make(ObjectAllocator allocator) {
  return Owned<I>(static_cast<I*>(allocator()));
}

Owned<IStringObject> MakeText(const char* text) {
  auto object = Make<IStringObject>(&KivoStringObjectAllocator);
  object->SetString(text);
  return object;
}

// A unique typeless object that owns payload and is labelled type.
Owned<IUniqueTypelessObject> MakeUnique(Owned<ISharedInterface> payload, const InterfaceId* type) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  if (payload) unique->SetObject(payload.release());
  unique->SetTypeId(type);
  return unique;
}

// Runs raise three times and expects the library's exception each time: caught as the standard
// type E, caught as std::exception, and carried out of its handler in a std::exception_ptr and
// rethrown, always with the exact text. The exception object is made by the library's runtime and
// released by the client's.
template <class E>
void ExpectLibraryThrows(const std::function<void()>& raise, const char* text) {
  try {
    raise();
    ADD_FAILURE() << "nothing was thrown";
  } catch (const E& error) {
    EXPECT_STREQ(error.what(), text);
  } catch (...) {
    ADD_FAILURE() << "not caught as " << typeid(E).name();
  }

  try {
    raise();
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), text);
  } catch (...) {
    ADD_FAILURE() << "not caught as std::exception";
  }

  std::exception_ptr carried;
  try {
    raise();
  } catch (...) {
    carried = std::current_exception();
  }
  ASSERT_TRUE(carried);
  try {
    std::rethrow_exception(carried);
  } catch (const E& error) {
    EXPECT_STREQ(error.what(), text);
  } catch (...) {
    ADD_FAILURE() << "the rethrown exception is not an " << typeid(E).name();
  }
}

TEST(CrossModuleException, BadCastFromRecordWhoseNestedPayloadIsNotARecord) {
  // Labelled as a nested record, but the payload is a string object.
  auto unique = MakeUnique(MakeText("not a record"), InterfaceIdOf<ICompoundObject>());
  auto member = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  member->Reset(unique.release());
  auto record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  ASSERT_TRUE(record->Set("member", member.get(), true));

  ExpectLibraryThrows<std::bad_cast>([&] { record->GetTotalCount(); }, "bad cast");
  EXPECT_EQ(record->GetCount(), 1u);
}

TEST(CrossModuleException, RuntimeErrorFromCopyOfAnEmptyPayload) {
  auto target = MakeUnique(MakeText("kept"), InterfaceIdOf<IStringObject>());
  auto* kept = target->GetData();
  auto empty = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);

  ExpectLibraryThrows<std::runtime_error>(
      [&] { target->CopyFrom(empty.get()); },
      "Can not copy from an object that doesn't derive from utility::IObject");
  EXPECT_EQ(target->GetData(), kept);
  EXPECT_EQ(target->GetTypeId()->code, InterfaceIdOf<IStringObject>()->code);
}

TEST(CrossModuleException, RuntimeErrorFromComparingAPayloadWithNone) {
  const InterfaceId* type = InterfaceIdOf<IStringObject>();
  auto holding = MakeUnique(MakeText("text"), type);
  auto empty = MakeUnique(nullptr, type);

  ExpectLibraryThrows<std::runtime_error>(
      [&] { holding->Equals(empty.get()); },
      "Can not test equality of objects that don't derive from utility::IObject");
}

// A client's own exception thrown by a client payload while the library copies it: it unwinds
// through the library's frames, which release the half-made copy on the way.
struct ClientError : std::exception {
  const char* what() const noexcept override { return "client payload refused"; }
};

class ThrowingPayload final : public IObject {
 public:
  explicit ThrowingPayload(int* alive) : alive_(alive) { ++*alive_; }
  ThrowingPayload(const ThrowingPayload&) = delete;
  ThrowingPayload& operator=(const ThrowingPayload&) = delete;

  void Destroy() noexcept override {
    --*alive_;
    this->~ThrowingPayload();
    ::operator delete(this);
  }
  static const InterfaceId* Record() {
    static constexpr InterfaceId record{"client::IThrowingPayload",
                                        NameCode("client::IThrowingPayload")};
    return &record;
  }
  const InterfaceId* GetInterfaceId() const override { return Record(); }
  bool CopyFrom(const IObject*) override { throw ClientError(); }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return Create(alive_); }

  static ThrowingPayload* Create(int* alive) {
    return new (::operator new(sizeof(ThrowingPayload))) ThrowingPayload(alive);
  }

 private:
  ~ThrowingPayload() = default;
  int* alive_;
};

TEST(CrossModuleException, ClientExceptionUnwindsThroughTheLibraryAndFreesTheHalfMadeCopy) {
  int alive = 0;
  {
    auto source = MakeUnique(Owned<ISharedInterface>(ThrowingPayload::Create(&alive)),
                             ThrowingPayload::Record());
    auto target = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);

    EXPECT_THROW(target->CopyFrom(source.get()), ClientError);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(target->GetData(), nullptr);
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
