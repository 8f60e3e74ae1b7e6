// The exceptions the library throws, with their fixed what() texts.
// SPDX-License-Identifier: MIT
#pragma once

// The platform's own what() texts differ from the library's ("std::bad_alloc" and the like), so
// the library throws types derived from the standard ones that answer with the fixed text.
// Clients catch them as the standard types.

#include <new>
#include <stdexcept>
#include <typeinfo>

namespace kivo::detail {

inline constexpr const char kStringTooLong[] = "string too long";
inline constexpr const char kVectorTooLong[] = "vector too long";
inline constexpr const char kMapSetTooLong[] = "map/set too long";
inline constexpr const char kCannotCopy[] =
    "Can not copy from an object that doesn't derive from utility::IObject";
inline constexpr const char kCannotCompare[] =
    "Can not test equality of objects that don't derive from utility::IObject";

#if defined(_MSC_VER)
// The Visual C++ run-time's classes answer with these texts themselves: the library throws them
// as they are, so a client sees exactly the standard type (typeid, catch by value).
using BadAllocation = std::bad_alloc;
using BadArrayNewLength = std::bad_array_new_length;
using BadCast = std::bad_cast;
#else
class BadAllocation final : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

class BadArrayNewLength final : public std::bad_array_new_length {
 public:
  const char* what() const noexcept override { return "bad array new length"; }
};

class BadCast final : public std::bad_cast {
 public:
  const char* what() const noexcept override { return "bad cast"; }
};
#endif

[[noreturn]] inline void ThrowBadAlloc() { throw BadAllocation(); }
[[noreturn]] inline void ThrowBadArrayNewLength() { throw BadArrayNewLength(); }
[[noreturn]] inline void ThrowBadCast() { throw BadCast(); }
[[noreturn]] inline void ThrowLengthError(const char* text) { throw std::length_error(text); }
[[noreturn]] inline void ThrowRuntimeError(const char* text) { throw std::runtime_error(text); }

}  // namespace kivo::detail
