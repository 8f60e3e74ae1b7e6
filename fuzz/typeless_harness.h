// Drives unique and shared typeless objects and typeless vectors against the value model, with
// shared ownership as a std::shared_ptr to the unique object's model.
// SPDX-License-Identifier: MIT
#pragma once

#include "compound_model.h"
#include "fuzz_support.h"

namespace kivo::fuzz {

class TypelessHarness {
 public:
  void Step(FuzzInput& in) {
    using H = TypelessHarness;
    static constexpr void (H::*kOperations[])(FuzzInput&) = {
        &H::NewUnique,      &H::ChangeUnique,   &H::Reset,        &H::Share,
        &H::EndHolder,      &H::SharedCopyFrom, &H::Equals,       &H::AssignValue,
        &H::UniqueCopyFrom, &H::VectorPushBack, &H::VectorAccess, &H::VectorCopyFrom};
    (this->*kOperations[in.Below(std::size(kOperations))])(in);
    CheckAll();
  }

 private:
  using Kind = Node::Kind;
  using Model = std::shared_ptr<Node>;  // kBytes (trivial), kText or kBare (non-trivial)
  using Unique = containers::IUniqueTypelessObject;
  using Shared = containers::ISharedTypelessObject;
  using Vector = containers::ITypelessVectorObject;
#define KIVO_FUZZ_TRIVIAL(N) {N, &KivoUniqueTypelessTrivialObjectAllocator_##N},
  static constexpr std::pair<std::size_t, utility::ObjectAllocator> kTrivial[] = {
      KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_FUZZ_TRIVIAL)};  // N and its allocator
#undef KIVO_FUZZ_TRIVIAL
  static constexpr std::size_t kUnknown = ~std::size_t{0};  // a capacity not learnt yet

  struct UniqueSlot {
    Handle<Unique> object;  // owned here until adopted
    Model model;
  };
  struct SharedSlot {
    Handle<Shared> object = testing::Make<Shared>(&KivoSharedTypelessObjectAllocator);
    Model held;  // null when empty
  };
  struct VectorSlot {
    Handle<Vector> object = testing::Make<Vector>(&KivoTypelessVectorObjectAllocator);
    std::vector<Model> held;
    std::vector<const Shared*> handles;
    std::size_t capacity = 0;
  };

  static const containers::ITypelessObject* LiveOf(const Model& model) {
    return model ? model->live : nullptr;
  }
  template <class Slots>
  static auto& Pick(FuzzInput& in, Slots& slots) {
    return slots[in.Below(std::size(slots))];
  }

  void NewUnique(FuzzInput& in) {
    UniqueSlot& slot = Pick(in, unique_);
    slot.model = std::make_shared<Node>(Node{Kind::kBare});
    Node& model = *slot.model;
    if (in.Below(3) != 0) {
      const auto [size, make] = kTrivial[in.Below(std::size(kTrivial))];
      slot.object = testing::Make<Unique>(make);
      in.Fill(slot.object->GetData(), size);
      model = {Kind::kBytes, containers::kVoidCode,
               std::string(static_cast<const char*>(slot.object->GetData()), size)};
    } else {
      slot.object = testing::Make<Unique>(&KivoUniqueTypelessNonTrivialObjectAllocator);
      if (in.Bool()) {
        model = {Kind::kText, containers::kVoidCode, in.Text(20)};
        slot.object->SetObject(NewString(model.bytes));
      }
    }
    if (in.Bool()) Label(*slot.object, model, in);
    model.live = slot.object.get();
  }

  static void Label(Unique& object, Node& model, FuzzInput& in) {
    const utility::InterfaceId* type = TypeRecord(in.Below(4));
    object.SetTypeId(type);
    model.code = type->code;
  }

  // Writes the payload, relabels, or clears a unique object held here or by a holder.
  void ChangeUnique(FuzzInput& in) {
    Node* model = (in.Bool() ? Pick(in, unique_).model : Pick(in, shared_).held).get();
    if (model == nullptr) return;
    auto* object = static_cast<Unique*>(model->live);
    const std::size_t change = in.Below(3);
    if (change == 0 && model->kind == Kind::kBytes) {
      const std::size_t offset = in.Below(model->bytes.size());
      model->bytes[offset] = static_cast<char>(in.Byte());
      static_cast<char*>(object->GetData())[offset] = model->bytes[offset];
    } else if (change == 0 && model->kind == Kind::kText) {
      model->bytes = in.Text(20);
      auto* payload = static_cast<utility::ISharedInterface*>(object->GetData());
      static_cast<containers::IStringObject*>(payload)->SetString(model->bytes.c_str());
    } else if (change == 1) {
      Label(*object, *model, in);
    } else if (change == 2) {
      // A trivial object stays as it is; the non-trivial one drops its payload and its label.
      object->Clear();
      if (model->kind == Kind::kText) *model = {Kind::kBare, containers::kVoidCode, {}, {}, object};
    }
  }

