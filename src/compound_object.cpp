// CompoundObject: paths through nested records, deep copies, merges and comparisons.
// SPDX-License-Identifier: MIT
#include "compound_object.h"

#include <algorithm>
#include <typeinfo>
#include <vector>

#include "internal/clone.h"
#include "internal/exact_cast.h"
#include "internal/factories.h"
#include "internal/work_list.h"
#include "kivo/containers/exports.h"
#include "typeless_objects.h"
#include "typeless_vector_object.h"

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

// The record a deep copy of member would copy through CompoundObject::CopyFrom: member is this
// library's shared object, holding its non-trivial unique object, holding a record. Null for any
// other member, which is copied through its own class.
const CompoundObject* CopiedRecordIn(const ISharedTypelessObject& member) {
  if (typeid(member) != typeid(containers::SharedTypelessObject)) return nullptr;
  const ITypelessObject* unique = member.GetConstUnique();
  if (unique == nullptr || typeid(*unique) != typeid(containers::UniqueTypelessNonTrivialObject)) {
    return nullptr;
  }
  const auto* payload = static_cast<const utility::ISharedInterface*>(
      static_cast<const IUniqueTypelessObject*>(unique)->GetConstData());
  if (payload == nullptr || typeid(*payload) != typeid(CompoundObject)) return nullptr;
  return static_cast<const CompoundObject*>(payload);
}

// Whether the value behind member can be reached through another holder than member: always,
// unless member is this library's handle and holds its unique object alone.
bool OthersHold(const ISharedTypelessObject& member) {
  return typeid(member) != typeid(containers::SharedTypelessObject) ||
         static_cast<const containers::SharedTypelessObject&>(member).SharesUnique();
}

// The records whose last owner went while an ending was already under way on this thread; the
// outermost ending ends them. See CompoundObject::Destroy.
struct Endings {
  CompoundObject* top = nullptr;
  bool draining = false;
};
thread_local Endings endings;

// The questions about nested records, answered in one place. A member is a nested record when
// its read-only unique object is labelled with the ICompoundObject code (IsCompoundMember); the
// record is then reached through its writable unique object (GetCompoundPayload), and every walk
// goes through NestedRecord.

bool IsCompoundMember(const ISharedTypelessObject* member) {
  if (member == nullptr) return false;
  const ITypelessObject* unique = member->GetConstUnique();
  return unique != nullptr && IsCompoundType(unique->GetTypeId());
}

// The record inside a member that passes IsCompoundMember. Throws std::bad_cast ("bad cast") when
// the writable unique object is missing or not labelled ICompoundObject, which only a handle of
// another implementation can answer; null when the payload is not this library's record.
CompoundObject* GetCompoundPayload(ISharedTypelessObject& member) {
  IUniqueTypelessObject* unique = member.GetUnique();
  if (unique == nullptr || !IsCompoundType(unique->GetTypeId())) ThrowBadCast();
  return RecordIn(unique);
}

CompoundObject* NestedRecord(ISharedTypelessObject* member) {
  // The library's own holder gives the same unique object to both of its reading slots, so its
  // answer is GetCompoundPayload's without the virtual calls.
  if (auto* own = ExactCast<containers::SharedTypelessObject>(member)) {
    return RecordIn(own->GetUnique());
  }
  return IsCompoundMember(member) ? GetCompoundPayload(*member) : nullptr;
}

}  // namespace

CompoundMember MakeCompoundMember(const utility::InterfaceId* type) {
  auto* const record = new CompoundObject();
  Owned<ISharedTypelessObject> member(
      containers::SharedTypelessObject::NewHolding(Owned<utility::ISharedInterface>(record), type));
  return {std::move(member), record};
}

