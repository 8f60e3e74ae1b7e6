// Drives the numeric vectors of one element type against a std::vector model: the shared
// fallback element, the copy rules, where the storage lives and refused allocations.
// SPDX-License-Identifier: MIT
#pragma once

#include "fuzz_support.h"

namespace kivo::fuzz {

template <class T, utility::ISharedInterface* (*MakeVector)()>
class NumericVectorHarness {
 public:
  using Vector = containers::ITypedVectorObject<T>;

  void Step(FuzzInput& in) {
    Slot& slot = slots_[in.Below(kSlots)];
    Vector& vector = *slot.object;
    const std::size_t operation = in.Below(11);  // 8 only checks (NewInstance: the unit table)
    const bool refused = operation == 10;        // the next heap request refused
    if (operation == 0 || (refused && in.Bool())) {
      const T value = in.Raw<T>();
      const bool by_copy = refused || in.Bool();
      if (!Grow(slot, slot.elements.size() + 1, true, refused, [&] {
            by_copy ? vector.PushBack(static_cast<const T&>(value)) : vector.PushBack(T(value));
          })) {
        slot.elements.push_back(value);
      }
    } else if (operation == 6 || refused) {
      const std::size_t choice = in.Below(kSlots + 2);
      if (choice >= kSlots) {
        KIVO_FUZZ_CHECK(!vector.CopyFrom(choice == kSlots ? nullptr : other_.get()));
      } else {
        const Slot& source = slots_[choice];
        const std::size_t needed = &source == &slot ? 0 : source.elements.size();
        if (!Grow(slot, needed, false, refused,
                  [&] { KIVO_FUZZ_CHECK(vector.CopyFrom(source.object.get())); })) {
          slot.elements = std::vector<T>(source.elements);
        }
      }
    } else if (operation >= 1 && operation <= 4) {
      const std::int32_t index = Index(in, slot);
      T& expected = Valid(slot, index) ? slot.elements[index] : Fallback();
      const T value = operation == 3 ? in.Raw<T>() : expected;
      if (operation == 1) {  // append an element of the same vector, through the reference
        Grow(slot, slot.elements.size() + 1, true, false,
             [&] { vector.PushBack(vector.GetAt(index)); });
        slot.elements.push_back(value);
      } else if (operation == 2) {
        const T got = static_cast<const Vector&>(vector).GetAt(index);
        KIVO_FUZZ_CHECK(std::memcmp(&got, &value, sizeof(T)) == 0);
      } else if (operation == 3) {  // out of range the writable reference is the fallback
        vector.GetAt(index) = expected = value;
      } else {
        KIVO_FUZZ_CHECK(vector.RemoveAt(index) == Valid(slot, index));
        if (Valid(slot, index)) slot.elements.erase(slot.elements.begin() + index);
      }
    } else if (operation == 5) {
      vector.Clear();
      slot.elements.clear();
    } else if (operation == 7) {
      const std::size_t choice = in.Below(kSlots + 2);
      if (choice < kSlots) {
        const Slot& that = slots_[choice];
        KIVO_FUZZ_CHECK(vector.Equals(that.object.get()) ==
                        (&that == &slot || slot.elements == that.elements));
      } else {
        KIVO_FUZZ_CHECK(!vector.Equals(choice == kSlots ? nullptr : other_.get()));
      }
    } else if (operation == 9 && !slot.elements.empty()) {  // write through the data pointer
      const std::size_t index = in.Below(slot.elements.size());
      const T value = in.Raw<T>();
      vector.GetData()[index] = value;
      slot.elements[index] = value;
    }
    for (const Slot& each : slots_) {
      const Vector& checked = *each.object;
      KIVO_FUZZ_CHECK(checked.GetSize() == each.elements.size());
      KIVO_FUZZ_CHECK(checked.GetData() == each.data && each.object->GetData() == each.data);
      KIVO_FUZZ_CHECK(each.elements.empty() || std::memcmp(each.data, each.elements.data(),
                                                           each.elements.size() * sizeof(T)) == 0);
    }
  }

 private:
  static constexpr std::size_t kSlots = 3;

  struct Slot {
    testing::Handle<Vector> object = testing::Make<Vector>(MakeVector);
    std::vector<T> elements;
    std::size_t capacity = 0;
    const T* data = nullptr;  // where the storage should be; null without
  };

  // The fallback element as the library should have it: zero at first, then whatever was
  // written through an out-of-range reference, by any input of this process.
  static T& Fallback() {
    static T value{};
    return value;
  }

  static std::int32_t Index(FuzzInput& in, const Slot& slot) {
    const auto count = static_cast<std::int32_t>(slot.elements.size());
    const std::size_t choice = in.Below(6);
    const std::int32_t picks[] = {-1, count, std::numeric_limits<std::int32_t>::max()};
    if (choice < 3) return picks[choice];
    if (choice == 3) return in.Raw<std::int32_t>();
    return count == 0 ? 0 : static_cast<std::int32_t>(in.Below(count));
  }

  static bool Valid(const Slot& slot, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < slot.elements.size();
  }

  // Runs an append or copy that needs room for `needed` elements, with every heap request refused
  // when `refuse`; answers whether it threw. A new block is needed beyond the capacity, which the
  // model learns from the size requested (the exact growth rule is the unit tests' to check). An
  // append takes its new block while the old one is held; a copy releases first, so when refused
  // it leaves the vector empty without storage.
  template <class Call>
  bool Grow(Slot& slot, std::size_t needed, bool appends, bool refuse, Call call) {
    const T* before = slot.object->GetData();
    const bool grows = needed > slot.capacity;
    const bool threw = Heap().Refusing(refuse, call);
    KIVO_FUZZ_CHECK(threw == (refuse && grows));
    if (threw && !appends) slot = Slot{std::move(slot.object), {}, 0, nullptr};
    if (threw || !grows) return threw;
    slot.data = slot.object->GetData();
    KIVO_FUZZ_CHECK(slot.data != nullptr && (!appends || slot.data != before));
    const std::size_t request = Heap().LastRequest();
    KIVO_FUZZ_CHECK(request % sizeof(T) == 0 && request / sizeof(T) >= needed);
    slot.capacity = request / sizeof(T);
    return false;
  }

  Slot slots_[kSlots];
  // A vector of another element type (the 8-bit ones share a type code), never copied or equal.
  testing::Handle<utility::IObject> other_ = testing::Make<utility::IObject>(
      std::is_same_v<T, signed char> ? &KivoUInt8VectorObjectAllocator
                                     : &KivoInt8VectorObjectAllocator);
};

}  // namespace kivo::fuzz
