// ICompoundObject: a keyed record of shared typeless members, nested through paths.
// SPDX-License-Identifier: MIT
#pragma once

// Members are shared typeless objects kept in bytewise key order. A member whose payload is a
// compound object (type code of the ICompoundObject record) is a nested record; keyed operations
// take a path of keys joined by '/', which walks down through nested records. Paths are
// NUL-terminated; a path ending in '/' addresses the empty key of the last record.
// Slots 5 to 15 follow the common object slots; slot 16 is the destructor.
//
// Depth and cycles. Every walk through nested records (Destroy, CopyFrom, Merge, Equals,
// GetTotalCount and the paths) keeps its progress on the heap, so a record of any depth works on
// any thread's stack; visits stay depth first in key order. A record may hold itself, directly
// or through others (a handle from Get stored back inside with Set). Such a cycle is walked once:
// GetTotalCount counts the member that closes it but does not enter the record again; Equals
// takes a pair of records met again while it is comparing them as equal (the rest decides);
// CopyFrom and Merge cut the cycle, storing an empty value in the copy of the closing member, so
// a copy never holds a cycle. Members are shared, not traced: a record in a cycle is never ended
// by the shared counts, even when nothing outside holds it any more. Remove (or Clear) the
// member that closes the cycle to end it. An operation that ends the record's own last owner
// (Clear, Remove, Set or Merge replacing that member, CopyFrom) ends the record safely, as its
// last step.

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

  /// Slot 7. The number of members at every depth, nested records walked depth first; a record
  /// the walk is already inside is counted as a member but not entered again. Throws
  /// std::bad_cast ("bad cast") for a member labelled ICompoundObject whose payload is not a
  /// record of this library.
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
  /// equals type's. Slots 10 to 14 throw std::bad_cast ("bad cast") when the path runs through a
  /// handle (of another implementation) whose read-only unique object is labelled ICompoundObject
  /// but whose writable one is not.
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