namespace {

using ContainerPair = std::pair<const utility::IObject*, const utility::IObject*>;

// The two payloads that a's Equals with b comes down to, when they are two distinct records or
// two distinct typeless vectors of this library: the walk compares those itself, as their Equals
// would. Nulls when a's own Equals is to answer; it then goes no deeper than the payloads.
ContainerPair ComparedContainers(const ISharedTypelessObject& a, const ISharedTypelessObject& b) {
  using Shared = containers::SharedTypelessObject;
  using NonTrivial = containers::UniqueTypelessNonTrivialObject;
  if (&a == &b || typeid(a) != typeid(Shared) || typeid(b) != typeid(Shared)) return {};
  const ITypelessObject* const ua = a.GetConstUnique();
  const ITypelessObject* const ub = b.GetConstUnique();
  if (ua == nullptr || ub == nullptr || ua == ub || typeid(*ua) != typeid(NonTrivial) ||
      typeid(*ub) != typeid(NonTrivial)) {
    return {};
  }
  const utility::InterfaceId* const ta = ua->GetTypeId();
  const utility::InterfaceId* const tb = ub->GetTypeId();
  if (ta == nullptr || tb == nullptr ? ta != tb : ta->code != tb->code) return {};
  const auto* pa = static_cast<const utility::ISharedInterface*>(
      static_cast<const IUniqueTypelessObject*>(ua)->GetConstData());
  const auto* pb = static_cast<const utility::ISharedInterface*>(
      static_cast<const IUniqueTypelessObject*>(ub)->GetConstData());
  if (pa == nullptr || pb == nullptr || pa == pb || typeid(*pa) != typeid(*pb)) return {};
  if (typeid(*pa) != typeid(CompoundObject) &&
      typeid(*pa) != typeid(containers::TypelessVectorObject)) {
    return {};
  }
  return {static_cast<const utility::IObject*>(pa), static_cast<const utility::IObject*>(pb)};
}

}  // namespace

bool EqualContainers(const utility::IObject& a, const utility::IObject& b) {
  using Vector = containers::TypelessVectorObject;
  using Element = const ISharedTypelessObject* const*;
  // The members still to compare in one pair of records (record set) or of vectors.
  struct Frame {
    const CompoundObject* record;
    MemberMap::const_iterator a, a_end, b;
    Element va, va_end, vb;
  };
  ActivePath<ContainerPair, Frame, PairHash> path;
  // Enters a pair of the same class; false when their sizes already tell them apart.
  auto enter = [&path](const utility::IObject* x, const utility::IObject* y, bool reachable) {
    Frame frame{};
    if (typeid(*x) == typeid(CompoundObject)) {
      const auto& ra = static_cast<const CompoundObject&>(*x);
      const auto& rb = static_cast<const CompoundObject&>(*y);
      if (ra.members.size() != rb.members.size()) return false;
      frame.record = &ra;
      frame.a = ra.members.begin(), frame.a_end = ra.members.end(), frame.b = rb.members.begin();
    } else {
      const auto& va = static_cast<const Vector&>(*x);
      const auto& vb = static_cast<const Vector&>(*y);
      if (va.GetSize() != vb.GetSize()) return false;
      frame.va = va.GetData(), frame.va_end = va.GetData() + va.GetSize(), frame.vb = vb.GetData();
    }
    path.Enter({x, y}, frame, reachable);
    return true;
  };
  if (!enter(&a, &b, true)) return false;
  while (!path.empty()) {
    Frame& frame = path.top();
    const ISharedTypelessObject* ma = nullptr;
    const ISharedTypelessObject* mb = nullptr;
    if (frame.record != nullptr) {
      if (frame.a == frame.a_end) {
        path.Leave();
        continue;
      }
      if (std::string_view(frame.a->first) != std::string_view(frame.b->first)) return false;
      ma = (frame.a++)->second.get();
      mb = (frame.b++)->second.get();
    } else {
      if (frame.va == frame.va_end) {
        path.Leave();
        continue;
      }
      ma = *frame.va++;
      mb = *frame.vb++;
    }
    // An entry without an object, or a null element, equals only its like.
    if (ma == nullptr || mb == nullptr) {
      if (ma != mb) return false;
      continue;
    }
    const auto [pa, pb] = ComparedContainers(*ma, *mb);
    if (pa == nullptr) {
      if (!ma->Equals(mb)) return false;
      continue;
    }
    // A pair already under comparison further out (a cycle) is equal unless that comparison
    // finds otherwise.
    // The pair can come round again only if one of its values can: one that another holder
    // shares, or one the walk started from. Along an endless descent such pairs repeat.
    const bool reachable = OthersHold(*ma) || pa == &a || OthersHold(*mb) || pb == &b;
    if (path.Find({pa, pb}, reachable) != path.npos) continue;
    if (!enter(pa, pb, reachable)) return false;
  }
  return true;
}

utility::ISharedInterface* NewCompoundObject() { return new containers::CompoundObject(); }

}  // namespace kivo::detail

