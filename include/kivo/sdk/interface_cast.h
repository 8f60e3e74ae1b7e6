// InterfaceCast<I>: converts a library object to interface I after checking its type record.
// SPDX-License-Identifier: MIT
#pragma once

// Library objects are told apart by the code of their InterfaceId, never by run-time type
// information, which does not reach across modules built apart. Every library class derives from
// its interface by single inheritance, so a checked static conversion is all that is needed.
//
// NOTE: The signed and unsigned 8-bit vectors report the same code; InterfaceCast cannot tell them
// apart.

#include <cstdint>
#include <type_traits>

#include "kivo/containers/interface_codes.h"
#include "kivo/sdk/ptr.h"
#include "kivo/utility/object.h"

namespace kivo::sdk {
namespace detail {

/// True when an object whose record has code implements interface I.
template <class I>
bool Implements(std::uint32_t code) noexcept {
  if constexpr (std::is_same_v<I, utility::IObject> ||
                std::is_same_v<I, utility::ISharedInterface>) {
    return true;
  } else if constexpr (std::is_same_v<I, containers::ITypelessObject>) {
    return code == containers::kUniqueTypelessObjectCode ||
           code == containers::kSharedTypelessObjectCode;
  } else {
    return code == utility::InterfaceCode<I>();
  }
}

}  // namespace detail

/// object as interface I when its record has I's code; null otherwise or when object is null.
/// Ownership does not change.
template <class I>
I* InterfaceCast(utility::IObject* object) {
  if (object == nullptr || !detail::Implements<I>(object->GetInterfaceId()->code)) return nullptr;
  return static_cast<I*>(object);
}

/// object as interface I when its record has I's code; null otherwise or when object is null.
/// Ownership does not change.
template <class I>
const I* InterfaceCast(const utility::IObject* object) {
  if (object == nullptr || !detail::Implements<I>(object->GetInterfaceId()->code)) return nullptr;
  return static_cast<const I*>(object);
}

/// A library object returned as ISharedInterface (every export's result) as interface I; null when
/// it is not an I. Ownership does not change.
template <class I>
I* InterfaceCast(utility::ISharedInterface* object) {
  /// Every library object implements IObject.
  return InterfaceCast<I>(static_cast<utility::IObject*>(object));
}

/// Moves object's object into the result when it implements I. Otherwise the result is empty and
/// object keeps owning its object.
template <class I, class From>
Ptr<I> InterfaceCast(Ptr<From>&& object) {
  I* converted = InterfaceCast<I>(object.get());
  if (converted == nullptr) return nullptr;
  (void)object.release();
  return Ptr<I>(adopt, converted);
}

}  // namespace kivo::sdk
