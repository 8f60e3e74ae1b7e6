// Drives the numeric vectors of one element type against a std::vector model with the growth
// rule, the shared fallback element, the copy rules and refused allocations.
// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "fuzz_support.h"
#include "kivo/containers/exports.h"

namespace kivo::fuzz {

// Make creates the vectors of T; MakeOther a vector of another element type, which never copies
// into or equals them.
template <class T, utility::ISharedInterface* (*Make)(), utility::ISharedInterface* (*MakeOther)()>
class NumericVectorHarness {
 public:
  using Vector = containers::ITypedVectorObject<T>;

  NumericVectorHarness() {
    for (Slot& slot : slots_) slot.object = static_cast<Vector*>(Make());
    other_ = static_cast<utility::IObject*>(MakeOther());
  }
  ~NumericVectorHarness() {
    for (Slot& slot : slots_) slot.object->Destroy();
    other_->Destroy();
  }
  NumericVectorHarness(const NumericVectorHarness&) = delete;
  NumericVectorHarness& operator=(const NumericVectorHarness&) = delete;

  void Step(FuzzInput& in) {
    Slot& slot = slots_[in.Below(kSlots)];
    Vector& vector = *slot.object;
    switch (in.Below(11)) {
      case 0:
        PushBack(slot, Value(in), in.Bool());
        break;
      case 1: {  // append an element of the same vector, through the writable reference
        const std::int32_t index = Index(in, slot);
        const T value = Valid(slot, index) ? slot.elements[index] : Fallback();
        const bool grows = Full(slot);
        const T* before = vector.GetData();
        vector.PushBack(vector.GetAt(index));
        Commit(slot, grows, slot.elements.size() + 1, before);
        slot.elements.push_back(value);
        break;
      }
      case 2: {
        const std::int32_t index = Index(in, slot);
        const T value = static_cast<const Vector&>(vector).GetAt(index);
        KIVO_FUZZ_CHECK(SameBits(value, Valid(slot, index) ? slot.elements[index] : Fallback()));
        break;
      }
      case 3: {  // write through the writable reference; out of range it is the fallback
        const std::int32_t index = Index(in, slot);
        const T value = Value(in);
        vector.GetAt(index) = value;
        (Valid(slot, index) ? slot.elements[index] : Fallback()) = value;
        break;
      }
      case 4: {
        const std::int32_t index = Index(in, slot);
        const bool valid = Valid(slot, index);
        KIVO_FUZZ_CHECK(vector.RemoveAt(index) == valid);
        if (valid) slot.elements.erase(slot.elements.begin() + index);
        break;
      }
      case 5:
        vector.Clear();
        slot.elements.clear();
        break;
      case 6:
        CopyFrom(slot, in, false);
        break;
      case 7: {
        const std::size_t choice = in.Below(kSlots + 2);
        if (choice < kSlots) {
          const Slot& that = slots_[choice];
          const bool expected = &that == &slot || slot.elements == that.elements;
          KIVO_FUZZ_CHECK(vector.Equals(that.object) == expected);
        } else {
          KIVO_FUZZ_CHECK(!vector.Equals(choice == kSlots ? nullptr : other_));
        }
        break;
      }
      case 8: {
        utility::IObject* fresh = vector.NewInstance();
        auto* empty = dynamic_cast<Vector*>(fresh);
        KIVO_FUZZ_CHECK(empty != nullptr && empty->GetSize() == 0 && empty->GetData() == nullptr);
        KIVO_FUZZ_CHECK(fresh->GetInterfaceId() == vector.GetInterfaceId());
        KIVO_FUZZ_CHECK(fresh->Equals(&vector) == slot.elements.empty());
        fresh->Destroy();
        break;
      }
      case 9:  // write through the data pointer
        if (!slot.elements.empty()) {
          const std::size_t index = in.Below(slot.elements.size());
          const T value = Value(in);
          vector.GetData()[index] = value;
          slot.elements[index] = value;
        }
        break;
      default:  // the same operations with the next heap request refused
        if (in.Bool()) {
          PushBack(slot, Value(in), true, /*refuse=*/true);
        } else {
          CopyFrom(slot, in, /*refuse=*/true);
        }
        break;
    }
    for (const Slot& each : slots_) CheckSlot(each);
  }

 private:
  static constexpr std::size_t kSlots = 3;

  struct Slot {
    Vector* object = nullptr;
    std::vector<T> elements;
    std::size_t capacity = 0;
    const T* data = nullptr;  // where the model expects the storage to be; null without
  };