namespace kivo::containers {

using detail::MemberMap;
using detail::Owned;

CompoundObject::~CompoundObject() { EndMembers(&members); }

void CompoundObject::Destroy() noexcept {
  detail::Endings& pending = detail::endings;
  nextEnding = pending.top;
  pending.top = this;
  if (!pending.draining) EndMembers(nullptr);
}

void CompoundObject::EndMembers(MemberMap* doomed) noexcept {
  detail::Endings& pending = detail::endings;
  if (pending.draining) {
    // The ending further out ends the records that end here.
    if (doomed != nullptr) doomed->clear();
    return;
  }
  pending.draining = true;
  // Ending a member may end a record, which Destroy puts on top of the list: its members end
  // next, before the rest of the record that held it.
  for (;;) {
    CompoundObject* const record = pending.top;
    MemberMap* const map = record != nullptr ? &record->members : doomed;
    if (map == nullptr) break;
    if (!map->empty()) {
      map->extract(map->begin());  // the member ends with the node
      continue;
    }
    if (record == nullptr) break;
    pending.top = record->nextEnding;
    record->SharedImplementation::Destroy();  // no member left to end
  }
  pending.draining = false;
}

Owned<ISharedTypelessObject> CompoundObject::Duplicate(const ISharedTypelessObject* member,
                                                       const CompoundObject& within) {
  // Nested records are copied here, with a work list, in the order and with the result that
  // their own CopyFrom would give; every other member is copied through its class.
  if (member == nullptr) return nullptr;
  if (detail::CopiedRecordIn(*member) == nullptr) {
    return detail::Clone<ISharedTypelessObject>(*member);
  }
  struct Frame {
    MemberMap::const_iterator next, end;
    CompoundObject* target;
  };
  detail::ActivePath<const CompoundObject*, Frame> path;
  path.Enter(&within, Frame{});
  // The copy of one member. For a nested record it is a new, empty record, entered on the path
  // to be filled next, unless the walk is inside the source already: that closes a cycle, which
  // the copy cuts with an empty value.
  auto copy_of = [&path](const ISharedTypelessObject* source) -> Owned<ISharedTypelessObject> {
    if (source == nullptr) return nullptr;
    const CompoundObject* const record = detail::CopiedRecordIn(*source);
    if (record == nullptr) return detail::Clone<ISharedTypelessObject>(*source);
    const bool reachable = detail::OthersHold(*source);
    if (path.Find(record, reachable) != path.npos) {
      return Owned<ISharedTypelessObject>(new SharedTypelessObject());
    }
    detail::CompoundMember fresh = detail::MakeCompoundMember(source->GetTypeId());
    path.Enter(record, {record->members.begin(), record->members.end(), fresh.record}, reachable);
    return std::move(fresh.member);
  };
  Owned<ISharedTypelessObject> copy = copy_of(member);
  while (path.size() > 1) {
    Frame& frame = path.top();
    if (frame.next == frame.end) {
      path.Leave();
      continue;
    }
    const auto& [key, source] = *frame.next++;
    MemberMap& into = frame.target->members;
    Owned<ISharedTypelessObject> entry = copy_of(source.get());
    detail::EnsureRoomForOneMore(into);
    into.emplace_hint(into.end(), key, std::move(entry));
  }
  return copy;
}

bool CompoundObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = dynamic_cast<const CompoundObject*>(other);
  if (source == nullptr) return false;
  // The old members end only when the copy is done, and last: source may be a record nested in
  // one of them and kept alive by it alone, and this record may end with them.
  MemberMap previous;
  previous.swap(members);
  for (const auto& [key, member] : source->members) {
    Owned<ISharedTypelessObject> copy = Duplicate(member.get(), *source);
    detail::EnsureRoomForOneMore(members);
    members.emplace_hint(members.end(), key, std::move(copy));
  }
  return true;
}

bool CompoundObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = dynamic_cast<const CompoundObject*>(other);
  return that != nullptr && detail::EqualContainers(*this, *that);
}

utility::IObject* CompoundObject::NewInstance() const { return new CompoundObject(); }

bool CompoundObject::IsEmpty() const { return members.empty(); }

std::uint32_t CompoundObject::GetCount() const {
  return static_cast<std::uint32_t>(members.size());
}

