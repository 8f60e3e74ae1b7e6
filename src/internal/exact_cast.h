// ExactCast: the class test of the copy and compare paths, without a walk of the class tree.
// SPDX-License-Identifier: MIT
#pragma once

#include <type_traits>
#include <typeinfo>

namespace kivo::detail {

// object as a Final, or null when it is null or of another class. Final has no derived classes,
// so this answers what a dynamic_cast would; a comparison of two type records costs far less
// than the search of the class tree that a dynamic_cast makes.
template <class Final, class Base>
Final* ExactCast(Base* object) noexcept {
  static_assert(std::is_final_v<std::remove_const_t<Final>> && std::is_base_of_v<Base, Final>);
  if (object == nullptr || typeid(*object) != typeid(Final)) return nullptr;
  return static_cast<Final*>(object);
}

}  // namespace kivo::detail
