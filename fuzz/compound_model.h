// A reference model of the compound record: nested maps of plain values, written from the
// record's rules without looking at its code.
// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "kivo/containers/interface_codes.h"

namespace kivo::fuzz {

// Keys order bytewise as unsigned bytes, a prefix before its extensions.
struct BytewiseLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
      const auto x = static_cast<unsigned char>(a[i]);
      const auto y = static_cast<unsigned char>(b[i]);
      if (x != y) return x < y;
    }
    return a.size() < b.size();
  }
};

struct ModelRecord;

// One member: what its shared typeless object holds.
struct Node {
  enum class Kind {
    kEmpty,    // a shared object without a unique object (type void)
    kBytes,    // a trivial 8-byte payload
    kText,     // a non-trivial payload holding a string object
    kBare,     // a non-trivial object without a payload
    kRecord,   // a nested record (non-trivial, compound type code)
    kRefuser,  // a non-trivial payload whose copies always fail
    kHole,     // an entry without an object, left by a member copy that failed
  };

  Kind kind = Kind::kEmpty;
  std::uint32_t code = containers::kVoidCode;  // payload type code
  std::string bytes;                           // kBytes: 8 payload bytes; kText: the text
  std::unique_ptr<ModelRecord> record;         // kRecord

  Node() = default;
  Node(const Node& other);
  Node& operator=(const Node& other);
  Node(Node&&) noexcept = default;
  Node& operator=(Node&&) noexcept = default;
  ~Node();

  static Node NewRecord();

  bool IsNested() const { return kind == Kind::kRecord; }
  // Labelled as a record without being one the record can walk into: counting throws there.
  bool IsFalseRecord() const {
    return kind != Kind::kRecord && code == containers::kCompoundObjectCode;
  }
  bool HasObject() const { return kind != Kind::kEmpty && kind != Kind::kHole; }
  // The type code that Contains and Get compare: void without a unique object.
  std::uint32_t TypeCode() const { return HasObject() ? code : containers::kVoidCode; }
};

struct ModelRecord {
  std::map<std::string, Node, BytewiseLess> members;
};

inline Node::Node(const Node& other)
    : kind(other.kind),
      code(other.code),
      bytes(other.bytes),
      record(other.record ? std::make_unique<ModelRecord>(*other.record) : nullptr) {}

inline Node& Node::operator=(const Node& other) {
  if (this != &other) *this = Node(other);
  return *this;
}

inline Node::~Node() = default;

inline Node Node::NewRecord() {
  Node node;
  node.kind = Kind::kRecord;
  node.code = containers::kCompoundObjectCode;
  node.record = std::make_unique<ModelRecord>();
  return node;
}

// Structural identity of two models (not the library's Equals, which has rules of its own).
bool SameModel(const ModelRecord& a, const ModelRecord& b);

// An entry without an object reads as an empty value.
inline Node::Kind Visible(Node::Kind kind) {
  return kind == Node::Kind::kHole ? Node::Kind::kEmpty : kind;
}

// Only texts and trivial payloads carry bytes; every other kind leaves them empty.
inline bool SameModel(const Node& a, const Node& b) {
  if (Visible(a.kind) != Visible(b.kind) || a.TypeCode() != b.TypeCode()) return false;
  return a.bytes == b.bytes && (!a.IsNested() || SameModel(*a.record, *b.record));
}

inline bool SameModel(const ModelRecord& a, const ModelRecord& b) {
  return a.members.size() == b.members.size() &&
         std::equal(a.members.begin(), a.members.end(), b.members.begin(),
                    [](const auto& x, const auto& y) {
                      return x.first == y.first && SameModel(x.second, y.second);
                    });
}

// The record and key a lookup path names: walk down while the head before a slash is a nested
// record; otherwise the rest of the path is the key.
inline std::pair<ModelRecord*, std::string> Resolve(ModelRecord& record, std::string_view path) {
  const std::size_t slash = path.find('/');
  if (slash != std::string_view::npos && slash >= 1) {
    auto found = record.members.find(std::string(path.substr(0, slash)));
    if (found != record.members.end() && found->second.IsNested()) {
      return Resolve(*found->second.record, path.substr(slash + 1));
    }
  }
  return {&record, std::string(path)};
}

inline const Node* Find(ModelRecord& record, std::string_view path) {
  auto [owner, key] = Resolve(record, path);
  auto found = owner->members.find(key);
  return found == owner->members.end() ? nullptr : &found->second;
}