std::uint32_t CompoundObject::GetTotalCount() const {
  // Depth first in key order, with a work list. A record that the walk is already inside (a
  // cycle) counts once as a member and is not entered again.
  struct Frame {
    MemberMap::const_iterator next, end;
  };
  detail::ActivePath<const CompoundObject*, Frame> path;
  path.Enter(this, {members.begin(), members.end()});
  std::uint32_t count = 0;
  // A handle of another implementation may lead anywhere: once one is met, every record is
  // taken as one the walk can come back to.
  bool foreign_met = false;
  while (!path.empty()) {
    Frame& frame = path.top();
    if (frame.next == frame.end) {
      path.Leave();
      continue;
    }
    ISharedTypelessObject* const member = (frame.next++)->second.get();
    ++count;
    if (!detail::IsCompoundMember(member)) continue;
    const CompoundObject* const nested = detail::GetCompoundPayload(*member);
    if (nested == nullptr) detail::ThrowBadCast();
    if (!foreign_met && typeid(*member) != typeid(SharedTypelessObject)) {
      foreign_met = true;
      path.MarkAllReachable();
    }
    const bool reachable = foreign_met || detail::OthersHold(*member);
    if (path.Find(nested, reachable) != path.npos) continue;
    path.Enter(nested, {nested->members.begin(), nested->members.end()}, reachable);
  }
  return count;
}

void CompoundObject::Clear() {
  // The members leave the record before any of them ends: the record may end with them.
  MemberMap doomed;
  doomed.swap(members);
  EndMembers(&doomed);
}

std::uint64_t CompoundObject::Merge(const ICompoundObject* other, bool overwrite) {
  if (other == this) return 0;
  const auto* source = dynamic_cast<const CompoundObject*>(other);
  if (source == nullptr) return 0;
  // Replaced members end only when the merge is done, and last: source may be a record nested in
  // one of them and kept alive by it alone, and this record may end with them.
  std::vector<Owned<ISharedTypelessObject>, detail::Allocator<Owned<ISharedTypelessObject>>>
      replaced;
  std::uint64_t entered = 0;
  for (const auto& [key, member] : source->members) {
    Owned<ISharedTypelessObject> copy = Duplicate(member.get(), *source);
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
  // A member replaced on the way, or at the end, ends when Set returns: path may point into it,
  // and this record may end with it. Only one can be replaced on the way: every record after it
  // is new and empty.
  Owned<ISharedTypelessObject> displaced;
  Owned<ISharedTypelessObject> replaced;
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
    replaced = std::exchange(it->second, std::move(handle));
    return true;
  }
  detail::EnsureRoomForOneMore(target);
  target.emplace_hint(it, detail::Key(rest.data(), rest.size()), std::move(handle));
  return true;
}

template <class Record>
std::pair<Record*, std::string_view> CompoundObject::ResolvePath(Record* root,
                                                                 std::string_view path) {
  Record* record = root;
  for (;;) {
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos || slash == 0) break;
    const auto it = record->members.find(detail::KeyProbe(path.substr(0, slash)));
    if (it == record->members.end()) break;
    CompoundObject* const nested = detail::NestedRecord(it->second.get());
    if (nested == nullptr) break;
    record = nested;
    path.remove_prefix(slash + 1);
  }
  return {record, path};
}

bool CompoundObject::Contains(const char* path, const utility::InterfaceId* type) const {
  if (path == nullptr) return false;
  const auto [record, key] = ResolvePath(this, path);
  const auto it = record->members.find(detail::KeyProbe(key));
  if (it == record->members.end()) return false;
  return type == nullptr || detail::HasType(it->second.get(), type);
}

ISharedTypelessObject* CompoundObject::Lookup(const char* path,
                                              const utility::InterfaceId* type) const {
  if (path == nullptr) return nullptr;
  const auto [record, key] = ResolvePath(this, path);
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
  const auto [record, key] = ResolvePath(this, path);
  MemberMap& map = record->members;
  const auto it = map.find(detail::KeyProbe(key));
  if (it == map.end()) return false;
  // The member leaves the map before it ends, with the node, when Remove returns: the record may
  // end with it.
  const auto node = map.extract(it);
  return true;
}

void CompoundObject::GetKeys(const char** keys, std::uint32_t capacity) const {
  if (keys == nullptr) return;
  const std::uint32_t count = std::min(GetCount(), capacity);
  auto it = members.begin();
  for (std::uint32_t i = 0; i < count; ++i, ++it) keys[i] = it->first.c_str();
}

}  // namespace kivo::containers
