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
    using Operation = void (TypelessHarness::*)(FuzzInput&);
    static constexpr Operation kOperations[] = {
        &TypelessHarness::NewUnique,      &TypelessHarness::ChangeUnique,
        &TypelessHarness::Reset,          &TypelessHarness::Share,
        &TypelessHarness::EndHolder,      &TypelessHarness::SharedCopyFrom,
        &TypelessHarness::Equals,         &TypelessHarness::AssignValue,
        &TypelessHarness::UniqueCopyFrom, &TypelessHarness::VectorPushBack,
        &TypelessHarness::VectorAccess,   &TypelessHarness::VectorCopyFrom};
    (this->*kOperations[in.Below(std::size(kOperations))])(in);
    CheckAll();
  }

 private:
  static constexpr std::size_t kUnique = 3;
  static constexpr std::size_t kShared = 4;
  static constexpr std::size_t kVectors = 2;
#define KIVO_FUZZ_SIZE(N) N,
  static constexpr std::size_t kSizes[] = {KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_FUZZ_SIZE)};
#undef KIVO_FUZZ_SIZE
  using Allocator = utility::ISharedInterface* (*)();
#define KIVO_FUZZ_TRIVIAL(N) &KivoUniqueTypelessTrivialObjectAllocator_##N,
  static inline const Allocator kTrivial[] = {KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_FUZZ_TRIVIAL)};