  // A new handle to one holder's object, or (ending the holder) an empty one takes its place.
  void Share(FuzzInput& in) {
    const SharedSlot& from = Pick(in, shared_);
    Pick(in, shared_) = {Handle<Shared>(from.object->Share()), from.held};
  }
  void EndHolder(FuzzInput& in) { Pick(in, shared_) = {}; }

  void Reset(FuzzInput& in) {
    SharedSlot& shared = Pick(in, shared_);
    UniqueSlot& unique = Pick(in, unique_);
    const bool refuse = in.Below(4) == 0;
    const bool offered = unique.object != nullptr;
    const bool threw =
        Heap().Refusing(refuse, [&] { shared.object->Reset(unique.object.release()); });
    // The count block is the one request; refused, it takes the offered object down with it and
    // leaves the previous reference in place. Whether null gets a block of its own is open.
    KIVO_FUZZ_CHECK(offered ? threw == refuse : !threw || refuse);
    if (!threw) shared.held = unique.model;
    unique = {};
  }

  // Unique CopyFrom: a trivial object copies from one of its own N, the non-trivial class from
  // itself; both look through a holder. A payload-less non-trivial source throws.
  static bool ModelCopy(Node& target, const Node* source, const char** thrown) {
    if (source == nullptr || (source->kind == Kind::kBytes) != (target.kind == Kind::kBytes) ||
        (target.kind == Kind::kBytes && source->bytes.size() != target.bytes.size())) {
      return false;
    }
    if (source->kind == Kind::kBare && target.kind != Kind::kBytes) *thrown = kCannotCopy;
    if (*thrown == nullptr)
      target = Node{source->kind, source->code, source->bytes, {}, target.live};
    return *thrown == nullptr;
  }

  // Equals of two unique objects, either of which may be missing behind a holder.
  static Outcome ModelEquals(const Node* a, const Node* b) {
    return a == b ? Outcome{1} : a == nullptr || b == nullptr ? Outcome{} : Equal(*a, *b);
  }

  enum Class { kNone, kUniqueClass, kSharedClass, kVectorClass };
  struct Any {
    const utility::IObject* object;
    Class kind;
    const Node* model;         // unique and shared classes
    const VectorSlot* vector;  // vector class
  };

  // Any object here, null, or an object of another class.
  Any PickAny(FuzzInput& in) {
    const std::size_t choice = in.Below(5);
    const std::size_t i = in.Below(choice == 0 ? 3 : choice < 3 ? 4 : 2);
    if (choice == 0 && unique_[i].object != nullptr) {
      return {unique_[i].object.get(), kUniqueClass, unique_[i].model.get(), nullptr};
    }
    if (choice == 1 || choice == 2)
      return {shared_[i].object.get(), kSharedClass, shared_[i].held.get(), nullptr};
    if (choice == 3) return {vectors_[i].object.get(), kVectorClass, nullptr, &vectors_[i]};
    return {choice == 4 && (i & 1) != 0 ? foreign_.get() : nullptr, kNone, nullptr, nullptr};
  }

  void SharedCopyFrom(FuzzInput& in) {
    SharedSlot& slot = Pick(in, shared_);
    const Any other = PickAny(in);
    const Node* source = other.model;
    const bool typeless = other.kind == kUniqueClass || other.kind == kSharedClass;
    const char* thrown = nullptr;
    Model next = slot.held;
    if (other.object != slot.object.get() && typeless) {
      if (source == nullptr ||
          (other.kind == kUniqueClass && source->code == containers::kVoidCode)) {
        next.reset();
      } else if (source->kind == Kind::kBare) {
        thrown = kCannotCopy;
      } else {
        next = std::make_shared<Node>(*source);
      }
    }
    const bool expected = other.object == slot.object.get() || typeless;
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
    if (thrown != nullptr) return;
    if (next != slot.held && next != nullptr) {  // a new unique object, not the source's
      next->live = slot.object->GetUnique();
      KIVO_FUZZ_CHECK(next->live != nullptr && next->live != source->live);
    }
    slot.held = next;
  }

