// PayloadRef<I>: a library object reached inside a typeless value, kept alive by a share of it.
// SPDX-License-Identifier: MIT
#pragma once

// Records and typeless vectors hand out new shares of their values. A PayloadRef owns such a share
// and points at the payload object in it, so that a nested record or a stored vector can be used
// (and changed, for everyone who holds the value) for as long as the PayloadRef lives.

#include <optional>
#include <type_traits>
#include <utility>

#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {

template <class I>
class PayloadRef {
 public:
  // Takes ownership of holder, a value whose payload is object.
  PayloadRef(Ptr<containers::ISharedTypelessObject> holder, I* object) noexcept
      : holder_(std::move(holder)), object_(object) {}

  // The payload; owned by the value's holders, alive at least as long as this reference.
  I* get() const noexcept { return object_; }
  // The payload; owned by the value's holders, alive at least as long as this reference.
  I* operator->() const noexcept { return object_; }
  // The payload; owned by the value's holders, alive at least as long as this reference.
  I& operator*() const noexcept { return *object_; }

  // The share that keeps the payload alive; owned by this reference.
  const containers::ISharedTypelessObject& holder() const noexcept { return *holder_; }

 private:
  Ptr<containers::ISharedTypelessObject> holder_;
  I* object_;
};

// A reference to holder's payload as I (which may be const-qualified). Takes ownership of holder;
// nullopt, with holder ended, when the payload is not an I.
template <class I>
std::optional<PayloadRef<I>> MakePayloadRef(Ptr<containers::ISharedTypelessObject> holder) {
  I* object = holder ? PayloadAs<std::remove_const_t<I>>(*holder) : nullptr;
  if (object == nullptr) return std::nullopt;
  return PayloadRef<I>(std::move(holder), object);
}

// A reference to value's payload as I, holding a new share of value; nullopt when the payload is
// not an I. Ownership of value does not change.
template <class I>
std::optional<PayloadRef<I>> SharePayload(const containers::ISharedTypelessObject& value) {
  return MakePayloadRef<I>(Ptr<containers::ISharedTypelessObject>(adopt, value.Share()));
}

}  // namespace kivo::sdk
