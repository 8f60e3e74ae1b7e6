// Drives unique and shared typeless objects and typeless vectors against a model in which
// shared ownership is a std::shared_ptr to the unique object's model.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace kivo::fuzz {

class TypelessHarness {
 public:
  ~TypelessHarness() {
    for (UniqueSlot& slot : unique_) Drop(slot);
    for (SharedSlot& slot : shared_) slot.object->Destroy();
    for (VectorSlot& slot : vectors_) slot.object->Destroy();
    foreign_->Destroy();
  }

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
  using Allocator = utility::ISharedInterface* (*)();
#define KIVO_FUZZ_TRIVIAL(N) {N, &KivoUniqueTypelessTrivialObjectAllocator_##N},
  static constexpr struct {
    std::size_t size;
    Allocator make;
  } kTrivial[] = {KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_FUZZ_TRIVIAL)};
#undef KIVO_FUZZ_TRIVIAL
  static constexpr std::size_t kUnknown = ~std::size_t{0};  // a capacity not learnt yet

  // A unique object as the model sees it.
  struct Unique {
    std::size_t size = 0;  // N of a trivial object; 0 for the non-trivial class
    std::uint32_t code = containers::kVoidCode;
    std::string bytes;         // trivial: the N payload bytes; non-trivial: the text
    bool has_payload = false;  // non-trivial: holds a string object
    const containers::ITypelessObject* live = nullptr;  // the library's object
  };
  using Model = std::shared_ptr<Unique>;

  struct UniqueSlot {
    containers::IUniqueTypelessObject* object = nullptr;  // owned here until adopted
    Model model;
  };
  struct SharedSlot {
    containers::ISharedTypelessObject* object = NewShared();
    Model held;  // null when empty
  };
  struct VectorSlot {
    containers::ITypelessVectorObject* object =
        Make<containers::ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
    std::vector<Model> held;
    std::vector<const containers::ISharedTypelessObject*> handles;
    std::size_t capacity = 0;
  };

  static containers::ISharedTypelessObject* NewShared() {
    return Make<containers::ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  }
  static void Drop(UniqueSlot& slot) {
    if (slot.object != nullptr) slot.object->Destroy();
    slot = {};
  }
  static containers::IStringObject* TextOf(const containers::IUniqueTypelessObject& unique) {
    return static_cast<containers::IStringObject*>(
        static_cast<utility::ISharedInterface*>(const_cast<void*>(unique.GetConstData())));
  }
  static const containers::ITypelessObject* LiveOf(const Model& model) {
    return model ? model->live : nullptr;
  }

  void NewUnique(FuzzInput& in) {
    UniqueSlot& slot = unique_[in.Below(std::size(unique_))];
    Drop(slot);
    slot.model = std::make_shared<Unique>();
    Unique& model = *slot.model;
    if (in.Below(3) != 0) {
      const auto& trivial = kTrivial[in.Below(std::size(kTrivial))];
      model.size = trivial.size;
      slot.object = Make<containers::IUniqueTypelessObject>(trivial.make);
      in.Fill(slot.object->GetData(), model.size);
      model.bytes.assign(static_cast<const char*>(slot.object->GetData()), model.size);
    } else {
      slot.object =
          Make<containers::IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
      if (in.Bool()) {
        auto* text = Make<containers::IStringObject>(&KivoStringObjectAllocator);
        model.bytes = in.Text(20);
        text->SetString(model.bytes.c_str());
        slot.object->SetObject(text);
        model.has_payload = true;
      }
    }
    if (in.Bool()) Label(*slot.object, model, in);
    model.live = slot.object;
  }

  static void Label(containers::IUniqueTypelessObject& object, Unique& model, FuzzInput& in) {
    const utility::InterfaceId* type = TypeRecord(in.Below(4));
    object.SetTypeId(type);
    model.code = type->code;
  }

  // Writes the payload, relabels, or clears a unique object held here or by a holder.
  void ChangeUnique(FuzzInput& in) {
    containers::IUniqueTypelessObject* object = nullptr;
    Unique* model = nullptr;
    if (in.Bool()) {
      UniqueSlot& slot = unique_[in.Below(std::size(unique_))];
      object = slot.object;
      model = slot.model.get();
    } else {
      SharedSlot& slot = shared_[in.Below(std::size(shared_))];
      object = slot.object->GetUnique();
      model = slot.held.get();
    }
    if (object == nullptr) return;
    const std::size_t change = in.Below(3);
    if (change == 0 && model->size > 0) {
      const std::size_t offset = in.Below(model->size);
      model->bytes[offset] = static_cast<char>(in.Byte());
      static_cast<char*>(object->GetData())[offset] = model->bytes[offset];
    } else if (change == 0 && model->has_payload) {
      model->bytes = in.Text(20);
      TextOf(*object)->SetString(model->bytes.c_str());
    } else if (change == 1) {
      Label(*object, *model, in);
    } else if (change == 2) {
      // A trivial object stays as it is; the non-trivial one drops its payload and its label.
      object->Clear();
      if (model->has_payload) *model = Unique{0, containers::kVoidCode, {}, false, model->live};
    }
  }

  void Share(FuzzInput& in) {  // into another slot
    SharedSlot& from = shared_[in.Below(std::size(shared_))];
    SharedSlot copy{from.object->Share(), from.held};
    SharedSlot& to = shared_[in.Below(std::size(shared_))];
    to.object->Destroy();
    to = copy;
  }

  void EndHolder(FuzzInput& in) {  // an empty one takes its place
    SharedSlot& slot = shared_[in.Below(std::size(shared_))];
    slot.object->Destroy();
    slot = {NewShared(), nullptr};
  }

  void Reset(FuzzInput& in) {
    SharedSlot& shared = shared_[in.Below(std::size(shared_))];
    UniqueSlot& unique = unique_[in.Below(std::size(unique_))];
    const bool refuse = in.Below(4) == 0;
    const bool threw = Heap().Refusing(refuse, [&] { shared.object->Reset(unique.object); });
    // The count block is the one request; refused, it takes the offered object down with it and
    // leaves the previous reference in place. Whether null gets a block of its own is open.
    KIVO_FUZZ_CHECK(unique.object != nullptr ? threw == refuse : !threw || refuse);
    if (!threw) shared.held = unique.model;
    unique = {};
  }

  // Unique CopyFrom: a trivial object copies from one of its own N, the non-trivial class from
  // itself; both look through a holder. A payload-less non-trivial source throws.
  static bool ModelCopy(Unique& target, const Unique* source, const char** thrown) {
    if (source == nullptr || source->size != target.size) return false;
    if (target.size == 0 && !source->has_payload) {
      *thrown = kCannotCopy;
      return false;
    }
    target = Unique{target.size, source->code, source->bytes, source->has_payload, target.live};
    return true;
  }

  // Equals of two unique objects, either of which may be missing behind a holder. A payload-less
  // non-trivial object cannot be compared with one that has a payload.
  static bool ModelEquals(const Unique* a, const Unique* b, const char** thrown) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr || a->size != b->size || a->code != b->code) return false;
    if (a->size == 0 && a->has_payload != b->has_payload) {
      *thrown = kCannotCompare;
      return false;
    }
    return a->bytes == b->bytes;
  }

  enum Kind { kNone, kUniqueKind, kSharedKind, kVectorKind };
  struct Any {
    const utility::IObject* object;
    Kind kind;
    const Unique* model;       // unique and shared kinds
    const VectorSlot* vector;  // vector kind
  };

  // Any object here, null, or an object of another class.
  Any PickAny(FuzzInput& in) {
    const std::size_t choice = in.Below(5);
    const std::size_t i = in.Below(choice == 0 ? 3 : choice < 3 ? 4 : 2);
    if (choice == 0 && unique_[i].object != nullptr) {
      return {unique_[i].object, kUniqueKind, unique_[i].model.get(), nullptr};
    }
    if (choice == 1 || choice == 2)
      return {shared_[i].object, kSharedKind, shared_[i].held.get(), nullptr};
    if (choice == 3) return {vectors_[i].object, kVectorKind, nullptr, &vectors_[i]};
    return {choice == 4 && (i & 1) != 0 ? foreign_ : nullptr, kNone, nullptr, nullptr};
  }

  void SharedCopyFrom(FuzzInput& in) {
    SharedSlot& slot = shared_[in.Below(std::size(shared_))];
    const Any other = PickAny(in);
    const Unique* source = other.model;
    const bool typeless = other.kind == kUniqueKind || other.kind == kSharedKind;
    const char* thrown = nullptr;
    Model next = slot.held;
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
    const bool expected = other.object == slot.object || typeless;
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
    if (thrown != nullptr) return;
    if (next != slot.held && next != nullptr) {  // a new unique object, not the source's
      next->live = slot.object->GetConstUnique();
      KIVO_FUZZ_CHECK(next->live != nullptr && next->live != source->live);
    }
    slot.held = next;
  }

  void AssignValue(FuzzInput& in) {
    SharedSlot& slot = shared_[in.Below(std::size(shared_))];
    const SharedSlot& other = shared_[in.Below(std::size(shared_))];
    bool expected = slot.held == other.held;
    const char* thrown = nullptr;
    if (!expected && slot.held && other.held && slot.held->code == other.held->code) {
      Unique copy = *slot.held;
      expected = ModelCopy(copy, other.held.get(), &thrown);
      if (thrown == nullptr) *slot.held = copy;
    }
    ExpectThrow(thrown,
                [&] { KIVO_FUZZ_CHECK(slot.object->AssignValue(other.object) == expected); });
  }

  void UniqueCopyFrom(FuzzInput& in) {
    UniqueSlot& slot = unique_[in.Below(std::size(unique_))];
    if (slot.object == nullptr) return;
    const Any other = PickAny(in);
    bool expected = true;
    const char* thrown = nullptr;
    if (other.object != slot.object) {
      Unique copy = *slot.model;
      expected = ModelCopy(copy, other.model, &thrown);
      if (expected) *slot.model = copy;
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
  }

  void VectorPushBack(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(std::size(vectors_))];
    const SharedSlot& from = shared_[in.Below(std::size(shared_))];
    containers::ISharedTypelessObject* handle = from.object->Share();
    const bool known = vector.capacity != kUnknown;
    const bool grows = vector.held.size() == vector.capacity;
    const bool refuse = in.Below(4) == 0;
    const void* before = vector.object->GetData();
    const bool threw = Heap().Refusing(refuse, [&] { vector.object->PushBack(handle); });
    KIVO_FUZZ_CHECK(known ? threw == (refuse && grows) : (!threw || refuse));
    if (threw) {
      vector.capacity = vector.held.size();  // only a full vector asks for a block
      handle->Destroy();                     // not adopted: still ours
      return;
    }
    // The capacity is learnt from the request; the exact growth rule is the unit tests' to check.
    const bool grew = vector.object->GetData() != before;
    KIVO_FUZZ_CHECK(!known || grew == grows);
    if (grew) {
      vector.capacity = Heap().LastRequest() / sizeof(void*);
      KIVO_FUZZ_CHECK(vector.capacity > vector.held.size());
    }
    vector.held.push_back(from.held);
    vector.handles.push_back(handle);
  }

  void VectorAccess(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(std::size(vectors_))];
    const std::int32_t index =
        in.Below(3) == 0 ? in.Int32() : static_cast<std::int32_t>(in.Below(8));
    const bool valid = index >= 0 && static_cast<std::size_t>(index) < vector.held.size();
    const std::size_t operation = in.Below(4);
    if (operation < 2) {
      containers::ISharedTypelessObject* got =
          in.Bool()
              ? vector.object->GetAt(index)
              : static_cast<const containers::ITypelessVectorObject*>(vector.object)->GetAt(index);
      KIVO_FUZZ_CHECK((got != nullptr) == valid);
      if (got == nullptr) return;
      KIVO_FUZZ_CHECK(got != vector.handles[index]);
      KIVO_FUZZ_CHECK(got->GetConstUnique() == LiveOf(vector.held[index]));
      got->Destroy();
    } else if (operation == 2) {
      KIVO_FUZZ_CHECK(vector.object->RemoveAt(index) == valid);
      if (!valid) return;
      vector.held.erase(vector.held.begin() + index);
      vector.handles.erase(vector.handles.begin() + index);
    } else {
      vector.object->Clear();
      vector.held.clear();
      vector.handles.clear();
    }
  }

  void VectorCopyFrom(FuzzInput& in) {
    VectorSlot& vector = vectors_[in.Below(std::size(vectors_))];
    const Any other = PickAny(in);
    KIVO_FUZZ_CHECK(vector.object->CopyFrom(other.object) == (other.kind == kVectorKind));
    if (other.kind != kVectorKind || other.vector == &vector) return;
    // New handles to the same unique objects.
    vector.capacity = kUnknown;
    vector.held = other.vector->held;
    vector.handles.assign(vector.object->GetData(),
                          vector.object->GetData() + vector.object->GetSize());
    for (std::size_t i = 0; i < vector.handles.size(); ++i) {
      KIVO_FUZZ_CHECK(vector.handles[i] != other.vector->handles[i]);
    }
  }

  // Equals between any two of the objects here: objects of different classes never compare.
  void Equals(FuzzInput& in) {
    const Any a = PickAny(in);
    const Any b = PickAny(in);
    if (a.object == nullptr) return;
    bool expected = a.object == b.object;
    const char* thrown = nullptr;
    if (!expected && a.kind == b.kind && a.kind != kVectorKind && a.kind != kNone) {
      expected = ModelEquals(a.model, b.model, &thrown);
    } else if (!expected && a.kind == b.kind && a.kind == kVectorKind) {
      const auto& x = a.vector->held;
      const auto& y = b.vector->held;
      expected = x.size() == y.size();
      for (std::size_t i = 0; expected && thrown == nullptr && i < x.size(); ++i) {
        expected = ModelEquals(x[i].get(), y[i].get(), &thrown);
      }
    }
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(a.object->Equals(b.object) == expected); });
  }

  static void CheckUnique(const containers::ITypelessObject* object, const Model& model) {
    KIVO_FUZZ_CHECK(object == LiveOf(model));
    if (object == nullptr) return;
    KIVO_FUZZ_CHECK(object->GetTypeId()->code == model->code);
    const auto* unique = static_cast<const containers::IUniqueTypelessObject*>(object);
    const void* data = unique->GetConstData();
    if (model->size > 0) {
      KIVO_FUZZ_CHECK(std::memcmp(data, model->bytes.data(), model->size) == 0);
    } else if (!model->has_payload) {
      KIVO_FUZZ_CHECK(data == nullptr);
    } else {
      const containers::IStringObject* text = TextOf(*unique);
      KIVO_FUZZ_CHECK(std::string(text->GetString(), text->GetLength()) == model->bytes);
    }
  }

  void CheckAll() const {
    for (const UniqueSlot& slot : unique_) {
      if (slot.object != nullptr) CheckUnique(slot.object, slot.model);
    }
    for (const SharedSlot& slot : shared_) {
      const containers::ITypelessObject* unique = slot.object->GetConstUnique();
      KIVO_FUZZ_CHECK(slot.object->GetUnique() == unique);
      CheckUnique(unique, slot.held);
      KIVO_FUZZ_CHECK(slot.object->GetTypeId()->code ==
                      (slot.held ? slot.held->code : containers::kVoidCode));
    }
    for (const VectorSlot& vector : vectors_) {
      KIVO_FUZZ_CHECK(vector.object->GetSize() == vector.held.size());
      if (vector.capacity == 0) KIVO_FUZZ_CHECK(vector.object->GetData() == nullptr);
      for (std::size_t i = 0; i < vector.held.size(); ++i) {
        const containers::ISharedTypelessObject* handle = vector.object->GetData()[i];
        KIVO_FUZZ_CHECK(handle == vector.handles[i]);
        KIVO_FUZZ_CHECK(handle->GetConstUnique() == LiveOf(vector.held[i]));
      }
    }
  }

  UniqueSlot unique_[3];
  SharedSlot shared_[4];
  VectorSlot vectors_[2];
  containers::IStringObject* foreign_ = Make<containers::IStringObject>(&KivoStringObjectAllocator);
};

}  // namespace kivo::fuzz
