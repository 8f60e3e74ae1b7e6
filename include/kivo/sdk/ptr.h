// Ptr<I>: the move-only owner of one library object, ended with Destroy.
// SPDX-License-Identifier: MIT
#pragma once

// A Ptr owns at most one object and ends it exactly once: on reset(), on assignment of another
// object, or when the Ptr goes out of scope. Raw pointers are adopted only explicitly, through the
// `adopt` tag or attach(); release() hands the object back without ending it.
//
//   kivo::sdk::Ptr<IStringObject> text{kivo::sdk::adopt, raw};  // takes ownership of raw
//   text->SetString("hello");
//   IStringObject* mine = text.release();                        // caller owns mine now
//
// NOTE: A Ptr has no operator&; pass put() where an operation writes a new object to a
// `T**` out-parameter.

#include <cstddef>
#include <type_traits>
#include <utility>

#include "kivo/utility/object.h"

namespace kivo::sdk {

/// The tag that makes a Ptr adopt a raw pointer.
struct AdoptTag {
  explicit AdoptTag() = default;
};
inline constexpr AdoptTag adopt{};

/// An owner of one library object: ends it with Destroy, copies it with Share where it can.
template <class I>
class Ptr {
  static_assert(std::is_base_of_v<utility::ISharedInterface, I>,
                "Ptr holds library objects: interfaces derived from ISharedInterface");
  static_assert(!std::is_const_v<I>, "ending an object needs a non-const pointer");

 public:
  /// The interface owned.
  using element_type = I;

  /// An empty owner; owns nothing.
  constexpr Ptr() noexcept = default;
  /// An empty owner; owns nothing.
  constexpr Ptr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
  /// Takes ownership of object (null gives an empty owner).
  Ptr(AdoptTag, I* object) noexcept : object_(object) {}
  /// Takes ownership of other's object; other is left empty.
  Ptr(Ptr&& other) noexcept : object_(other.release()) {}
  /// Takes ownership of other's object, seen through the base interface I; other is left empty.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, I*>>>
  Ptr(Ptr<U>&& other) noexcept  // NOLINT(google-explicit-constructor)
      : object_(other.release()) {}

  Ptr(const Ptr&) = delete;
  Ptr& operator=(const Ptr&) = delete;

  /// Ends the owned object and takes ownership of other's; other is left empty.
  Ptr& operator=(Ptr&& other) noexcept {
    if (this != &other) attach(other.release());
    return *this;
  }
  /// Ends the owned object and takes ownership of other's; other is left empty.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, I*>>>
  Ptr& operator=(Ptr<U>&& other) noexcept {
    attach(other.release());
    return *this;
  }
  /// Ends the owned object; the owner is empty afterwards.
  Ptr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  /// Ends the owned object.
  ~Ptr() { reset(); }

  /// Ends the owned object, if any, exactly once; the owner is empty afterwards.
  void reset() noexcept {
    // Emptied before Destroy, so that nothing reached from Destroy sees a dangling owner.
    if (I* old = std::exchange(object_, nullptr)) old->Destroy();
  }

  /// Takes ownership of object and ends the one owned before. Attaching the object already owned
  /// keeps it (it is not ended).
  void attach(I* object) noexcept {
    I* old = std::exchange(object_, object);
    if (old != nullptr && old != object) old->Destroy();
  }

  /// Gives up ownership without ending the object; the caller owns the result (may be null).
  [[nodiscard]] I* release() noexcept { return std::exchange(object_, nullptr); }
  /// Same as release(): the caller owns the result.
  [[nodiscard]] I* detach() noexcept { return release(); }

  /// The owned object, still owned by this Ptr (null when empty).
  I* get() const noexcept { return object_; }
  /// The owned object, still owned by this Ptr; the Ptr must not be empty.
  I* operator->() const noexcept { return object_; }
  /// The owned object, still owned by this Ptr; the Ptr must not be empty.
  I& operator*() const noexcept { return *object_; }

  /// Ends the owned object and returns the address of the now null slot, for an operation that
  /// writes a new object there; this Ptr owns whatever is written.
  I** put() noexcept {
    reset();
    return &object_;
  }

  /// True when an object is owned.
  explicit operator bool() const noexcept { return object_ != nullptr; }

  /// Exchanges the owned objects; nothing is ended.
  void swap(Ptr& other) noexcept { std::swap(object_, other.object_); }
  /// Exchanges the owned objects; nothing is ended.
  friend void swap(Ptr& a, Ptr& b) noexcept { a.swap(b); }

  /// True when p owns nothing.
  friend bool operator==(const Ptr& p, std::nullptr_t) noexcept { return p.object_ == nullptr; }
  /// True when p owns an object.
  friend bool operator!=(const Ptr& p, std::nullptr_t) noexcept { return p.object_ != nullptr; }

 private:
  I* object_ = nullptr;
};

/// Adopts object: the result owns it.
template <class I>
Ptr<I> Adopt(I* object) noexcept {
  return Ptr<I>(adopt, object);
}

}  // namespace kivo::sdk
