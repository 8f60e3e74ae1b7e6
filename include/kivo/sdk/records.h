// Typed helpers for records: set and get texts, scalars, numbers and nested records by path.
// SPDX-License-Identifier: MIT
#pragma once

// Each helper is one call on an ICompoundObject. Paths are keys joined by '/'; the setters make
// nested records on the way, as ICompoundObject::Set does, and answer what it answers (false for
// an empty segment, or a member in the way while overwrite is false). The getters answer
// std::nullopt when the path names no member or the member holds another type.
//
//   auto record = library.NewRecord();
//   kivo::sdk::SetText(library, *record, "user/name", "Ada");
//   kivo::sdk::SetVector(library, *record, "user/scores", {1.5, 2.5});
//   std::optional<std::string> name = kivo::sdk::GetText(*record, "user/name");
//   auto user = kivo::sdk::GetRecord(*record, "user");  // optional PayloadRef<ICompoundObject>
//
// The record never takes over a value it is given: it stores a new share, and the setters end
// their own temporary value before they return.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/containers/compound_object.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/payload_ref.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {

// Stores a new share of value at path; the caller keeps owning value.
inline bool SetValue(containers::ICompoundObject& record, const char* path,
                     const containers::ISharedTypelessObject& value, bool overwrite = true) {
  return path != nullptr && record.Set(path, &value, overwrite);
}

// Stores text (up to its first NUL) at path.
inline bool SetText(const Library& library, containers::ICompoundObject& record, const char* path,
                    std::string_view text, bool overwrite = true) {
  return SetValue(record, path, *MakeText(library, text), overwrite);
}

// Stores value as a scalar payload at path.
template <class T>
bool SetScalar(const Library& library, containers::ICompoundObject& record, const char* path,
               T value, bool overwrite = true) {
  return SetValue(record, path, *MakeScalar(library, value), overwrite);
}

// Stores a numeric vector with the numbers of values at path.
template <class T>
bool SetVector(const Library& library, containers::ICompoundObject& record, const char* path,
               const std::vector<T>& values, bool overwrite = true) {
  return SetValue(record, path, *MakeVector(library, values), overwrite);
}

// Stores a numeric vector with the numbers of values at path.
template <class T>
bool SetVector(const Library& library, containers::ICompoundObject& record, const char* path,
               std::initializer_list<T> values, bool overwrite = true) {
  return SetValue(record, path, *MakeVector(library, values), overwrite);
}

// Stores object as the payload of a value at path. Takes ownership of object; the record shares
// it from then on (and ends it when the last holder goes, also when Set answers false).
template <class I>
bool SetObject(const Library& library, containers::ICompoundObject& record, const char* path,
               Ptr<I> object, bool overwrite = true) {
  Ptr<containers::ISharedTypelessObject> value = MakeObjectValue(library, std::move(object));
  return value && SetValue(record, path, *value, overwrite);
}

// Stores nested as a nested record at path; takes ownership of nested, as SetObject does.
inline bool SetRecord(const Library& library, containers::ICompoundObject& record, const char* path,
                      Ptr<containers::ICompoundObject> nested, bool overwrite = true) {
  return SetObject(library, record, path, std::move(nested), overwrite);
}

// A new share of the value at path, owned by the caller; empty when there is none.
inline Ptr<containers::ISharedTypelessObject> GetValue(const containers::ICompoundObject& record,
                                                       const char* path) {
  return Ptr<containers::ISharedTypelessObject>(adopt, record.GetConst(path, nullptr));
}

// The text at path.
inline std::optional<std::string> GetText(const containers::ICompoundObject& record,
                                          const char* path) {
  Ptr<containers::ISharedTypelessObject> value = GetValue(record, path);
  if (!value) return std::nullopt;
  return ReadText(*value);
}

// The scalar of type T at path.
template <class T>
std::optional<T> GetScalar(const containers::ICompoundObject& record, const char* path) {
  Ptr<containers::ISharedTypelessObject> value = GetValue(record, path);
  if (!value) return std::nullopt;
  return ReadScalar<T>(*value);
}

// The numbers at path as T.
template <class T>
std::optional<std::vector<T>> GetVector(const containers::ICompoundObject& record,
                                        const char* path) {
  Ptr<containers::ISharedTypelessObject> value = GetValue(record, path);
  if (!value) return std::nullopt;
  return ReadVector<T>(*value);
}

// The payload object at path as interface I, kept alive by the reference's own share.
template <class I>
std::optional<PayloadRef<I>> GetObject(containers::ICompoundObject& record, const char* path) {
  return MakePayloadRef<I>(
      Ptr<containers::ISharedTypelessObject>(adopt, record.Get(path, nullptr)));
}

// The payload object at path as read-only interface I, kept alive by the reference's own share.
template <class I>
std::optional<PayloadRef<const I>> GetObject(const containers::ICompoundObject& record,
                                             const char* path) {
  return MakePayloadRef<const I>(GetValue(record, path));
}

// The nested record at path; changes made through it show in record.
inline std::optional<PayloadRef<containers::ICompoundObject>> GetRecord(
    containers::ICompoundObject& record, const char* path) {
  return GetObject<containers::ICompoundObject>(record, path);
}

// The nested record at path, read-only.
inline std::optional<PayloadRef<const containers::ICompoundObject>> GetRecord(
    const containers::ICompoundObject& record, const char* path) {
  return GetObject<containers::ICompoundObject>(record, path);
}

// Copies of the record's direct keys, in key order.
inline std::vector<std::string> Keys(const containers::ICompoundObject& record) {
  const std::uint32_t count = record.GetCount();
  std::vector<const char*> keys(count, nullptr);
  if (count != 0) record.GetKeys(keys.data(), count);
  return std::vector<std::string>(keys.begin(), keys.end());
}

}  // namespace kivo::sdk
