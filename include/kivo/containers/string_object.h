// IStringObject: a narrow text carried across module boundaries.
// SPDX-License-Identifier: MIT
#pragma once

// A string object holds a sequence of bytes without a NUL inside; the library attaches no
// encoding to them. Slots 5 to 7 follow the common object slots; slot 8 is the destructor.

#include <cstdint>

#include "kivo/utility/object.h"

namespace kivo::containers {

/// A text of bytes, NUL-terminated, owned by the library.
class IStringObject : public utility::IObject {
 public:
  /// Slot 5. The number of bytes of the text, without the terminator.
  virtual std::uint64_t GetLength() const = 0;

  /// Slot 6. Replaces the text by a copy of text up to its first NUL. text may point into this
  /// object's own text. A null text is taken as the empty text.
  /// Throws std::bad_alloc ("bad allocation") with the previous text kept.
  virtual void SetString(const char* text) = 0;

  /// Slot 7. The text, NUL-terminated; never null. Valid until the next SetString, CopyFrom or
  /// Destroy of this object. The object owns the bytes; read, never write, through the pointer.
  virtual const char* GetString() const = 0;
};

}  // namespace kivo::containers

namespace kivo::utility {

/// The record name of IStringObject.
template <>
struct InterfaceName<containers::IStringObject> {
  /// The name.
  static constexpr const char* value = "kivo::containers::IStringObject";
};

}  // namespace kivo::utility
