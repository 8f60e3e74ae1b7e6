// The helpers every test shares: owners, builders, key lists, the export table and a printed
// record.
// SPDX-License-Identifier: MIT
#pragma once

// Everything here goes through the exports and the public interfaces, as a client does, so the
// helpers serve black-box and white-box tests alike.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kivo/containers/exports.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace kivo::testing {

struct DestroyObject {
  void operator()(utility::ISharedInterface* object) const noexcept { object->Destroy(); }
};
template <class I>
using Handle = std::unique_ptr<I, DestroyObject>;

// A new object from allocator, seen as interface I.
template <class I>
Handle<I> Make(utility::ObjectAllocator allocator) {
  return Handle<I>(static_cast<I*>(allocator()));
}

// Every export with its name, in the order of KIVO_FOR_EACH_EXPORT.
struct Export {
  const char* name;
  utility::ObjectAllocator make;
};
inline constexpr Export kEveryExport[] = {
#define KIVO_EXPORT_ENTRY(name) {#name, &name},
    KIVO_FOR_EACH_EXPORT(KIVO_EXPORT_ENTRY)
#undef KIVO_EXPORT_ENTRY
};

inline Handle<containers::ICompoundObject> NewRecord() {
  return Make<containers::ICompoundObject>(&KivoCompoundObjectAllocator);
}

// A new shared object over a unique non-trivial object owning payload, labelled type.
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

inline Handle<containers::ISharedTypelessObject> NewText(const char* text) {
  auto* string = static_cast<containers::IStringObject*>(KivoStringObjectAllocator());
  string->SetString(text);
  return Wrap(string, utility::InterfaceIdOf<containers::IStringObject>());
}

// The object handle's unique object holds, or null.
inline utility::IObject* PayloadOf(containers::ISharedTypelessObject* handle) {
  if (handle == nullptr || handle->GetUnique() == nullptr) return nullptr;
  return static_cast<utility::IObject*>(
      static_cast<utility::ISharedInterface*>(handle->GetUnique()->GetData()));
}

// The string object inside handle; null when its payload is not labelled as one.
inline containers::IStringObject* TextIn(containers::ISharedTypelessObject* handle) {
  const bool text = handle != nullptr && handle->GetTypeId()->code == containers::kStringObjectCode;
  return text ? static_cast<containers::IStringObject*>(PayloadOf(handle)) : nullptr;
}

// The record printed in key order: {"key":value,...}, where a value is a text in quotes, a nested
// record in braces, - for a member without an object and ? for any other payload.
inline std::string Dump(const containers::ICompoundObject& record) {
  std::vector<const char*> keys(record.GetCount(), nullptr);
  record.GetKeys(keys.data(), static_cast<std::uint32_t>(keys.size()));
  std::string out = "{";
  for (const std::string key : keys) {
    Handle<containers::ISharedTypelessObject> member(record.GetConst(key.c_str(), nullptr));
    utility::IObject* payload = PayloadOf(member.get());
    out += (out.size() > 1 ? ",\"" : "\"") + key + "\":";
    if (payload == nullptr) {
      out += '-';
    } else if (TextIn(member.get()) != nullptr) {
      out += '"' + std::string(TextIn(member.get())->GetString()) + '"';
    } else if (member->GetTypeId()->code == containers::kCompoundObjectCode &&
               payload->GetInterfaceId()->code == containers::kCompoundObjectCode) {
      out += Dump(*static_cast<containers::ICompoundObject*>(payload));
    } else {
      out += '?';
    }
  }
  return out + '}';
}

// A record made by Set with overwrite of each (path, text) pair.
inline Handle<containers::ICompoundObject> RecordOf(
    const std::vector<std::pair<const char*, const char*>>& members) {
  auto record = NewRecord();
  for (const auto& [path, text] : members) record->Set(path, NewText(text).get(), true);
  return record;
}

// Runs work() on a new thread with a 1 MiB stack (a Windows program's default) and waits for
// it. A thread that overflows its stack may end the process quietly (under Wine with exit code
// 0), so callers check a result that work() sets when it is done.
template <class Work>
void RunOnSmallStack(Work& work) {
  constexpr std::size_t kStack = std::size_t{1} << 20;
#ifdef _WIN32
  HANDLE thread = CreateThread(
      nullptr, kStack,
      [](LPVOID context) -> DWORD {
        (*static_cast<Work*>(context))();
        return 0;
      },
      &work, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStack);
  pthread_t thread;
  const auto run = [](void* context) -> void* {
    (*static_cast<Work*>(context))();
    return nullptr;
  };
  if (pthread_create(&thread, &attributes, run, &work) == 0) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
#endif
}

}  // namespace kivo::testing
