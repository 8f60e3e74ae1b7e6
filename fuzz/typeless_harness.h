// Drives unique and shared typeless objects and typeless vectors against a model in which
// shared ownership is a std::shared_ptr to the unique object's model.
// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "kivo/containers/exports.h"

namespace kivo::fuzz {

class TypelessHarness {
 public:
  TypelessHarness() {
    for (SharedSlot& slot : shared_) slot.object = NewShared();
    for (VectorSlot& slot : vectors_) {
      slot.object =
          static_cast<containers::ITypelessVectorObject*>(KivoTypelessVectorObjectAllocator());
    }
    foreign_ = static_cast<containers::IStringObject*>(KivoStringObjectAllocator());
  }
  ~TypelessHarness() {
    for (UniqueSlot& slot : unique_) DropUnique(slot);
    for (SharedSlot& slot : shared_) slot.object->Destroy();
    for (VectorSlot& slot : vectors_) slot.object->Destroy();
    foreign_->Destroy();
  }
  TypelessHarness(const TypelessHarness&) = delete;
  TypelessHarness& operator=(const TypelessHarness&) = delete;

  void Step(FuzzInput& in) {
    switch (in.Below(14)) {
      case 0:
        NewUnique(in);
        break;
      case 1:
        ChangeUnique(in);
        break;
      case 2:
        Reset(in);
        break;
      case 3: {  // Share into another slot
        SharedSlot& from = shared_[in.Below(kShared)];
        containers::ISharedTypelessObject* handle = from.object->Share();
        const std::shared_ptr<Unique> held = from.held;
        SharedSlot& to = shared_[in.Below(kShared)];
        to.object->Destroy();
        to.object = handle;
        to.held = held;
        break;
      }
      case 4: {  // end a holder; an empty one takes its place
        SharedSlot& slot = shared_[in.Below(kShared)];
        slot.object->Destroy();
        slot.object = NewShared();
        slot.held.reset();
        break;
      }
      case 5:
        SharedCopyFrom(in);
        break;
      case 6:
        SharedEquals(in);
        break;
      case 7:
        AssignValue(in);
        break;
      case 8:
        UniqueCopyFrom(in);
        break;
      case 9:
        UniqueEquals(in);
        break;
      case 10:
        VectorPushBack(in);
        break;
      case 11:
        VectorAccess(in);
        break;
      case 12:
        VectorCopyFrom(in);
        break;
      default:
        VectorEquals(in);
        break;
    }
    CheckAll();
  }

 private:
  static constexpr std::size_t kUnique = 3;
  static constexpr std::size_t kShared = 4;
  static constexpr std::size_t kVectors = 2;
  static constexpr std::size_t kSizes[] = {1, 2, 4, 8, 12, 16, 20, 24, 28, 32};
  static constexpr std::uint64_t kMaxCount = 0x1FFFFFFFFFFFFFFF;

  // A unique object as the model sees it.
  struct Unique {
    std::size_t size = 0;        // N of a trivial object; 0 for the non-trivial class
    std::uint32_t code = 0;      // payload type code
    std::string bytes;           // trivial: the N payload bytes; non-trivial: the text
    bool has_payload = false;    // non-trivial: holds a string object
    const void* live = nullptr;  // the library's object, as ITypelessObject
  };

  struct UniqueSlot {
    containers::IUniqueTypelessObject* object = nullptr;  // owned here until adopted
    std::shared_ptr<Unique> model;
  };
  struct SharedSlot {
    containers::ISharedTypelessObject* object = nullptr;
    std::shared_ptr<Unique> held;  // null when empty
  };
  struct VectorSlot {
    containers::ITypelessVectorObject* object = nullptr;
    std::vector<std::shared_ptr<Unique>> held;
    std::vector<const containers::ISharedTypelessObject*> handles;
    std::size_t capacity = 0;
  };

