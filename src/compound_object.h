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

}  // namespace kivo::detail

namespace kivo::containers {

class CompoundObject final : public utility::SharedImplementation<ICompoundObject> {
 public:
  CompoundObject() = default;

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
  // The record that path leads to through nested records, and the key to look up in it.
  std::pair<const CompoundObject*, std::string_view> ResolvePath(std::string_view path) const;
  // The nested record under segment, made (or made in place of a member that is not a record,
  // when overwrite is set) as Set walks its path. Null when a member is in the way. A replaced
  // member moves to *displaced rather than ending here.
  CompoundObject* EnterRecord(std::string_view segment, bool overwrite,
                              detail::Owned<ISharedTypelessObject>* displaced);
  ISharedTypelessObject* Lookup(const char* path, const utility::InterfaceId* type) const;
  void AddTotalCount(std::uint32_t* count) const;

  detail::MemberMap members;
};

}  // namespace kivo::containers

namespace kivo::detail {

// True when member holds a unique object labelled with the ICompoundObject code.
bool IsCompoundMember(const containers::ISharedTypelessObject* member);

// The record inside a member that passes IsCompoundMember: null when the payload is not a
// CompoundObject of this library (another class, raw bytes, or nothing). Throws std::bad_cast
// ("bad cast") when the member's writable unique object is not labelled ICompoundObject.
containers::CompoundObject* GetCompoundPayload(containers::ISharedTypelessObject& member);

// A new member holding a new, empty nested record.
struct CompoundMember {
  Owned<containers::ISharedTypelessObject> member;
  containers::CompoundObject* record;  // owned through member
};
CompoundMember MakeCompoundMember();

}  // namespace kivo::detail
