// CompoundObject: paths through nested records, deep copies, merges and comparisons.
// SPDX-License-Identifier: MIT
#include "compound_object.h"

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "internal/clone.h"
#include "internal/exact_cast.h"
#include "internal/factories.h"
#include "kivo/containers/exports.h"
#include "typeless_objects.h"

namespace kivo::detail {
namespace {

using containers::CompoundObject;
using containers::ICompoundObject;
using containers::ISharedTypelessObject;
using containers::ITypelessObject;
using containers::IUniqueTypelessObject;

bool IsCompoundType(const utility::InterfaceId* type) noexcept {
  return type != nullptr && type->code == utility::InterfaceIdOf<ICompoundObject>()->code;
}

// The CompoundObject that unique holds when it is labelled ICompoundObject; null otherwise.
CompoundObject* RecordIn(IUniqueTypelessObject* unique) {
  // Only the non-trivial class holds an object behind GetData; any other class (the trivial
  // family's raw bytes included) must never be taken for one. Both classes are final, so
  // comparing the exact class answers what a dynamic_cast would, for less.
  auto* holder = ExactCast<containers::UniqueTypelessNonTrivialObject>(unique);
  if (holder == nullptr || !IsCompoundType(holder->GetTypeId())) return nullptr;
  // The holder stores the object as ISharedInterface*; cast from what it stored.
  return ExactCast<CompoundObject>(static_cast<utility::ISharedInterface*>(holder->GetData()));
}

// The nested record of member, or null when it is not one that this record can walk into.
CompoundObject* NestedRecord(ISharedTypelessObject* member) {
  // The library's own holder gives the same unique object to both of its reading slots.
  if (auto* own = ExactCast<containers::SharedTypelessObject>(member)) {
    return RecordIn(own->GetUnique());
  }
  return IsCompoundMember(member) ? RecordIn(member->GetUnique()) : nullptr;
}

// Whether it, the lower bound of key in map, is the entry of key.
bool HasKey(const MemberMap::const_iterator& it, const MemberMap& map, std::string_view key) {
  return it != map.end() && !map.key_comp()(key, it->first);
}

// An entry without an object reads as an empty value: type void.
bool HasType(const ISharedTypelessObject* member, const utility::InterfaceId* type) {
  const utility::InterfaceId* held =
      member != nullptr ? member->GetTypeId() : utility::VoidInterfaceId();
  return held != nullptr && held->code == type->code;
}

// An entry without an object equals only another entry without one.
bool SameMember(const ISharedTypelessObject* a, const ISharedTypelessObject* b) {
  return a == nullptr ? b == nullptr : a->Equals(b);
}

// A deep copy of member; null (an entry without an object) when the copy fails or there is
// nothing to copy.
Owned<ISharedTypelessObject> Duplicate(const ISharedTypelessObject* member) {
  return member != nullptr ? Clone<ISharedTypelessObject>(*member) : nullptr;
}

}  // namespace

bool IsCompoundMember(const ISharedTypelessObject* member) {
  if (member == nullptr) return false;
  const ITypelessObject* unique = member->GetConstUnique();
  return unique != nullptr && IsCompoundType(unique->GetTypeId());
}

CompoundObject* GetCompoundPayload(ISharedTypelessObject& member) {
  IUniqueTypelessObject* unique = member.GetUnique();
  if (unique == nullptr || !IsCompoundType(unique->GetTypeId())) ThrowBadCast();
  return RecordIn(unique);
}

CompoundMember MakeCompoundMember() {
  auto* const record = new CompoundObject();
  Owned<ISharedTypelessObject> member(containers::SharedTypelessObject::NewHolding(
      Owned<utility::ISharedInterface>(record), utility::InterfaceIdOf<ICompoundObject>()));
  return {std::move(member), record};
}

utility::ISharedInterface* NewCompoundObject() { return new containers::CompoundObject(); }

}  // namespace kivo::detail

namespace kivo::containers {

using detail::MemberMap;
using detail::Owned;

bool CompoundObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = dynamic_cast<const CompoundObject*>(other);
  if (source == nullptr) return false;
  // The old members end only when the copy is done: source may be a record nested in one of
  // them and kept alive by it alone.
  MemberMap previous;
  previous.swap(members);
  for (const auto& [key, member] : source->members) {
    Owned<ISharedTypelessObject> copy = detail::Duplicate(member.get());
    detail::EnsureRoomForOneMore(members);
    members.emplace_hint(members.end(), key, std::move(copy));
  }
  return true;
}

bool CompoundObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = dynamic_cast<const CompoundObject*>(other);
  if (that == nullptr || that->members.size() != members.size()) return false;
  for (auto a = members.begin(), b = that->members.begin(); a != members.end(); ++a, ++b) {
    if (std::string_view(a->first) != std::string_view(b->first)) return false;
    if (!detail::SameMember(a->second.get(), b->second.get())) return false;
  }
  return true;
}

utility::IObject* CompoundObject::NewInstance() const { return new CompoundObject(); }

bool CompoundObject::IsEmpty() const { return members.empty(); }

std::uint32_t CompoundObject::GetCount() const {
  return static_cast<std::uint32_t>(members.size());
}

std::uint32_t CompoundObject::GetTotalCount() const {
  std::uint32_t count = 0;
  AddTotalCount(&count);
  return count;
}

void CompoundObject::AddTotalCount(std::uint32_t* count) const {
  for (const auto& entry : members) {
    ++*count;
    ISharedTypelessObject* member = entry.second.get();
    if (!detail::IsCompoundMember(member)) continue;
    const CompoundObject* nested = detail::GetCompoundPayload(*member);
    if (nested == nullptr) detail::ThrowBadCast();
    nested->AddTotalCount(count);
  }
}

