// ICompoundObject: a keyed record of shared typeless members, nested through paths.
// SPDX-License-Identifier: MIT
#pragma once

// Members are shared typeless objects kept in bytewise key order. A member whose payload is a
// compound object (type code of the ICompoundObject record) is a nested record; keyed operations
// take a path of keys joined by '/', which walks down through nested records. Paths are
// NUL-terminated; a path ending in '/' addresses the empty key of the last record.
// Slots 5 to 15 follow the common object slots; slot 16 is the destructor.

#include <cstdint>

#include "kivo/containers/typeless_object.h"
#include "kivo/utility/object.h"

namespace kivo::containers {

/// A record: members keyed by text, each a shared typeless value; nested records are reached by
/// paths.
class ICompoundObject : public utility::IObject {
 public:
  /// Slot 5. True when the record has no direct member.
  virtual bool IsEmpty() const = 0;

  /// Slot 6. The number of direct members (low 32 bits).
  virtual std::uint32_t GetCount() const = 0;

  /// Slot 7. The number of members at every depth, nested records walked depth first.
  virtual std::uint32_t GetTotalCount() const = 0;

  /// Slot 8. Ends every member.
  virtual void Clear() = 0;

  /// Slot 9. Enters deep copies of other's direct members: replacing existing keys when overwrite
  /// is set, skipping them otherwise. Answers the number entered; 0 for null, this or a foreign
  /// record.
  virtual std::uint64_t Merge(const ICompoundObject* other, bool overwrite) = 0;

  /// Slot 10. Stores a new Share of value at path, making nested records on the way. The caller
  /// keeps owning value. False for a null value or path, an empty segment (records already made
  /// stay), or an existing member in the way while overwrite is clear.
  virtual bool Set(const char* path, const ISharedTypelessObject* value, bool overwrite) = 0;

  /// Slot 11. True when path names a member and, if type is not null, its payload's type code
  /// equals type's.
  virtual bool Contains(const char* path, const utility::InterfaceId* type) const = 0;

  /// Slot 12. A new Share of the member at path (type tested as Contains does), owned by the
  /// caller; null when there is none.
  virtual ISharedTypelessObject* Get(const char* path, const utility::InterfaceId* type) = 0;

  /// Slot 13. As slot 12.
  virtual ISharedTypelessObject* GetConst(const char* path,
                                          const utility::InterfaceId* type) const = 0;

  /// Slot 14. Ends the member at path; false when there is none (or path is null).
  virtual bool Remove(const char* path) = 0;

  /// Slot 15. Writes up to capacity pointers to the direct keys, in key order. They point into the
  /// record and stay valid until that member is removed or the record is cleared, copied into or
  /// destroyed. A null keys array gets nothing.
  virtual void GetKeys(const char** keys, std::uint32_t capacity) const = 0;
};

}  // namespace kivo::containers

namespace kivo::utility {

/// The record name of ICompoundObject.
template <>
struct InterfaceName<containers::ICompoundObject> {
  /// The name.
  static constexpr const char* value = "kivo::containers::ICompoundObject";
};

}  // namespace kivo::utility
