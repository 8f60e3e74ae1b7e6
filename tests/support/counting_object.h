// CountingObject: a payload test double that counts how often objects of its kind end.
// SPDX-License-Identifier: MIT
#pragma once

// A CountingObject carries an int value and reports to a CountingLog shared by it and every copy
// made of it (NewInstance, CopyFrom), so a test can see that a payload ends exactly once, however
// many owners passed it around. The objects live on the global heap, not the library's, so they
// never show up in a CountingHeap.

#include <atomic>
#include <new>

#include "kivo/utility/object.h"

namespace kivo::testing {

struct CountingLog {
  std::atomic<int> created{0};
  std::atomic<int> destroyed{0};
  // When set, CopyFrom answers false, as a payload whose copy fails does.
  std::atomic<bool> refuse_copies{false};

  int Alive() const { return created - destroyed; }
};

class CountingObject final : public utility::IObject {
 public:
  // A new object with value; the caller owns it and ends it with Destroy.
  static CountingObject* New(CountingLog& log, int value = 0) {
    return new CountingObject(log, value);
  }

  void Destroy() noexcept override {
    ++log_->destroyed;
    this->~CountingObject();
    ::operator delete(this);
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
    if (other == this) return true;
    const auto* that = dynamic_cast<const CountingObject*>(other);
    return that != nullptr && that->value == value;
  }

  utility::IObject* NewInstance() const override { return New(*log_); }

  int value;

  // Plain global allocation; the interface's class-level delete would call Destroy again.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  CountingObject(CountingLog& log, int initial) : value(initial), log_(&log) { ++log_->created; }
  ~CountingObject() = default;

  CountingLog* log_;
};

}  // namespace kivo::testing
