// Exceptions crossing the library's module boundary, as a separately built client sees them.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <stdexcept>
#include <typeinfo>

#include "support/objects.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::testing::Handle;
using kivo::testing::Make;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;

// A unique typeless object that owns payload and is labelled type.
Handle<IUniqueTypelessObject> MakeUnique(IObject* payload, const InterfaceId* type) {
  auto unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(payload);
  unique->SetTypeId(type);
  return unique;
}

IObject* Text(const char* text) {
  auto* object = static_cast<IStringObject*>(KivoStringObjectAllocator());
  object->SetString(text);
  return object;
}

// The library's exception from raise must be caught as the standard type E and, carried out of
// its handler in a std::exception_ptr and rethrown, as std::exception; with the exact text each
// time. The exception object is made by the library's runtime and released by the client's.
template <class E>
void ExpectLibraryThrows(const std::function<void()>& raise, const char* text) {
  std::exception_ptr carried;
  try {
    raise();
    return ADD_FAILURE() << "nothing was thrown";
  } catch (const E& error) {
    EXPECT_STREQ(error.what(), text);
    carried = std::current_exception();
  } catch (...) {
    return ADD_FAILURE() << "not caught as " << typeid(E).name();
  }
  try {
    std::rethrow_exception(carried);
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), text);
  }
}

TEST(CrossModuleException, LibraryExceptionsArriveAsTheStandardTypesWithTheirTexts) {
  const InterfaceId* text = InterfaceIdOf<IStringObject>();
  // A member labelled as a nested record whose payload is a string object.
  auto record = kivo::testing::NewRecord();
  ASSERT_TRUE(record->Set(
      "member", kivo::testing::Wrap(Text("t"), InterfaceIdOf<ICompoundObject>()).get(), true));
  ExpectLibraryThrows<std::bad_cast>([&] { record->GetTotalCount(); }, "bad cast");
  EXPECT_EQ(record->GetCount(), 1u);

  auto target = MakeUnique(Text("kept"), text);
  auto* kept = target->GetData();
  auto empty = MakeUnique(nullptr, text);
  ExpectLibraryThrows<std::runtime_error>(
      [&] { target->CopyFrom(empty.get()); },
      "Can not copy from an object that doesn't derive from utility::IObject");
  EXPECT_EQ(target->GetData(), kept);
  EXPECT_EQ(target->GetTypeId()->code, text->code);
  ExpectLibraryThrows<std::runtime_error>(
      [&] { target->Equals(empty.get()); },
      "Can not test equality of objects that don't derive from utility::IObject");
}

// A client's own exception thrown by a client payload while the library copies it: it unwinds
// through the library's frames, which release the half-made copy on the way.
struct ClientError : std::exception {};

class ThrowingPayload final : public IObject {
 public:
  explicit ThrowingPayload(int* alive) : alive_(alive) { ++*alive_; }
  void Destroy() noexcept override {
    --*alive_;
    delete this;
  }
  const InterfaceId* GetInterfaceId() const override {
    static constexpr InterfaceId record{"client::IThrowingPayload",
                                        kivo::utility::NameCode("client::IThrowingPayload")};
    return &record;
  }
  bool CopyFrom(const IObject*) override { throw ClientError(); }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new ThrowingPayload(alive_); }
  // Plain global allocation: the interfaces' class-level delete would call Destroy again.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  ~ThrowingPayload() = default;
  int* alive_;
};

TEST(CrossModuleException, ClientExceptionUnwindsThroughTheLibraryAndFreesTheHalfMadeCopy) {
  int alive = 0;
  {
    auto* payload = new ThrowingPayload(&alive);
    auto source = MakeUnique(payload, payload->GetInterfaceId());
    auto target = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    EXPECT_THROW(target->CopyFrom(source.get()), ClientError);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(target->GetData(), nullptr);
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