// Set: creates nested records for the segments before the last slash (replacing a non-record
// only with overwrite), fails at an empty segment with the records made so far kept.
inline bool Set(ModelRecord& root, std::string_view path, const Node* value, bool overwrite) {
  if (value == nullptr) return false;
  ModelRecord* record = &root;
  std::size_t start = 0;
  for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
       slash = path.find('/', start)) {
    if (slash == start) return false;
    const std::string segment(path.substr(start, slash - start));
    auto found = record->members.find(segment);
    if (found == record->members.end()) {
      found = record->members.emplace(segment, Node::NewRecord()).first;
    } else if (!found->second.IsNested()) {
      if (!overwrite) return false;
      found->second = Node::NewRecord();
    }
    record = found->second.record.get();
    start = slash + 1;
  }
  const std::string key(path.substr(start));
  auto found = record->members.find(key);
  if (found == record->members.end()) {
    record->members.emplace(key, *value);
    return true;
  }
  if (!overwrite) return false;
  found->second = *value;
  return true;
}

// Members at every depth; false where the walk meets a member labelled as a record that is not
// one (the library throws std::bad_cast there).
inline bool TotalCount(const ModelRecord& record, std::uint32_t* count) {
  for (const auto& [key, node] : record.members) {
    ++*count;
    if (node.IsFalseRecord()) return false;
    if (node.IsNested() && !TotalCount(*node.record, count)) return false;
  }
  return true;
}

// Members at every depth, for size limits.
inline std::uint32_t Size(const ModelRecord& record) {
  std::uint32_t count = 0;
  for (const auto& [key, node] : record.members) {
    count += 1 + (node.IsNested() ? Size(*node.record) : 0);
  }
  return count;
}

// What a successful deep copy of a member holds: members whose copy answers false (the
// refusers, at any depth) become entries without an object.
inline Node CopyOf(const Node& node) {
  if (node.kind == Node::Kind::kRefuser) {
    Node hole;
    hole.kind = Node::Kind::kHole;
    return hole;
  }
  Node copy = node;
  if (copy.kind == Node::Kind::kRecord) {
    for (auto& [key, member] : copy.record->members) member = CopyOf(member);
  }
  return copy;
}

// A deep copy throws where a payload-less non-trivial object has to be copied, at any depth.
inline bool CopyThrows(const Node& node) {
  if (node.kind == Node::Kind::kBare) return true;
  if (node.kind != Node::Kind::kRecord) return false;
  for (const auto& [key, member] : node.record->members) {
    if (CopyThrows(member)) return true;
  }
  return false;
}

// What a call answered: a value or the runtime_error text it threw.
struct Outcome {
  std::uint64_t value = 0;
  const char* thrown = nullptr;  // exact what() text, or null
};

// Where a copy reads its source: a snapshot when the source may end while the target changes
// (a record nested in the target), the live source when the target lies inside it (then each
// member is copied as it is at that moment, the target's new members included).
enum class Read { kSnapshot, kLive };

// Merge (source distinct from target): each member is copied first, then entered or dropped.
inline Outcome MergeRecord(ModelRecord& target, const ModelRecord& source, bool overwrite,
                           Read read = Read::kSnapshot) {
  const ModelRecord snapshot = read == Read::kSnapshot ? source : ModelRecord();
  const ModelRecord& from = read == Read::kSnapshot ? snapshot : source;
  std::uint64_t count = 0;
  for (const auto& [key, node] : from.members) {
    if (CopyThrows(node)) return {count, kCannotCopy};
    Node copy = CopyOf(node);
    auto found = target.members.find(key);
    if (found == target.members.end()) {
      target.members.emplace(key, std::move(copy));
      ++count;
    } else if (overwrite) {
      found->second = std::move(copy);
      ++count;
    }
  }
  return {count, nullptr};
}

// CopyFrom of a record (source distinct from target): cleared, then members entered in key
// order until a member's copy throws.
inline Outcome CopyRecord(ModelRecord& target, const ModelRecord& source,
                          Read read = Read::kSnapshot) {
  const ModelRecord snapshot = read == Read::kSnapshot ? source : ModelRecord();
  target.members.clear();
  return {
      1,
      MergeRecord(target, read == Read::kSnapshot ? snapshot : source, true, Read::kLive).thrown};
}

// The library's Equals of two members and of two records, including where it throws.
Outcome Equal(const ModelRecord& a, const ModelRecord& b);

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
  return a.IsNested() ? Equal(*a.record, *b.record) : Outcome{a.bytes == b.bytes, nullptr};
}

inline Outcome Equal(const ModelRecord& a, const ModelRecord& b) {
  if (a.members.size() != b.members.size()) return {0, nullptr};
  auto j = b.members.begin();
  for (const auto& [key, node] : a.members) {
    if (key != j->first) return {0, nullptr};
    const Outcome member = Equal(node, j->second);
    if (member.thrown != nullptr || member.value == 0) return member;
    ++j;
  }
  return {1, nullptr};
}

}  // namespace kivo::fuzz
