// The trivial, non-trivial and shared typeless objects.
// SPDX-License-Identifier: MIT
#include "typeless_objects.h"

#include <cstring>
#include <utility>

#include "compound_object.h"
#include "internal/clone.h"
#include "internal/errors.h"
#include "internal/exact_cast.h"
#include "internal/factories.h"
#include "internal/memory.h"
#include "string_object.h"

namespace kivo::detail {
namespace {

using containers::ISharedTypelessObject;
using containers::SharedTypelessObject;
using utility::InterfaceId;

// Equal codes, or both records null.
bool SameTypeOrBothNull(const InterfaceId* a, const InterfaceId* b) noexcept {
  if (a == nullptr || b == nullptr) return a == b;
  return utility::SameType(a, b);
}

bool IsVoid(const InterfaceId* type) noexcept {
  return type != nullptr && utility::SameType(type, utility::VoidInterfaceId());
}

// The unique classes copy from an object of their own class, or from the one that a shared
// source holds. Null for anything else.
template <class Unique>
const Unique* UniqueSource(const utility::IObject* other) {
  if (const auto* same = ExactCast<const Unique>(other)) return same;
  const containers::ITypelessObject* held = nullptr;
  if (const auto* shared = ExactCast<const SharedTypelessObject>(other)) {
    held = shared->GetConstUnique();
  } else if (const auto* foreign = dynamic_cast<const ISharedTypelessObject*>(other)) {
    held = foreign->GetConstUnique();
  }
  return ExactCast<const Unique>(held);
}

// A payload as IObject, or null when it is none. Texts and records, the usual payloads, are
// recognised by their exact class.
const utility::IObject* AsObject(const utility::ISharedInterface* payload) {
  if (const auto* text = ExactCast<const containers::StringObject>(payload)) return text;
  if (const auto* record = ExactCast<const containers::CompoundObject>(payload)) return record;
  return dynamic_cast<const utility::IObject*>(payload);
}

// When source is a Unique, makes its copy in one block together with the count (null when the
// copy answers false) and answers true; false for any other class.
template <class Unique>
bool CopyWithCount(const containers::IUniqueTypelessObject& source,
                   std::shared_ptr<containers::IUniqueTypelessObject>* copy) {
  const auto* exact = ExactCast<const Unique>(&source);
  if (exact == nullptr) return false;
  auto fresh = std::allocate_shared<Unique>(Allocator<Unique>());
  if (fresh->CopyFrom(exact)) *copy = std::move(fresh);
  return true;
}

bool CopyTrivialWithCount(const containers::IUniqueTypelessObject& source,
                          std::shared_ptr<containers::IUniqueTypelessObject>* copy) {
#define KIVO_COPY_TRIVIAL(N) \
  CopyWithCount<containers::UniqueTypelessTrivialObject<N>>(source, copy) ||
  return KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_COPY_TRIVIAL) false;
#undef KIVO_COPY_TRIVIAL
}

}  // namespace

template <std::size_t N>
utility::ISharedInterface* NewUniqueTypelessTrivialObject() {
  return new containers::UniqueTypelessTrivialObject<N>();
}
#define KIVO_NEW_TRIVIAL(N) template utility::ISharedInterface* NewUniqueTypelessTrivialObject<N>();
KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_NEW_TRIVIAL)
#undef KIVO_NEW_TRIVIAL

utility::ISharedInterface* NewUniqueTypelessNonTrivialObject() {
  return new containers::UniqueTypelessNonTrivialObject();
}

utility::ISharedInterface* NewSharedTypelessObject() {
  return new containers::SharedTypelessObject();
}

}  // namespace kivo::detail

namespace kivo::containers {

using detail::ExactCast;
using detail::SameTypeOrBothNull;

// UniqueTypelessTrivialObject<N>

template <std::size_t N>
bool UniqueTypelessTrivialObject<N>::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = detail::UniqueSource<UniqueTypelessTrivialObject>(other);
  if (source == nullptr) return false;
  if (source != this) {
    std::memcpy(data, source->data, N);
    typeId = source->typeId;
  }
  return true;
}

template <std::size_t N>
bool UniqueTypelessTrivialObject<N>::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = ExactCast<const UniqueTypelessTrivialObject>(other);
  if (that == nullptr || !SameTypeOrBothNull(typeId, that->typeId)) return false;
  return std::memcmp(data, that->data, N) == 0;
}

template <std::size_t N>
utility::IObject* UniqueTypelessTrivialObject<N>::NewInstance() const {
  return new UniqueTypelessTrivialObject();
}

template <std::size_t N>
const utility::InterfaceId* UniqueTypelessTrivialObject<N>::GetTypeId() const {
  return typeId;
}

template <std::size_t N>
void UniqueTypelessTrivialObject<N>::Clear() {}

template <std::size_t N>
void* UniqueTypelessTrivialObject<N>::GetData() {
  return data;
}

template <std::size_t N>
const void* UniqueTypelessTrivialObject<N>::GetConstData() const {
  return data;
}

template <std::size_t N>
void UniqueTypelessTrivialObject<N>::SetObject(utility::ISharedInterface*) {}

template <std::size_t N>
void UniqueTypelessTrivialObject<N>::SetTypeId(const utility::InterfaceId* type) {
  typeId = type;
}

#define KIVO_TRIVIAL_CLASS(N) template class UniqueTypelessTrivialObject<N>;
KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_TRIVIAL_CLASS)
#undef KIVO_TRIVIAL_CLASS