void CompoundObject::Clear() { members.clear(); }

std::uint64_t CompoundObject::Merge(const ICompoundObject* other, bool overwrite) {
  if (other == this) return 0;
  const auto* source = dynamic_cast<const CompoundObject*>(other);
  if (source == nullptr) return 0;
  // Replaced members end only when the merge is done: source may be a record nested in one of
  // them and kept alive by it alone.
  std::vector<Owned<ISharedTypelessObject>, detail::Allocator<Owned<ISharedTypelessObject>>>
      replaced;
  std::uint64_t entered = 0;
  for (const auto& [key, member] : source->members) {
    Owned<ISharedTypelessObject> copy = detail::Duplicate(member.get());
    const auto it = members.lower_bound(key);
    if (detail::HasKey(it, members, key)) {
      if (!overwrite) continue;
      replaced.emplace_back();
      replaced.back() = std::exchange(it->second, std::move(copy));
    } else {
      detail::EnsureRoomForOneMore(members);
      members.emplace_hint(it, key, std::move(copy));
    }
    ++entered;
  }
  return entered;
}

CompoundObject* CompoundObject::EnterRecord(std::string_view segment, bool overwrite,
                                            Owned<ISharedTypelessObject>* displaced) {
  const auto it = members.lower_bound(detail::KeyProbe(segment));
  if (detail::HasKey(it, members, segment)) {
    if (CompoundObject* nested = detail::NestedRecord(it->second.get())) return nested;
    if (!overwrite) return nullptr;
    detail::CompoundMember fresh = detail::MakeCompoundMember();
    *displaced = std::exchange(it->second, std::move(fresh.member));
    return fresh.record;
  }
  detail::EnsureRoomForOneMore(members);
  detail::CompoundMember fresh = detail::MakeCompoundMember();
  members.emplace_hint(it, detail::Key(segment.data(), segment.size()), std::move(fresh.member));
  return fresh.record;
}

bool CompoundObject::Set(const char* path, const ISharedTypelessObject* value, bool overwrite) {
  if (value == nullptr || path == nullptr) return false;
  // A member replaced on the way ends when Set returns, since path may point into it. Only one
  // can be replaced: every record after it is new and empty.
  Owned<ISharedTypelessObject> displaced;
  CompoundObject* record = this;
  std::string_view rest(path);
  for (std::size_t slash = rest.find('/'); slash != std::string_view::npos;
       slash = rest.find('/')) {
    if (slash == 0) return false;
    record = record->EnterRecord(rest.substr(0, slash), overwrite, &displaced);
    if (record == nullptr) return false;
    rest.remove_prefix(slash + 1);
  }
  Owned<ISharedTypelessObject> handle(value->Share());
  if (handle == nullptr) return false;
  MemberMap& target = record->members;
  const auto it = target.lower_bound(detail::KeyProbe(rest));
  if (detail::HasKey(it, target, rest)) {
    if (!overwrite) return false;
    it->second = std::move(handle);
    return true;
  }
  detail::EnsureRoomForOneMore(target);
  target.emplace_hint(it, detail::Key(rest.data(), rest.size()), std::move(handle));
  return true;
}

std::pair<const CompoundObject*, std::string_view> CompoundObject::ResolvePath(
    std::string_view path) const {
  const CompoundObject* record = this;
  for (;;) {
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos || slash == 0) break;
    const auto it = record->members.find(detail::KeyProbe(path.substr(0, slash)));
    if (it == record->members.end()) break;
    const CompoundObject* nested = detail::NestedRecord(it->second.get());
    if (nested == nullptr) break;
    record = nested;
    path.remove_prefix(slash + 1);
  }
  return {record, path};
}

bool CompoundObject::Contains(const char* path, const utility::InterfaceId* type) const {
  if (path == nullptr) return false;
  const auto [record, key] = ResolvePath(path);
  const auto it = record->members.find(detail::KeyProbe(key));
  if (it == record->members.end()) return false;
  return type == nullptr || detail::HasType(it->second.get(), type);
}

ISharedTypelessObject* CompoundObject::Lookup(const char* path,
                                              const utility::InterfaceId* type) const {
  if (path == nullptr) return nullptr;
  const auto [record, key] = ResolvePath(path);
  const auto it = record->members.find(detail::KeyProbe(key));
  if (it == record->members.end()) return nullptr;
  const ISharedTypelessObject* member = it->second.get();
  if (type != nullptr && !detail::HasType(member, type)) return nullptr;
  if (member == nullptr) {
    return static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  }
  return member->Share();
}

ISharedTypelessObject* CompoundObject::Get(const char* path, const utility::InterfaceId* type) {
  return Lookup(path, type);
}

ISharedTypelessObject* CompoundObject::GetConst(const char* path,
                                                const utility::InterfaceId* type) const {
  return Lookup(path, type);
}

bool CompoundObject::Remove(const char* path) {
  if (path == nullptr) return false;
  const auto [found, key] = ResolvePath(path);
  // Every record on a path is owned, through its members, by this one.
  MemberMap& map = const_cast<CompoundObject*>(found)->members;
  const auto it = map.find(detail::KeyProbe(key));
  if (it == map.end()) return false;
  map.erase(it);
  return true;
}

void CompoundObject::GetKeys(const char** keys, std::uint32_t capacity) const {
  if (keys == nullptr) return;
  const std::uint32_t count = std::min(GetCount(), capacity);
  auto it = members.begin();
  for (std::uint32_t i = 0; i < count; ++i, ++it) keys[i] = it->first.c_str();
}

}  // namespace kivo::containers
