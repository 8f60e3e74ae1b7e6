// CompoundObject: the library's ICompoundObject, a keyed record of shared typeless members.
// SPDX-License-Identifier: MIT
#pragma once

// Members are kept in an ordered map whose nodes and key bytes come from the library's heap.
// A nested record is a member whose unique object is labelled with the ICompoundObject code and
// holds a CompoundObject; the record reaches it through the member's own interfaces only.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>
#include <utility>

#include "internal/errors.h"
#include "internal/member_key.h"
#include "internal/memory.h"
#include "internal/shared_implementation.h"
#include "kivo/containers/compound_object.h"

namespace kivo::detail {

// An entry may hold no object: that is what a member whose copy failed leaves behind.
using MemberMap =
    std::map<Key, Owned<containers::ISharedTypelessObject>, KeyLess,
             Allocator<std::pair<const Key, Owned<containers::ISharedTypelessObject>>>>;

// Throws std::length_error ("map/set too long") when map cannot take one more entry.
template <class Map>
void EnsureRoomForOneMore(const Map& map) {
  if (map.size() >= map.max_size()) ThrowLengthError(kMapSetTooLong);
}

// Whether a and b, two distinct records or two distinct typeless vectors of this library, hold
// equal values. Walks nested records and vectors with a work list; a pair met again while it is
// being compared (a cycle) counts as equal.
bool EqualContainers(const utility::IObject& a, const utility::IObject& b);

}  // namespace kivo::detail

namespace kivo::containers {

class CompoundObject final : public utility::SharedImplementation<ICompoundObject> {
 public:
  CompoundObject() = default;
  ~CompoundObject() override;

  // Ends the record. Records that end meanwhile on this thread (members whose last owner was
  // this record, at any depth) end in the outermost call, one member at a time, depth first in
  // key order: the stack does not grow with the depth of the record.
  void Destroy() noexcept override;
  bool CopyFrom(const utility::IObject* other) override;
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  bool IsEmpty() const override;
  std::uint32_t GetCount() const override;
  std::uint32_t GetTotalCount() const override;
  void Clear() override;
  std::uint64_t Merge(const ICompoundObject* other, bool overwrite) override;
  bool Set(const char* path, const ISharedTypelessObject* value, bool overwrite) override;
  bool Contains(const char* path, const utility::InterfaceId* type) const override;
  ISharedTypelessObject* Get(const char* path, const utility::InterfaceId* type) override;
  ISharedTypelessObject* GetConst(const char* path,
                                  const utility::InterfaceId* type) const override;
  bool Remove(const char* path) override;
  void GetKeys(const char** keys, std::uint32_t capacity) const override;

 private:
  // The record that path leads to from root through nested records, and the key to look up in
  // it. Record is CompoundObject or const CompoundObject.
  template <class Record>
  static std::pair<Record*, std::string_view> ResolvePath(Record* root, std::string_view path);
  // The nested record under segment, made (or made in place of a member that is not a record,
  // when overwrite is set) as Set walks its path. Null when a member is in the way. A replaced
  // member moves to *displaced rather than ending here.
  CompoundObject* EnterRecord(std::string_view segment, bool overwrite,
                              detail::Owned<ISharedTypelessObject>* displaced);
  ISharedTypelessObject* Lookup(const char* path, const utility::InterfaceId* type) const;
  // A deep copy of member, made while copying from the record within (which the copy must not
  // walk into again); null when there is nothing to copy or the copy fails.
  static detail::Owned<ISharedTypelessObject> Duplicate(const ISharedTypelessObject* member,
                                                        const CompoundObject& within);
  // Ends every member of doomed, which no record holds any more; see Destroy.
  static void EndMembers(detail::MemberMap* doomed) noexcept;

  friend bool detail::EqualContainers(const utility::IObject& a, const utility::IObject& b);

  detail::MemberMap members;
  // The next record on this thread's list of records waiting to end.
  CompoundObject* nextEnding = nullptr;
};

}  // namespace kivo::containers

namespace kivo::detail {

// A new member holding a new, empty nested record, its unique object labelled type.
struct CompoundMember {
  Owned<containers::ISharedTypelessObject> member;
  containers::CompoundObject* record;  // owned through member
};
CompoundMember MakeCompoundMember(
    const utility::InterfaceId* type = utility::InterfaceIdOf<containers::ICompoundObject>());

}  // namespace kivo::detail