  static const utility::InterfaceId* TypeRecord(std::size_t choice) {
    static const utility::InterfaceId a{"fuzz::A", utility::NameCode("fuzz::A")};
    static const utility::InterfaceId alias{"fuzz::A", utility::NameCode("fuzz::A")};
    static const utility::InterfaceId b{"fuzz::B", utility::NameCode("fuzz::B")};
    switch (choice % 4) {
      case 0:
        return &a;
      case 1:
        return &alias;
      case 2:
        return &b;
      default:
        return utility::VoidInterfaceId();
    }
  }

  static containers::ISharedTypelessObject* NewShared() {
    return static_cast<containers::ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  }

  static utility::ISharedInterface* MakeTrivial(std::size_t size) {
    switch (size) {
      case 1:
        return KivoUniqueTypelessTrivialObjectAllocator_1();
      case 2:
        return KivoUniqueTypelessTrivialObjectAllocator_2();
      case 4:
        return KivoUniqueTypelessTrivialObjectAllocator_4();
      case 8:
        return KivoUniqueTypelessTrivialObjectAllocator_8();
      case 12:
        return KivoUniqueTypelessTrivialObjectAllocator_12();
      case 16:
        return KivoUniqueTypelessTrivialObjectAllocator_16();
      case 20:
        return KivoUniqueTypelessTrivialObjectAllocator_20();
      case 24:
        return KivoUniqueTypelessTrivialObjectAllocator_24();
      case 28:
        return KivoUniqueTypelessTrivialObjectAllocator_28();
      default:
        return KivoUniqueTypelessTrivialObjectAllocator_32();
    }
  }

  static const void* LiveOf(const containers::ITypelessObject* object) { return object; }

  static void DropUnique(UniqueSlot& slot) {
    if (slot.object != nullptr) slot.object->Destroy();
    slot.object = nullptr;
    slot.model.reset();
  }

  static containers::IStringObject* TextOf(const containers::IUniqueTypelessObject& unique) {
    return static_cast<containers::IStringObject*>(
        static_cast<utility::ISharedInterface*>(const_cast<void*>(unique.GetConstData())));
  }

  void NewUnique(FuzzInput& in) {
    UniqueSlot& slot = unique_[in.Below(kUnique)];
    DropUnique(slot);
    auto model = std::make_shared<Unique>();
    if (in.Below(3) != 0) {
      model->size = kSizes[in.Below(std::size(kSizes))];
      slot.object = static_cast<containers::IUniqueTypelessObject*>(MakeTrivial(model->size));
      model->bytes.assign(model->size, '\0');
      in.Fill(slot.object->GetData(), model->size);
      model->bytes.assign(static_cast<const char*>(slot.object->GetData()), model->size);
    } else {
      slot.object = static_cast<containers::IUniqueTypelessObject*>(
          KivoUniqueTypelessNonTrivialObjectAllocator());
      if (in.Bool()) {
        auto* text = static_cast<containers::IStringObject*>(KivoStringObjectAllocator());
        const std::string bytes = in.Bytes(20);
        text->SetString(bytes.c_str());
        slot.object->SetObject(text);
        model->has_payload = true;
        model->bytes = bytes.c_str();
      }
    }
    model->code = containers::kVoidCode;
    if (in.Bool()) {
      const utility::InterfaceId* type = TypeRecord(in.Byte());
      slot.object->SetTypeId(type);
      model->code = type->code;
    }
    model->live = LiveOf(slot.object);
    slot.model = model;
  }