  void AssignValue(FuzzInput& in) {
    SharedSlot& slot = Pick(in, shared_);
    const SharedSlot& other = Pick(in, shared_);
    bool expected = slot.held == other.held;
    const char* thrown = nullptr;
    if (!expected && slot.held && other.held && slot.held->code == other.held->code) {
      expected = ModelCopy(*slot.held, other.held.get(), &thrown);
    }
    ExpectThrow(thrown,
                [&] { KIVO_FUZZ_CHECK(slot.object->AssignValue(other.object.get()) == expected); });
  }

  void UniqueCopyFrom(FuzzInput& in) {
    UniqueSlot& slot = Pick(in, unique_);
    if (slot.object == nullptr) return;
    const Any other = PickAny(in);
    const char* thrown = nullptr;
    const bool expected =
        other.object == slot.object.get() || ModelCopy(*slot.model, other.model, &thrown);
    ExpectThrow(thrown, [&] { KIVO_FUZZ_CHECK(slot.object->CopyFrom(other.object) == expected); });
  }

  void VectorPushBack(FuzzInput& in) {
    VectorSlot& vector = Pick(in, vectors_);
    const SharedSlot& from = Pick(in, shared_);
    Shared* handle = from.object->Share();
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
    if (grew) vector.capacity = Heap().LastRequest() / sizeof(void*);
    KIVO_FUZZ_CHECK(vector.capacity > vector.held.size());
    vector.held.push_back(from.held);
    vector.handles.push_back(handle);
  }

  void VectorAccess(FuzzInput& in) {
    VectorSlot& vector = Pick(in, vectors_);
    const std::int32_t index =
        in.Below(3) == 0 ? in.Raw<std::int32_t>() : static_cast<std::int32_t>(in.Below(8));
    const bool valid = index >= 0 && static_cast<std::size_t>(index) < vector.held.size();
    const std::size_t operation = in.Below(4);
    if (operation < 2) {
      const auto& object = *vector.object;  // GetAt, writable or const
      const Handle<Shared> got(in.Bool() ? vector.object->GetAt(index) : object.GetAt(index));
      KIVO_FUZZ_CHECK((got != nullptr) == valid);
      if (got == nullptr) return;
      KIVO_FUZZ_CHECK(got.get() != vector.handles[index] &&
                      got->GetConstUnique() == LiveOf(vector.held[index]));
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
    VectorSlot& vector = Pick(in, vectors_);
    const Any other = PickAny(in);
    KIVO_FUZZ_CHECK(vector.object->CopyFrom(other.object) == (other.kind == kVectorClass));
    if (other.kind != kVectorClass || other.vector == &vector) return;
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
    Outcome expected{a.object == b.object};
    if (expected.value == 0 && a.kind == b.kind && a.kind != kNone && a.kind != kVectorClass) {
      expected = ModelEquals(a.model, b.model);
    } else if (expected.value == 0 && a.kind == b.kind && a.kind == kVectorClass) {
      const auto &x = a.vector->held, &y = b.vector->held;
      expected.value = x.size() == y.size();
      for (std::size_t i = 0; expected.value != 0 && i < x.size(); ++i) {
        expected = ModelEquals(x[i].get(), y[i].get());
      }
    }
    ExpectThrow(expected.thrown,
                [&] { KIVO_FUZZ_CHECK(a.object->Equals(b.object) == (expected.value != 0)); });
  }

  static void CheckUnique(const containers::ITypelessObject* object, const Model& model) {
    KIVO_FUZZ_CHECK(object == LiveOf(model));
    if (object == nullptr) return;
    KIVO_FUZZ_CHECK(object->GetTypeId()->code == model->code);
    CheckPayload(*static_cast<const Unique*>(object), *model);
  }

  void CheckAll() const {
    for (const UniqueSlot& slot : unique_) {
      if (slot.object != nullptr) CheckUnique(slot.object.get(), slot.model);
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
        const Shared* handle = vector.object->GetData()[i];
        KIVO_FUZZ_CHECK(handle == vector.handles[i]);
        KIVO_FUZZ_CHECK(handle->GetConstUnique() == LiveOf(vector.held[i]));
      }
    }
  }

  UniqueSlot unique_[3];
  SharedSlot shared_[4];
  VectorSlot vectors_[2];
  Handle<containers::IStringObject> foreign_ =
      testing::Make<containers::IStringObject>(&KivoStringObjectAllocator);
};

}  // namespace kivo::fuzz