// UniqueTypelessNonTrivialObject

UniqueTypelessNonTrivialObject::~UniqueTypelessNonTrivialObject() {
  if (object != nullptr) object->Destroy();
}

bool UniqueTypelessNonTrivialObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = detail::UniqueSource<UniqueTypelessNonTrivialObject>(other);
  if (source == nullptr) return false;
  const utility::IObject* payload = detail::AsObject(source->object);
  if (payload == nullptr) detail::ThrowRuntimeError(detail::kCannotCopy);
  // The copy comes before the old payload goes: source may be this very object, reached through
  // a shared object that holds it.
  detail::Owned<utility::IObject> copy = detail::Clone<utility::IObject>(*payload);
  if (!copy) return false;
  const utility::InterfaceId* const type = source->typeId;
  if (object != nullptr) object->Destroy();
  object = copy.release();
  typeId = type;
  return true;
}

bool UniqueTypelessNonTrivialObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = ExactCast<const UniqueTypelessNonTrivialObject>(other);
  if (that == nullptr || !SameTypeOrBothNull(typeId, that->typeId)) return false;
  if (object == nullptr && that->object == nullptr) return true;
  const utility::IObject* mine = detail::AsObject(object);
  const utility::IObject* theirs = detail::AsObject(that->object);
  if (mine == nullptr || theirs == nullptr) detail::ThrowRuntimeError(detail::kCannotCompare);
  return mine->Equals(theirs);
}

utility::IObject* UniqueTypelessNonTrivialObject::NewInstance() const {
  return new UniqueTypelessNonTrivialObject();
}

void UniqueTypelessNonTrivialObject::Clear() {
  if (object == nullptr) return;
  object->Destroy();
  object = nullptr;
  typeId = utility::VoidInterfaceId();
}

const void* UniqueTypelessNonTrivialObject::GetConstData() const { return object; }

void UniqueTypelessNonTrivialObject::SetObject(utility::ISharedInterface* payload) {
  object = payload;
}

void UniqueTypelessNonTrivialObject::SetTypeId(const utility::InterfaceId* type) { typeId = type; }

// SharedTypelessObject

bool SharedTypelessObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  if (const auto* shared = ExactCast<const SharedTypelessObject>(other)) {
    if (!shared->unique) {
      unique.reset();
      return true;
    }
    return ResetToCloneOf(*shared->unique);
  }
  if (const auto* source = dynamic_cast<const IUniqueTypelessObject*>(other)) {
    if (detail::IsVoid(source->GetTypeId())) {
      unique.reset();
      return true;
    }
    return ResetToCloneOf(*source);
  }
  return false;
}

bool SharedTypelessObject::ResetToCloneOf(const IUniqueTypelessObject& source) {
  std::shared_ptr<IUniqueTypelessObject> copy;
  if (detail::CopyWithCount<UniqueTypelessNonTrivialObject>(source, &copy) ||
      detail::CopyTrivialWithCount(source, &copy)) {
    if (!copy) return false;
    unique = std::move(copy);
    return true;
  }
  detail::Owned<IUniqueTypelessObject> clone = detail::Clone<IUniqueTypelessObject>(source);
  if (!clone) return false;
  Reset(clone.release());
  return true;
}

bool SharedTypelessObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = ExactCast<const SharedTypelessObject>(other);
  if (that == nullptr) return false;
  if (!unique || !that->unique) return !unique && !that->unique;
  return unique->Equals(that->unique.get());
}

utility::IObject* SharedTypelessObject::NewInstance() const { return new SharedTypelessObject(); }

const utility::InterfaceId* SharedTypelessObject::GetTypeId() const {
  return unique ? unique->GetTypeId() : utility::VoidInterfaceId();
}

bool SharedTypelessObject::AssignValue(const ISharedTypelessObject* other) {
  if (other == nullptr) return false;
  // Another implementation of the interface is read through its slot rather than trusted to
  // share this class's layout.
  const auto* that = ExactCast<const SharedTypelessObject>(other);
  const ITypelessObject* source = that != nullptr ? that->unique.get() : other->GetConstUnique();
  if (!unique) return source == nullptr;
  if (source == nullptr) return false;
  if (source == unique.get()) return true;
  if (!SameTypeOrBothNull(unique->GetTypeId(), source->GetTypeId())) return false;
  return unique->CopyFrom(source);
}

void SharedTypelessObject::Reset(IUniqueTypelessObject* held) {
  if (held == nullptr) {
    unique.reset();
    return;
  }
  // If the count block cannot be allocated, the constructor destroys held through the deleter
  // and rethrows, leaving the previous reference in place.
  std::shared_ptr<IUniqueTypelessObject> fresh(held, detail::Destroyer(),
                                               detail::Allocator<IUniqueTypelessObject>());
  unique.swap(fresh);
}

ISharedTypelessObject* SharedTypelessObject::Share() const {
  return new SharedTypelessObject(unique);
}

SharedTypelessObject* SharedTypelessObject::NewHolding(
    detail::Owned<utility::ISharedInterface> payload, const utility::InterfaceId* type) {
  detail::Owned<SharedTypelessObject> holder(new SharedTypelessObject());
  auto held = std::allocate_shared<UniqueTypelessNonTrivialObject>(
      detail::Allocator<UniqueTypelessNonTrivialObject>());
  held->SetObject(payload.release());
  held->SetTypeId(type);
  holder->unique = std::move(held);
  return holder.release();
}

}  // namespace kivo::containers