  // Writes through the payload pointer, relabels, or clears a unique object that this harness
  // still owns or that a holder shares.
  void ChangeUnique(FuzzInput& in) {
    containers::IUniqueTypelessObject* object = nullptr;
    Unique* model = nullptr;
    if (in.Bool()) {
      UniqueSlot& slot = unique_[in.Below(kUnique)];
      object = slot.object;
      model = slot.model.get();
    } else {
      SharedSlot& slot = shared_[in.Below(kShared)];
      object = slot.object->GetUnique();
      model = slot.held.get();
    }
    if (object == nullptr) return;
    switch (in.Below(3)) {
      case 0:
        if (model->size > 0) {
          const std::size_t offset = in.Below(model->size);
          const std::uint8_t byte = in.Byte();
          static_cast<std::uint8_t*>(object->GetData())[offset] = byte;
          model->bytes[offset] = static_cast<char>(byte);
        } else if (model->has_payload) {
          const std::string bytes = in.Bytes(20);
          TextOf(*object)->SetString(bytes.c_str());
          model->bytes = bytes.c_str();
        }
        break;
      case 1: {
        const utility::InterfaceId* type = TypeRecord(in.Byte());
        object->SetTypeId(type);
        model->code = type->code;
        break;
      }
      default:
        object->Clear();
        // Clearing a trivial object changes nothing; the non-trivial one drops its payload and
        // becomes void only when it had one.
        if (model->size == 0 && model->has_payload) {
          model->has_payload = false;
          model->bytes.clear();
          model->code = containers::kVoidCode;
        }
        break;
    }
  }

  void Reset(FuzzInput& in) {
    SharedSlot& shared = shared_[in.Below(kShared)];
    UniqueSlot& unique = unique_[in.Below(kUnique)];
    const bool refuse = in.Below(4) == 0;
    FuzzHeap& heap = FuzzHeap::Get();
    if (refuse) heap.FailAfter(0);
    bool threw = false;
    try {
      shared.object->Reset(unique.object);
    } catch (const std::bad_alloc& error) {
      threw = true;
      KIVO_FUZZ_CHECK(std::strcmp(error.what(), "bad allocation") == 0);
    }
    heap.FailNone();
    // The count block is the one request; refused, it takes the offered object down with it and
    // leaves the previous reference in place. Whether null gets a block of its own is open.
    if (unique.object != nullptr) {
      KIVO_FUZZ_CHECK(threw == refuse);
    } else {
      KIVO_FUZZ_CHECK(!threw || refuse);
    }
    if (!threw) shared.held = unique.model;
    unique.object = nullptr;
    unique.model.reset();
  }

  // The source a copy or comparison gets: a holder, an owned unique object, null, or an object of
  // another class.
  struct Other {
    const utility::IObject* object = nullptr;
    const SharedSlot* shared = nullptr;
    const UniqueSlot* unique = nullptr;
  };

  Other PickOther(FuzzInput& in) {
    Other other;
    switch (in.Below(4)) {
      case 0:
      case 1: {
        const SharedSlot& slot = shared_[in.Below(kShared)];
        other.object = slot.object;
        other.shared = &slot;
        break;
      }
      case 2: {
        const UniqueSlot& slot = unique_[in.Below(kUnique)];
        if (slot.object != nullptr) {
          other.object = slot.object;
          other.unique = &slot;
        }
        break;
      }
      default:
        if (in.Bool()) other.object = foreign_;
        break;
    }
    return other;
  }

  static const char* kCannotCopy() {
    return "Can not copy from an object that doesn't derive from utility::IObject";
  }
  static const char* kCannotCompare() {
    return "Can not test equality of objects that don't derive from utility::IObject";
  }