#undef KIVO_FUZZ_TRIVIAL
  // A vector's capacity the model has not learnt yet: after a copy, until it next grows.
  static constexpr std::size_t kUnknown = ~std::size_t{0};

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

  static containers::ISharedTypelessObject* NewShared() {
    return static_cast<containers::ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
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
      const std::size_t choice = in.Below(std::size(kSizes));
      model->size = kSizes[choice];
      slot.object = static_cast<containers::IUniqueTypelessObject*>(kTrivial[choice]());
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
      const utility::InterfaceId* type = TypeRecord(in.Below(4));
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
        const utility::InterfaceId* type = TypeRecord(in.Below(4));
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

  void Share(FuzzInput& in) {  // into another slot
    SharedSlot& from = shared_[in.Below(kShared)];
    containers::ISharedTypelessObject* handle = from.object->Share();
    const std::shared_ptr<Unique> held = from.held;
    SharedSlot& to = shared_[in.Below(kShared)];
    to.object->Destroy();
    to.object = handle;
    to.held = held;
  }

  void EndHolder(FuzzInput& in) {  // an empty one takes its place
    SharedSlot& slot = shared_[in.Below(kShared)];
    slot.object->Destroy();
    slot.object = NewShared();
    slot.held.reset();
  }

  void Reset(FuzzInput& in) {
    SharedSlot& shared = shared_[in.Below(kShared)];
    UniqueSlot& unique = unique_[in.Below(kUnique)];
    const bool refuse = in.Below(4) == 0;
    const bool threw = Heap().Refusing(refuse, [&] { shared.object->Reset(unique.object); });
    // The count block is the one request; refused, it takes the offered object down with it and
    // leaves the previous reference in place. Whether null gets a block of its own is open.
    KIVO_FUZZ_CHECK(unique.object != nullptr ? threw == refuse : !threw || refuse);
    if (!threw) shared.held = unique.model;
    unique.object = nullptr;
    unique.model.reset();
  }

  // Unique CopyFrom: a trivial object copies from one of its own N, the non-trivial class from
  // itself; both look through a holder. Returns the answer; throws for a payload-less source.
  static bool ModelUniqueCopy(Unique& target, const Unique* source, const char** thrown) {
    *thrown = nullptr;
    if (source == nullptr || source->size != target.size) return false;
    if (target.size == 0 && !source->has_payload) {
      *thrown = kCannotCopy;
      return false;
    }
    target.code = source->code;
    target.bytes = source->bytes;
    target.has_payload = source->has_payload;
    return true;
  }

  // Equals of two holders' objects, either of which may be missing.
  static bool HeldEquals(const Unique* a, const Unique* b, const char** thrown) {
    return a == nullptr || b == nullptr ? a == b : ModelUniqueEquals(*a, *b, thrown);
  }

  // A payload-less non-trivial object cannot be compared with one that has a payload.
  static bool ModelUniqueEquals(const Unique& a, const Unique& b, const char** thrown) {
    *thrown = nullptr;
    if (&a == &b) return true;
    if (a.size != b.size || a.code != b.code) return false;
    if (a.size == 0 && a.has_payload != b.has_payload) {
      *thrown = kCannotCompare;
      return false;
    }
    return a.bytes == b.bytes;
  }

  enum Kind { kNone, kUniqueKind, kSharedKind, kVectorKind };
  struct Any {
    const utility::IObject* object;
    Kind kind;
    std::size_t index;
  };

  // Any object here, null, or an object of another class.
  Any PickAny(FuzzInput& in) {
    const std::size_t choice = in.Below(5);
    const std::size_t i = in.Below(choice == 0 ? kUnique : choice < 3 ? kShared : kVectors);
    if (choice == 0 && unique_[i].object != nullptr) return {unique_[i].object, kUniqueKind, i};
    if (choice == 1 || choice == 2) return {shared_[i].object, kSharedKind, i};
    if (choice == 3) return {vectors_[i].object, kVectorKind, i};
    return {choice == 4 && (i & 1) != 0 ? foreign_ : nullptr, kNone, 0};
  }

  // The unique object's model behind a unique or shared object picked as a source; null for
  // anything else.
  const Unique* SourceModel(const Any& other) const {
    if (other.kind == kUniqueKind) return unique_[other.index].model.get();
    return other.kind == kSharedKind ? shared_[other.index].held.get() : nullptr;
  }

  void SharedCopyFrom(FuzzInput& in) {
    SharedSlot& slot = shared_[in.Below(kShared)];
    const Any other = PickAny(in);
    const Unique* source = SourceModel(other);
    const bool typeless = other.kind == kUniqueKind || other.kind == kSharedKind;
    const bool expected = other.object == slot.object || typeless;
    const char* thrown = nullptr;
    std::shared_ptr<Unique> next = slot.held;
    if (other.object != slot.object && typeless) {
      if (source == nullptr ||
          (other.kind == kUniqueKind && source->code == containers::kVoidCode)) {
        next.reset();
      } else if (source->size == 0 && !source->has_payload) {
        thrown = kCannotCopy;
      } else {
        next = std::make_shared<Unique>(*source);
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
    if (thrown != nullptr) return;
    if (next != slot.held && next != nullptr) {
      // A copy of its own: a new unique object, not the source's.
      next->live = LiveOf(slot.object->GetConstUnique());
      KIVO_FUZZ_CHECK(next->live != nullptr && (source == nullptr || next->live != source->live));
    }
    slot.held = next;
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
    const Any other = PickAny(in);
    bool expected = true;
    const char* thrown = nullptr;
    if (other.object != slot.object) {
      Unique copy = *slot.model;
      expected = ModelUniqueCopy(copy, SourceModel(other), &thrown);
      if (thrown == nullptr && expected) *slot.model = copy;
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
  }

  void VectorPushBack(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(kVectors)];
    const SharedSlot& from = shared_[in.Below(kShared)];
    containers::ISharedTypelessObject* handle = from.object->Share();
    const bool known = vector.capacity != kUnknown;
    const bool grows = vector.held.size() == vector.capacity;
    const bool refuse = in.Below(4) == 0;
    testing::CountingHeap& heap = Heap();
    const void* before = vector.object->GetData();
    const bool threw = heap.Refusing(refuse, [&] { vector.object->PushBack(handle); });
    KIVO_FUZZ_CHECK(known ? threw == (refuse && grows) : (!threw || refuse));
    if (threw) {
      vector.capacity = vector.held.size();  // only a full vector asks for a block
      handle->Destroy();                     // not adopted: still ours
      return;
    }
    // The new capacity is learnt from the request: the exact growth rule is the unit tests' to
    // check.
    const bool grew = vector.object->GetData() != before;
    KIVO_FUZZ_CHECK(!known || grew == grows);
    if (grew) {
      vector.capacity = heap.LastRequest() / sizeof(void*);
      KIVO_FUZZ_CHECK(vector.capacity > vector.held.size());
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
    const Any other = PickAny(in);
    if (other.kind != kVectorKind) {
      KIVO_FUZZ_CHECK(!vector.object->CopyFrom(other.object));
      return;
    }
    const VectorSlot& source = vectors_[other.index];
    KIVO_FUZZ_CHECK(vector.object->CopyFrom(source.object));
    if (&source == &vector) return;
    vector.capacity = kUnknown;
    vector.held = source.held;
    vector.handles.assign(vector.object->GetData(),
                          vector.object->GetData() + vector.object->GetSize());
    for (std::size_t i = 0; i < vector.handles.size(); ++i) {
      KIVO_FUZZ_CHECK(vector.handles[i] != source.handles[i]);
    }
  }

  // Equals between any two of the objects here: objects of different classes never compare.
  void Equals(FuzzInput& in) {
    const Any a = PickAny(in);
    const Any b = PickAny(in);
    if (a.object == nullptr) return;
    bool expected = a.object == b.object;
    const char* thrown = nullptr;
    if (!expected && a.kind == b.kind && a.kind == kUniqueKind) {
      expected = ModelUniqueEquals(*unique_[a.index].model, *unique_[b.index].model, &thrown);
    } else if (!expected && a.kind == b.kind && a.kind == kSharedKind) {
      expected = HeldEquals(shared_[a.index].held.get(), shared_[b.index].held.get(), &thrown);
    } else if (!expected && a.kind == b.kind && a.kind == kVectorKind) {
      const auto& x = vectors_[a.index].held;
      const auto& y = vectors_[b.index].held;
      expected = x.size() == y.size();
      for (std::size_t i = 0; expected && thrown == nullptr && i < x.size(); ++i) {
        expected = HeldEquals(x[i].get(), y[i].get(), &thrown);
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(a.object->Equals(b.object) == expected); });
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
