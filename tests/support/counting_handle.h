// CountingHandle: a stand-in for a shared typeless object that counts the handles made and ended.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "kivo/containers/typeless_object.h"

namespace kivo::testing {

// How many handles of one test were made and how many were ended with Destroy.
struct HandleTally {
  int made = 0;
  int destroyed = 0;
  int Live() const { return made - destroyed; }
};

// Handles made by Share refer to the same value, as shared typeless objects refer to one unique
// object; Equals compares the values. The handles live on the process heap, not the library's,
// so a CountingHeap sees only what the library itself allocates.
class CountingHandle final : public containers::ISharedTypelessObject {
 public:
  // A new handle to a new value, owned by the caller.
  static CountingHandle* New(HandleTally& tally, int value) {
    return new CountingHandle(tally, std::make_shared<int>(value));
  }

  void Destroy() noexcept override {
    ++tally_->destroyed;
    delete this;
  }
  const utility::InterfaceId* GetInterfaceId() const override {
    return utility::InterfaceIdOf<ISharedTypelessObject>();
  }
  bool CopyFrom(const utility::IObject*) override { return false; }
  bool Equals(const utility::IObject* other) const override {
    const auto* that = dynamic_cast<const CountingHandle*>(other);
    return that != nullptr && *that->value_ == *value_;
  }
  utility::IObject* NewInstance() const override { return New(*tally_, 0); }
  const utility::InterfaceId* GetTypeId() const override { return utility::VoidInterfaceId(); }
  bool AssignValue(const ISharedTypelessObject*) override { return false; }
  containers::IUniqueTypelessObject* GetUnique() override { return nullptr; }
  const containers::ITypelessObject* GetConstUnique() const override { return nullptr; }
  void Reset(containers::IUniqueTypelessObject*) override {}
  ISharedTypelessObject* Share() const override { return new CountingHandle(*tally_, value_); }

  // The value this handle shares with the handles made from it by Share.
  const int* value() const { return value_.get(); }

  // The interfaces' class-level delete ends objects through Destroy; this class frees its own.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  CountingHandle(HandleTally& tally, std::shared_ptr<int> value)
      : tally_(&tally), value_(std::move(value)) {
    ++tally_->made;
  }
  ~CountingHandle() = default;

  HandleTally* tally_;
  std::shared_ptr<int> value_;
};

}  // namespace kivo::testing