  // The fallback element of T as the library should have it: zero at start, then whatever was
  // written through an out-of-range reference, by any input of this process.
  static T& Fallback() {
    static T value{};
    return value;
  }

  static bool SameBits(const T& a, const T& b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }

  static T Value(FuzzInput& in) {
    T value;
    // Floating-point members also get NaNs, infinities and both zeros from raw bits.
    in.Fill(&value, sizeof(T));
    return value;
  }

  static std::int32_t Index(FuzzInput& in, const Slot& slot) {
    const auto count = static_cast<std::int32_t>(slot.elements.size());
    switch (in.Below(6)) {
      case 0:
        return -1;
      case 1:
        return count;
      case 2:
        return std::numeric_limits<std::int32_t>::max();
      case 3:
        return in.Int32();
      default:
        return count == 0 ? 0 : static_cast<std::int32_t>(in.Below(count));
    }
  }

  static bool Valid(const Slot& slot, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < slot.elements.size();
  }

  // Whether an append needs a new block.
  static bool Full(const Slot& slot) { return slot.elements.size() == slot.capacity; }

  // Checks the block an operation made (or that it made none) and learns the new capacity from
  // the size the heap was asked for: the exact growth rule is the unit tests' to check.
  // An append takes its new block while the old one is still held, so the address differs; a
  // copy releases first and may get the same address back.
  void Commit(Slot& slot, bool grew, std::size_t needed, const T* before, bool appends = true) {
    const T* after = slot.object->GetData();
    if (!grew) {
      KIVO_FUZZ_CHECK(after == before);
      return;
    }
    KIVO_FUZZ_CHECK(after != nullptr && (!appends || after != before));
    const std::size_t request = Heap().LastRequest();
    KIVO_FUZZ_CHECK(request % sizeof(T) == 0 && request / sizeof(T) >= needed);
    slot.capacity = request / sizeof(T);
    slot.data = after;
  }

  void PushBack(Slot& slot, T value, bool by_copy, bool refuse = false) {
    testing::CountingHeap& heap = Heap();
    const bool grows = Full(slot);
    const T* before = slot.object->GetData();
    const bool threw = heap.Refusing(refuse, [&] {
      if (by_copy) {
        slot.object->PushBack(static_cast<const T&>(value));
      } else {
        slot.object->PushBack(T(value));
      }
    });
    // A refused request fails an append that needs a new block and leaves the vector as it was.
    KIVO_FUZZ_CHECK(threw == (refuse && grows));
    if (threw) {
      KIVO_FUZZ_CHECK(slot.object->GetData() == before);
      return;
    }
    Commit(slot, grows, slot.elements.size() + 1, before);
    slot.elements.push_back(value);
  }

  void CopyFrom(Slot& slot, FuzzInput& in, bool refuse) {
    testing::CountingHeap& heap = Heap();
    const std::size_t choice = in.Below(kSlots + 2);
    if (choice >= kSlots) {
      KIVO_FUZZ_CHECK(!slot.object->CopyFrom(choice == kSlots ? nullptr : other_));
      return;
    }
    const Slot& source = slots_[choice];
    const T* before = slot.object->GetData();
    const std::size_t count = source.elements.size();
    const bool grows = &source != &slot && count > slot.capacity;
    const bool threw =
        heap.Refusing(refuse, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(source.object)); });
    KIVO_FUZZ_CHECK(threw == (refuse && grows));
    if (threw) {
      // The old storage went before the new block was asked for: empty, without storage.
      slot.elements.clear();
      slot.capacity = 0;
      slot.data = nullptr;
      return;
    }
    if (&source == &slot) return;
    Commit(slot, grows, count, before, /*appends=*/false);
    slot.elements = source.elements;
  }

  void CheckSlot(const Slot& slot) const {
    const Vector& vector = *slot.object;
    KIVO_FUZZ_CHECK(vector.GetSize() == slot.elements.size());
    KIVO_FUZZ_CHECK(vector.GetData() == slot.data && slot.object->GetData() == slot.data);
    if (!slot.elements.empty()) {
      KIVO_FUZZ_CHECK(std::memcmp(vector.GetData(), slot.elements.data(),
                                  slot.elements.size() * sizeof(T)) == 0);
    }
  }

  Slot slots_[kSlots];
  utility::IObject* other_ = nullptr;
};

}  // namespace kivo::fuzz
