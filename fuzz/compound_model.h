// A reference model of typeless values and of the compound record (nested maps of them),
// written from their rules without looking at the library's code; the fuzzers of both share it.
// SPDX-License-Identifier: MIT
#pragma once

#include "fuzz_support.h"
#include "kivo/containers/interface_codes.h"

namespace kivo::fuzz {

// One value or member: what its shared typeless object holds. Keys order as std::string does:
// bytewise, unsigned, a prefix before its extensions.
struct Node {
  enum class Kind {
    kEmpty,    // a shared object without a unique object (type void)
    kBytes,    // a trivial payload of N bytes (8 in records)
    kText,     // a non-trivial payload holding a string object
    kBare,     // a non-trivial object without a payload
    kRecord,   // a nested record (non-trivial, compound type code)
    kRefuser,  // a non-trivial payload whose copies always fail
    kHole,     // an entry without an object, left by a member copy that failed
  };

  Kind kind = Kind::kEmpty;
  std::uint32_t code = containers::kVoidCode;   // payload type code
  std::string bytes{};                          // kBytes: the N payload bytes; kText: the text
  std::map<std::string, Node> members{};        // kRecord (a map of the incomplete Node, as
                                                // libstdc++ and libc++ allow)
  containers::ITypelessObject* live = nullptr;  // the library's unique object, where tracked

  static Node Record() { return {Kind::kRecord, containers::kCompoundObjectCode, {}, {}}; }
  bool IsRecord() const { return kind == Kind::kRecord; }
  bool HasObject() const { return kind != Kind::kEmpty && kind != Kind::kHole; }
  // The type code that Contains and Get compare: void without a unique object.
  std::uint32_t TypeCode() const { return HasObject() ? code : containers::kVoidCode; }
};
using Members = std::map<std::string, Node>;

// The record and key a lookup path names: walk down while the head before a slash is a nested
// record; otherwise the rest of the path is the key.
inline std::pair<Members*, std::string> Resolve(Members& record, std::string_view path) {
  const std::size_t slash = path.find('/');
  if (slash != std::string_view::npos && slash >= 1) {
    auto found = record.find(std::string(path.substr(0, slash)));
    if (found != record.end() && found->second.IsRecord()) {
      return Resolve(found->second.members, path.substr(slash + 1));
    }
  }
  return {&record, std::string(path)};
}

inline Node* Find(Members& record, std::string_view path) {
  auto [owner, key] = Resolve(record, path);
  auto found = owner->find(key);
  return found == owner->end() ? nullptr : &found->second;
}

// Set: creates nested records for the segments before the last slash (replacing a non-record
// only with overwrite), fails at an empty segment with the records made so far kept.
inline bool Set(Members& record, std::string_view path, const Node* value, bool overwrite) {
  const std::size_t slash = path.find('/');
  if (value == nullptr || slash == 0) return false;
  if (slash == std::string_view::npos) {
    auto [found, fresh] = record.try_emplace(std::string(path), *value);
    if (!fresh && overwrite) found->second = *value;
    return fresh || overwrite;
  }
  auto [found, fresh] = record.try_emplace(std::string(path.substr(0, slash)), Node::Record());
  if (!fresh && !found->second.IsRecord()) {
    if (!overwrite) return false;
    found->second = Node::Record();
  }
  return Set(found->second.members, path.substr(slash + 1), value, overwrite);
}

// Members at every depth; *counts turns false where the walk meets a member labelled as a record
// that is not one (the library's count throws std::bad_cast there).
inline std::uint32_t Size(const Members& record, bool* counts = nullptr) {
  std::uint32_t count = 0;
  for (const auto& [key, node] : record) {
    if (counts != nullptr && !node.IsRecord() && node.code == containers::kCompoundObjectCode)
      *counts = false;
    count += 1 + Size(node.members, counts);
  }
  return count;
}

// What a successful deep copy of a member holds: members whose copy answers false (the
// refusers, at any depth) become entries without an object.
inline Node CopyOf(const Node& node) {
  if (node.kind == Node::Kind::kRefuser) return {Node::Kind::kHole, containers::kVoidCode, {}, {}};
  Node copy = node;
  for (auto& [key, member] : copy.members) member = CopyOf(member);
  return copy;
}

// A deep copy throws where a payload-less non-trivial object has to be copied, at any depth.
inline bool CopyThrows(const Node& node) {
  bool throws = node.kind == Node::Kind::kBare;
  for (const auto& [key, member] : node.members) throws = throws || CopyThrows(member);
  return throws;
}

// What a call answered: a value or the runtime_error text it threw.
struct Outcome {
  std::uint64_t value = 0;
  const char* thrown = nullptr;  // exact what() text, or null
};

// Merge (source distinct from target): each member is copied first, then entered or dropped.
inline Outcome MergeRecord(Members& target, const Members& source, bool overwrite) {
  std::uint64_t count = 0;
  for (const auto& [key, node] : source) {
    if (CopyThrows(node)) return {count, kCannotCopy};
    Node copy = CopyOf(node);
    auto [found, fresh] = target.emplace(key, copy);
    if (!fresh && overwrite) found->second = std::move(copy);
    count += fresh || overwrite;
  }
  return {count, nullptr};
}

// CopyFrom of a record (source distinct from target): cleared, then members entered in key
// order until a member's copy throws.
inline Outcome CopyRecord(Members& target, const Members& source) {
  target.clear();
  return {1, MergeRecord(target, source, true).thrown};
}

// The library's Equals of two records and of two members, including where it throws.
Outcome Equal(const Members& a, const Members& b);

inline Outcome Equal(const Node& a, const Node& b) {
  using Kind = Node::Kind;
  // An entry without an object equals only another such entry, an empty value only another one.
  for (const Kind alone : {Kind::kHole, Kind::kEmpty}) {
    if (a.kind == alone || b.kind == alone) return {a.kind == b.kind, nullptr};
  }
  // Unique objects compare only within their class (trivial or not) and with the same label.
  if ((a.kind == Kind::kBytes) != (b.kind == Kind::kBytes) || a.code != b.code) return {};
  if ((a.kind == Kind::kBare) != (b.kind == Kind::kBare)) return {0, kCannotCompare};
  // A string never equals a record; refusers equal only themselves.
  if (a.kind != b.kind || a.kind == Kind::kRefuser) return {};
  return a.IsRecord() ? Equal(a.members, b.members) : Outcome{a.bytes == b.bytes, nullptr};
}

inline Outcome Equal(const Members& a, const Members& b) {
  if (a.size() != b.size()) return {};
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first) return {};
    const Outcome member = Equal(i->second, j->second);
    if (member.thrown != nullptr || member.value == 0) return member;
  }
  return {1, nullptr};
}

// Checks a unique object's payload against a bytes, text or bare model; answers the payload.
inline const utility::ISharedInterface* CheckPayload(
    const containers::IUniqueTypelessObject& unique, const Node& node) {
  const auto* payload = static_cast<const utility::ISharedInterface*>(unique.GetConstData());
  if (node.kind == Node::Kind::kBytes) {
    KIVO_FUZZ_CHECK(std::memcmp(unique.GetConstData(), node.bytes.data(), node.bytes.size()) == 0);
  } else if (node.kind == Node::Kind::kBare) {
    KIVO_FUZZ_CHECK(payload == nullptr);
  } else if (node.kind == Node::Kind::kText) {
    const auto* text = dynamic_cast<const containers::IStringObject*>(payload);
    KIVO_FUZZ_CHECK(text != nullptr &&
                    node.bytes == std::string(text->GetString(), text->GetLength()));
  }
  return payload;
}

}  // namespace kivo::fuzz
