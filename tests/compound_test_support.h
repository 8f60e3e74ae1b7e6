// Helpers for the compound object's tests: owners, text members and a printed form of a record.
// SPDX-License-Identifier: MIT
#pragma once

// Everything here goes through the exports and the public interfaces, as a client does, so the
// helpers serve black-box and white-box tests alike.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kivo/containers/exports.h"

namespace kivo::testing {

struct DestroyObject {
  void operator()(utility::ISharedInterface* object) const noexcept {
    if (object != nullptr) object->Destroy();
  }
};

// An owner that ends its object with Destroy.
template <class I>
using Handle = std::unique_ptr<I, DestroyObject>;

// A new object from allocator, seen as interface I; the caller owns it.
template <class I>
Handle<I> Make(utility::ObjectAllocator allocator) {
  return Handle<I>(static_cast<I*>(allocator()));
}

inline Handle<containers::ICompoundObject> NewRecord() {
  return Make<containers::ICompoundObject>(&KivoCompoundObjectAllocator);
}

// A new shared object holding a unique non-trivial object that holds payload, labelled type.
// Takes ownership of payload.
inline Handle<containers::ISharedTypelessObject> Wrap(utility::ISharedInterface* payload,
                                                      const utility::InterfaceId* type) {
  auto unique =
      Make<containers::IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  unique->SetObject(payload);
  unique->SetTypeId(type);
  auto shared = Make<containers::ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  shared->Reset(unique.release());
  return shared;
}

// A new shared object holding a string object with text.
inline Handle<containers::ISharedTypelessObject> NewText(const char* text) {
  auto* string = static_cast<containers::IStringObject*>(KivoStringObjectAllocator());
  string->SetString(text);
  return Wrap(string, utility::InterfaceIdOf<containers::IStringObject>());
}

// The object that handle's unique object holds, or null when it holds none or only bytes.
inline utility::IObject* PayloadOf(containers::ISharedTypelessObject* handle) {
  if (handle == nullptr || handle->GetUnique() == nullptr) return nullptr;
  return static_cast<utility::IObject*>(
      static_cast<utility::ISharedInterface*>(handle->GetUnique()->GetData()));
}

// The string object inside handle; null when its payload is not labelled as one.
inline containers::IStringObject* TextIn(containers::ISharedTypelessObject* handle) {
  if (handle == nullptr || handle->GetTypeId()->code != containers::kStringObjectCode) {
    return nullptr;
  }
  return static_cast<containers::IStringObject*>(PayloadOf(handle));
}

// The text stored at path, or "<none>" when no string payload is there.
inline std::string TextAt(const containers::ICompoundObject& record, const char* path) {
  Handle<containers::ISharedTypelessObject> handle(
      record.GetConst(path, utility::InterfaceIdOf<containers::IStringObject>()));
  const containers::IStringObject* text = TextIn(handle.get());
  return text != nullptr ? text->GetString() : "<none>";
}

// The direct keys, in the order GetKeys writes them.
inline std::vector<std::string> KeysOf(const containers::ICompoundObject& record) {
  std::vector<const char*> keys(record.GetCount(), nullptr);
  record.GetKeys(keys.data(), static_cast<std::uint32_t>(keys.size()));
  return {keys.begin(), keys.end()};
}

// The record printed with its members in key order: {"key":value,...}, where a value is a text
// in quotes, a nested record in braces, - for an empty member and ? for any other payload.
inline std::string Dump(const containers::ICompoundObject& record) {
  std::string out = "{";
  for (const std::string& key : KeysOf(record)) {
    if (out.size() > 1) out += ',';
    out += '"' + key + "\":";
    Handle<containers::ISharedTypelessObject> member(record.GetConst(key.c_str(), nullptr));
    utility::IObject* payload = PayloadOf(member.get());
    const std::uint32_t label = member->GetTypeId()->code;
    if (member->GetConstUnique() == nullptr) {
      out += '-';
    } else if (label == containers::kStringObjectCode) {
      out += '"' + std::string(TextIn(member.get())->GetString()) + '"';
    } else if (label == containers::kCompoundObjectCode && payload != nullptr &&
               payload->GetInterfaceId()->code == containers::kCompoundObjectCode) {
      out += Dump(*static_cast<containers::ICompoundObject*>(payload));
    } else {
      out += '?';
    }
  }
  return out + '}';
}

// Builds a record from (path, text) pairs, each Set with overwrite.
inline Handle<containers::ICompoundObject> RecordOf(
    const std::vector<std::pair<const char*, const char*>>& members) {
  auto record = NewRecord();
  for (const auto& [path, text] : members) record->Set(path, NewText(text).get(), true);
  return record;
}

}  // namespace kivo::testing
