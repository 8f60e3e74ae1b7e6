// Test doubles that count how often objects of their kind are made and ended: a payload object
// and a shared typeless handle.
// SPDX-License-Identifier: MIT
#pragma once

// Each double reports to a CountingLog shared by it and every copy or share made of it, so a test
// can see that an object ends exactly once however many owners passed it around. The doubles live
// on the global heap, not the library's, so a CountingHeap sees only the library's own blocks.

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "kivo/containers/typeless_object.h"

namespace kivo::testing {

struct CountingLog {
  std::atomic<int> created{0};
  std::atomic<int> destroyed{0};
  // When set, CountingObject::CopyFrom answers false, as a payload whose copy fails does.
  std::atomic<bool> refuse_copies{false};

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

 protected:
  explicit Counted(CountingLog& log) : log_(&log) { ++log.created; }
  CountingLog* log_;
};

// A payload carrying an int value.
class CountingObject final : public Counted<CountingObject, utility::IObject> {
 public:
  // A new object with value; the caller owns it and ends it with Destroy.
  static CountingObject* New(CountingLog& log, int value = 0) {
    return new CountingObject(log, value);
  }

  const utility::InterfaceId* GetInterfaceId() const override {
    static constexpr utility::InterfaceId record{
        "kivo::testing::ICountingObject", utility::NameCode("kivo::testing::ICountingObject")};
    return &record;
  }
  bool CopyFrom(const utility::IObject* other) override {
    if (other == this) return true;
    const auto* source = dynamic_cast<const CountingObject*>(other);
    if (source == nullptr || log_->refuse_copies) return false;
    value = source->value;
    return true;
  }
  bool Equals(const utility::IObject* other) const override {
    const auto* that = dynamic_cast<const CountingObject*>(other);
    return that != nullptr && that->value == value;
  }
  utility::IObject* NewInstance() const override { return New(*log_); }

  int value;

 private:
  CountingObject(CountingLog& log, int initial) : Counted(log), value(initial) {}
};

// A stand-in for a shared typeless object: the handles that Share makes refer to the same value,
// as shared typeless objects refer to one unique object, and Equals compares the values.
class CountingHandle final : public Counted<CountingHandle, containers::ISharedTypelessObject> {
 public:
  // A new handle to a new value, owned by the caller.
  static CountingHandle* New(CountingLog& log, int value) {
    return new CountingHandle(log, std::make_shared<int>(value));
  }

  const utility::InterfaceId* GetInterfaceId() const override {
    return utility::InterfaceIdOf<ISharedTypelessObject>();
  }
  bool CopyFrom(const utility::IObject*) override { return false; }
  bool Equals(const utility::IObject* other) const override {
    const auto* that = dynamic_cast<const CountingHandle*>(other);
    return that != nullptr && *that->value == *value;
  }
  utility::IObject* NewInstance() const override { return New(*log_, 0); }
  const utility::InterfaceId* GetTypeId() const override { return utility::VoidInterfaceId(); }
  bool AssignValue(const ISharedTypelessObject*) override { return false; }
  containers::IUniqueTypelessObject* GetUnique() override { return unique; }
  const containers::ITypelessObject* GetConstUnique() const override {
    return const_unique != nullptr ? const_unique : unique;
  }
  void Reset(containers::IUniqueTypelessObject*) override {}
  ISharedTypelessObject* Share() const override {
    if (refuse_shares) return nullptr;
    auto* share = new CountingHandle(*log_, value);
    share->unique = unique;
    share->const_unique = const_unique;
    return share;
  }

  // The value this handle shares with the handles made from it by Share.
  const std::shared_ptr<int> value;
  // What GetUnique answers, and GetConstUnique unless const_unique is set; not owned, passed on
  // by Share.
  containers::IUniqueTypelessObject* unique = nullptr;
  const containers::ITypelessObject* const_unique = nullptr;
  // When set, Share answers null, as a broken implementation might.
  bool refuse_shares = false;

 private:
  CountingHandle(CountingLog& log, std::shared_ptr<int> shared)
      : Counted(log), value(std::move(shared)) {}
};

}  // namespace kivo::testing