  // Runs call, which may throw the runtime_error named by expected_throw (null: none).
  template <class Call>
  static void ExpectThrow(const char* expected_throw, Call call) {
    try {
      call();
      KIVO_FUZZ_CHECK(expected_throw == nullptr);
    } catch (const std::runtime_error& error) {
      KIVO_FUZZ_CHECK(expected_throw != nullptr);
      KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected_throw) == 0);
    }
  }

  // Unique CopyFrom: a trivial object copies from one of its own N, the non-trivial class from
  // itself; both look through a holder. Returns the answer; throws for a payload-less source.
  static bool ModelUniqueCopy(Unique& target, const Unique* source, const char** thrown) {
    *thrown = nullptr;
    if (source == nullptr || source->size != target.size) return false;
    if (target.size == 0 && !source->has_payload) {
      *thrown = kCannotCopy();
      return false;
    }
    target.code = source->code;
    target.bytes = source->bytes;
    target.has_payload = source->has_payload;
    return true;
  }

  static bool ModelUniqueEquals(const Unique& a, const Unique& b, const char** thrown) {
    *thrown = nullptr;
    if (&a == &b) return true;
    if (a.size != b.size) return false;
    if (a.code != b.code) return false;
    if (a.size > 0) return a.bytes == b.bytes;
    if (!a.has_payload && !b.has_payload) return true;
    if (a.has_payload != b.has_payload) {
      *thrown = kCannotCompare();
      return false;
    }
    return a.bytes == b.bytes;
  }

  void SharedCopyFrom(FuzzInput& in) {
    SharedSlot& slot = shared_[in.Below(kShared)];
    const Other other = PickOther(in);
    bool expected = false;
    const char* thrown = nullptr;
    std::shared_ptr<Unique> next = slot.held;
    if (other.object == slot.object) {
      expected = true;
    } else if (other.shared != nullptr || other.unique != nullptr) {
      const Unique* source = other.shared ? other.shared->held.get() : other.unique->model.get();
      expected = true;
      const bool empties =
          source == nullptr || (other.unique != nullptr && source->code == containers::kVoidCode);
      if (empties) {
        next.reset();
      } else if (source->size == 0 && !source->has_payload) {
        thrown = kCannotCopy();
      } else {
        next = std::make_shared<Unique>(*source);
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
    if (thrown != nullptr) return;
    if (next != slot.held && next != nullptr) {
      // A copy of its own: a new unique object, not the source's.
      next->live = LiveOf(slot.object->GetConstUnique());
      KIVO_FUZZ_CHECK(next->live != nullptr);
      KIVO_FUZZ_CHECK(other.shared == nullptr || other.shared->held == nullptr ||
                      next->live != other.shared->held->live);
    }
    slot.held = next;
  }

  void SharedEquals(FuzzInput& in) {
    const SharedSlot& slot = shared_[in.Below(kShared)];
    const Other other = PickOther(in);
    bool expected = false;
    const char* thrown = nullptr;
    if (other.object == slot.object) {
      expected = true;
    } else if (other.shared != nullptr) {
      const auto& a = slot.held;
      const auto& b = other.shared->held;
      if (a == nullptr || b == nullptr) {
        expected = a == b;
      } else {
        expected = ModelUniqueEquals(*a, *b, &thrown);
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->Equals(other.object) == expected); });
  }

  void AssignValue(FuzzInput& in) {
    SharedSlot& slot = shared_[in.Below(kShared)];
    const SharedSlot& other = shared_[in.Below(kShared)];
    bool expected = false;
    const char* thrown = nullptr;
    if (slot.held == nullptr) {
      expected = other.held == nullptr;
    } else if (other.held == nullptr) {
      expected = false;
    } else if (slot.held == other.held) {
      expected = true;
    } else if (slot.held->code == other.held->code) {
      Unique copy = *slot.held;
      expected = ModelUniqueCopy(copy, other.held.get(), &thrown);
      if (thrown == nullptr) *slot.held = copy;
    }
    ExpectThrow(thrown,
                [&] { KIVO_FUZZ_CHECK(slot.object->AssignValue(other.object) == expected); });
  }

  void UniqueCopyFrom(FuzzInput& in) {
    UniqueSlot& slot = unique_[in.Below(kUnique)];
    if (slot.object == nullptr) return;
    const Other other = PickOther(in);
    bool expected = true;
    const char* thrown = nullptr;
    if (other.object != slot.object) {
      const Unique* source = other.shared   ? other.shared->held.get()
                             : other.unique ? other.unique->model.get()
                                            : nullptr;
      Unique copy = *slot.model;
      expected = ModelUniqueCopy(copy, source, &thrown);
      if (thrown == nullptr && expected) *slot.model = copy;
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
  }

  void UniqueEquals(FuzzInput& in) {
    const UniqueSlot& slot = unique_[in.Below(kUnique)];
    if (slot.object == nullptr) return;
    const Other other = PickOther(in);
    bool expected = other.object == slot.object;
    const char* thrown = nullptr;
    if (!expected && other.unique != nullptr) {
      expected = ModelUniqueEquals(*slot.model, *other.unique->model, &thrown);
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->Equals(other.object) == expected); });
  }

  static std::size_t Grown(std::size_t capacity, std::size_t needed) {
    if (capacity > kMaxCount - capacity / 2) return kMaxCount;
    return std::max(capacity + capacity / 2, needed);
  }

  void VectorPushBack(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(kVectors)];
    const SharedSlot& from = shared_[in.Below(kShared)];
    containers::ISharedTypelessObject* handle = from.object->Share();
    const bool grows = vector.held.size() == vector.capacity;
    const bool refuse = in.Below(4) == 0;
    FuzzHeap& heap = FuzzHeap::Get();
    if (refuse) heap.FailAfter(0);
    bool threw = false;
    try {
      vector.object->PushBack(handle);
    } catch (const std::bad_alloc& error) {
      threw = true;
      KIVO_FUZZ_CHECK(std::strcmp(error.what(), "bad allocation") == 0);
    }
    heap.FailNone();
    KIVO_FUZZ_CHECK(threw == (refuse && grows));
    if (threw) {
      handle->Destroy();  // not adopted: still ours
      return;
    }
    if (grows) {
      vector.capacity = Grown(vector.capacity, vector.held.size() + 1);
      KIVO_FUZZ_CHECK(heap.LastRequest() == vector.capacity * sizeof(void*));
    }
    vector.held.push_back(from.held);
    vector.handles.push_back(handle);
  }

  void VectorAccess(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(kVectors)];
    const auto count = static_cast<std::int32_t>(vector.held.size());
    std::int32_t index = in.Below(3) == 0 ? in.Int32() : static_cast<std::int32_t>(in.Below(8));
    const bool valid = index >= 0 && index < count;
    switch (in.Below(4)) {
      case 0:
      case 1: {
        containers::ISharedTypelessObject* got =
            in.Bool() ? vector.object->GetAt(index)
                      : static_cast<const containers::ITypelessVectorObject*>(vector.object)
                            ->GetAt(index);
        KIVO_FUZZ_CHECK((got != nullptr) == valid);
        if (got == nullptr) break;
        KIVO_FUZZ_CHECK(got != vector.handles[index]);
        const auto& held = vector.held[index];
        KIVO_FUZZ_CHECK(LiveOf(got->GetConstUnique()) == (held ? held->live : nullptr));
        got->Destroy();
        break;
      }
      case 2:
        KIVO_FUZZ_CHECK(vector.object->RemoveAt(index) == valid);
        if (valid) {
          vector.held.erase(vector.held.begin() + index);
          vector.handles.erase(vector.handles.begin() + index);
        }
        break;
      default:
        vector.object->Clear();
        vector.held.clear();
        vector.handles.clear();
        break;
    }
  }

  void VectorCopyFrom(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(kVectors)];
    const std::size_t choice = in.Below(kVectors + 2);
    if (choice >= kVectors) {
      const utility::IObject* other = choice == kVectors ? nullptr : foreign_;
      KIVO_FUZZ_CHECK(!vector.object->CopyFrom(other));
      return;
    }
    const VectorSlot& source = vectors_[choice];
    KIVO_FUZZ_CHECK(vector.object->CopyFrom(source.object));
    if (&source == &vector) return;
    // Handles of its own to the same unique objects, appended one by one.
    for (std::size_t count = 0; count < source.held.size(); ++count) {
      if (count == vector.capacity) vector.capacity = Grown(vector.capacity, count + 1);
    }
    vector.held = source.held;
    vector.handles.assign(vector.object->GetData(),
                          vector.object->GetData() + vector.object->GetSize());
    for (std::size_t i = 0; i < vector.handles.size(); ++i) {
      KIVO_FUZZ_CHECK(vector.handles[i] != source.handles[i]);
    }
  }

  void VectorEquals(FuzzInput& in) {
    const VectorSlot& vector = vectors_[in.Below(kVectors)];
    const std::size_t choice = in.Below(kVectors + 2);
    if (choice >= kVectors) {
      KIVO_FUZZ_CHECK(!vector.object->Equals(choice == kVectors ? nullptr : foreign_));
      return;
    }
    const VectorSlot& other = vectors_[choice];
    bool expected = true;
    const char* thrown = nullptr;
    if (&other != &vector) {
      expected = vector.held.size() == other.held.size();
      for (std::size_t i = 0; expected && i < vector.held.size(); ++i) {
        const auto& a = vector.held[i];
        const auto& b = other.held[i];
        if (a == nullptr || b == nullptr) {
          expected = a == b;
        } else {
          expected = ModelUniqueEquals(*a, *b, &thrown);
          if (thrown != nullptr) break;
        }
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(vector.object->Equals(other.object) == expected); });
  }

  void CheckUnique(const containers::ITypelessObject* object, const Unique& model) const {
    KIVO_FUZZ_CHECK(LiveOf(object) == model.live);
    KIVO_FUZZ_CHECK(object->GetTypeId()->code == model.code);
    const auto* unique = static_cast<const containers::IUniqueTypelessObject*>(object);
    if (model.size > 0) {
      KIVO_FUZZ_CHECK(std::memcmp(unique->GetConstData(), model.bytes.data(), model.size) == 0);
    } else if (!model.has_payload) {
      KIVO_FUZZ_CHECK(unique->GetConstData() == nullptr);
    } else {
      const containers::IStringObject* text = TextOf(*unique);
      KIVO_FUZZ_CHECK(std::string(text->GetString(), text->GetLength()) == model.bytes);
    }
  }

  void CheckAll() const {
    for (const UniqueSlot& slot : unique_) {
      if (slot.object != nullptr) CheckUnique(slot.object, *slot.model);
    }
    for (const SharedSlot& slot : shared_) {
      const containers::ITypelessObject* unique = slot.object->GetConstUnique();
      KIVO_FUZZ_CHECK(LiveOf(slot.object->GetUnique()) == LiveOf(unique));
      if (slot.held == nullptr) {
        KIVO_FUZZ_CHECK(unique == nullptr);
        KIVO_FUZZ_CHECK(slot.object->GetTypeId()->code == containers::kVoidCode);
      } else {
        KIVO_FUZZ_CHECK(unique != nullptr);
        CheckUnique(unique, *slot.held);
        KIVO_FUZZ_CHECK(slot.object->GetTypeId()->code == slot.held->code);
      }
    }
    for (const VectorSlot& vector : vectors_) {
      KIVO_FUZZ_CHECK(vector.object->GetSize() == vector.held.size());
      if (vector.capacity == 0) KIVO_FUZZ_CHECK(vector.object->GetData() == nullptr);
      for (std::size_t i = 0; i < vector.held.size(); ++i) {
        const containers::ISharedTypelessObject* handle = vector.object->GetData()[i];
        KIVO_FUZZ_CHECK(handle == vector.handles[i]);
        const auto& held = vector.held[i];
        KIVO_FUZZ_CHECK(LiveOf(handle->GetConstUnique()) == (held ? held->live : nullptr));
      }
    }
  }

  UniqueSlot unique_[kUnique];
  SharedSlot shared_[kShared];
  VectorSlot vectors_[kVectors];
  containers::IStringObject* foreign_ = nullptr;
};

}  // namespace kivo::fuzz
