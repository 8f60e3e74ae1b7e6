// The helpers every test shares: owners, builders, the export table, exception texts, and test
// doubles that count how often objects of their kind are made and ended.
// SPDX-License-Identifier: MIT
#pragma once

// Everything here goes through the exports and the public interfaces, as a client does, so the
// helpers serve black-box and white-box tests alike.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kivo/containers/exports.h"

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
inline constexpr std::pair<const char*, utility::ObjectAllocator> kEveryExport[] = {
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

// A record made by Set with overwrite of each (path, text) pair.
inline Handle<containers::ICompoundObject> RecordOf(
    const std::vector<std::pair<const char*, const char*>>& members) {
  auto record = NewRecord();
  for (const auto& [path, text] : members) record->Set(path, NewText(text).get(), true);
  return record;
}

// The path a/a/.../a of `levels` segments, then tail.
inline std::string Chain(std::size_t levels, const char* tail) {
  std::string path;
  for (std::size_t i = 0; i < levels; ++i) path += "a/";
  return path + tail;
}

// Runs operation and returns what() of the Exception it throws, or "no exception". Any other
// exception passes through and fails the test.
template <class Exception, class Operation>
std::string ErrorText(Operation operation) {
  try {
    operation();
  } catch (const Exception& error) {
    return error.what();
  }
  return "no exception";
}

// The test doubles report to a CountingLog shared by a double and every copy or share made of it,
// so a test can see that an object ends exactly once however many owners passed it around. They
// live on the global heap, not the library's, so a CountingHeap sees only the library's blocks.
struct CountingLog {
  std::atomic<int> created{0};
  std::atomic<int> destroyed{0};
  // When set, CountingObject::CopyFrom answers false, as a payload whose copy fails does, or
  // throws the log's address, an exception of a type only the client knows.
  std::atomic<bool> refuse_copies{false}, throw_on_copy{false};

  int Alive() const { return created - destroyed; }
};

// Counts Self into the log when it is made and when Destroy ends it.
template <class Self, class Interface>
class Counted : public Interface {
 public:
  void Destroy() noexcept override {
    ++log_->destroyed;
    delete static_cast<Self*>(this);
  }
  // Plain global allocation: the interfaces' class-level delete would call Destroy again.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }
  // A double equals only itself; a new instance reports to the same log.
  bool Equals(const utility::IObject* other) const override { return other == this; }
  utility::IObject* NewInstance() const override { return new Self(*log_); }

 protected:
  explicit Counted(CountingLog& log) : log_(&log) { ++log.created; }
  CountingLog* log_;
};

// A payload whose copies succeed unless its log says otherwise.
class CountingObject final : public Counted<CountingObject, utility::IObject> {
 public:
  // A new object; the caller owns it and ends it with Destroy.
  static CountingObject* New(CountingLog& log) { return new CountingObject(log); }

  const utility::InterfaceId* GetInterfaceId() const override { return utility::VoidInterfaceId(); }
  bool CopyFrom(const utility::IObject* other) override {
    if (log_->throw_on_copy) throw log_;
    return other == this ||
           (dynamic_cast<const CountingObject*>(other) != nullptr && !log_->refuse_copies);
  }

 private:
  friend Counted;
  explicit CountingObject(CountingLog& log) : Counted(log) {}
};

// A shared typeless object as a client might write one: it answers GetUnique and GetConstUnique
// with what the test sets (not owned), and Share copies the handle.
class CountingHandle final : public Counted<CountingHandle, containers::ISharedTypelessObject> {
 public:
  explicit CountingHandle(CountingLog& log) : Counted(log) {}

  const utility::InterfaceId* GetInterfaceId() const override {
    return utility::InterfaceIdOf<ISharedTypelessObject>();
  }
  bool CopyFrom(const utility::IObject*) override { return false; }
  const utility::InterfaceId* GetTypeId() const override { return utility::VoidInterfaceId(); }
  bool AssignValue(const ISharedTypelessObject*) override { return false; }
  containers::IUniqueTypelessObject* GetUnique() override { return unique; }
  const containers::ITypelessObject* GetConstUnique() const override {
    return const_unique != nullptr ? const_unique : unique;
  }
  void Reset(containers::IUniqueTypelessObject*) override {}
  ISharedTypelessObject* Share() const override {
    if (refuse_shares) return nullptr;
    ++log_->created;  // the copy does not pass through Counted's constructor
    return new CountingHandle(*this);
  }

  // What GetUnique answers, and GetConstUnique unless const_unique is set.
  containers::IUniqueTypelessObject* unique = nullptr;
  const containers::ITypelessObject* const_unique = nullptr;
  // When set, Share answers null, as a broken implementation might.
  bool refuse_shares = false;
};

}  // namespace kivo::testing
