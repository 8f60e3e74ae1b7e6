// The three typeless classes: N inline bytes, one owned object, and a shared unique object.
// SPDX-License-Identifier: MIT
#pragma once

// Type records are compared by code throughout. A null record (only SetTypeId can store one)
// counts as a type of its own: it matches another null record and nothing else.

#include <cstddef>
#include <memory>
#include <utility>

#include "internal/shared_implementation.h"
#include "kivo/containers/typeless_object.h"

namespace kivo::containers {

// A payload of N raw bytes stored inside the object, labelled with a type record. Each N is a
// class of its own: objects of different N never copy into or equal one another.
template <std::size_t N>
class UniqueTypelessTrivialObject final
    : public utility::SharedImplementation<IUniqueTypelessObject> {
 public:
  // Copies bytes and record from a trivial object of the same N, or from the one that a shared
  // object holds. False, with nothing changed, for anything else.
  bool CopyFrom(const utility::IObject* other) override;
  // True for a trivial object of the same N with an equal record and equal bytes.
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  const utility::InterfaceId* GetTypeId() const override;
  // No effect: the bytes belong to the object.
  void Clear() override;
  void* GetData() override;
  const void* GetConstData() const override;
  // No effect: object is neither stored nor destroyed.
  void SetObject(utility::ISharedInterface* object) override;
  void SetTypeId(const utility::InterfaceId* type) override;

 private:
  const utility::InterfaceId* typeId = utility::VoidInterfaceId();
  alignas(8) unsigned char data[N] = {};
};

#define KIVO_EXTERN_TRIVIAL(N) extern template class UniqueTypelessTrivialObject<N>;
KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_EXTERN_TRIVIAL)
#undef KIVO_EXTERN_TRIVIAL

// A payload that is one owned library object, labelled with a type record. Copies and
// comparisons go to the payload through IObject.
class UniqueTypelessNonTrivialObject final
    : public utility::SharedImplementation<IUniqueTypelessObject> {
 public:
  UniqueTypelessNonTrivialObject() = default;
  UniqueTypelessNonTrivialObject(const UniqueTypelessNonTrivialObject&) = delete;
  UniqueTypelessNonTrivialObject& operator=(const UniqueTypelessNonTrivialObject&) = delete;
  // Destroys the payload.
  ~UniqueTypelessNonTrivialObject() override;

  // Deep-copies the payload of a non-trivial object, or of the one a shared object holds, and
  // takes its record. Throws std::runtime_error when that payload is not an IObject (none
  // included); false when the payload's copy fails. Either way nothing changes.
  bool CopyFrom(const utility::IObject* other) override;
  // True for a non-trivial object with the same type code whose payload equals this one (or when
  // neither holds one). Throws std::runtime_error when exactly one holds none or a payload is
  // not an IObject.
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  const utility::InterfaceId* GetTypeId() const override { return typeId; }
  // Destroys the payload and labels the object void; without a payload the record is kept.
  void Clear() override;
  void* GetData() override { return object; }
  const void* GetConstData() const override;
  // Takes ownership of object; a payload already held is overwritten without being destroyed.
  void SetObject(utility::ISharedInterface* object) override;
  void SetTypeId(const utility::InterfaceId* type) override;

 private:
  utility::ISharedInterface* object = nullptr;
  const utility::InterfaceId* typeId = utility::VoidInterfaceId();
};

// A shared reference to one unique typeless object, counted atomically: the unique object ends
// with its last holder.
class SharedTypelessObject final : public utility::SharedImplementation<ISharedTypelessObject> {
 public:
  SharedTypelessObject() = default;

  // A new holder of a new non-trivial object, made in one block with its count, that owns payload
  // labelled type. payload ends when the blocks cannot be made.
  static SharedTypelessObject* NewHolding(detail::Owned<utility::ISharedInterface> payload,
                                          const utility::InterfaceId* type);

  // Gives this object a deep copy of its own: of the unique object a shared source holds, or of
  // a unique source. An empty shared source, or a unique one labelled void, empties this object.
  bool CopyFrom(const utility::IObject* other) override;
  // True for another shared object when both are empty or their unique objects are equal.
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  const utility::InterfaceId* GetTypeId() const override;
  // Copies other's value into the unique object held here, which every holder sees.
  bool AssignValue(const ISharedTypelessObject* other) override;
  IUniqueTypelessObject* GetUnique() override { return unique.get(); }
  const ITypelessObject* GetConstUnique() const override { return unique.get(); }
  // Takes ownership of unique. Null empties this object without allocating.
  void Reset(IUniqueTypelessObject* unique) override;
  ISharedTypelessObject* Share() const override;

  // Whether another holder shares the unique object held here. The walks through nested values
  // use it: a value with one holder cannot be met twice.
  bool SharesUnique() const noexcept { return unique.use_count() > 1; }

 private:
  explicit SharedTypelessObject(std::shared_ptr<IUniqueTypelessObject> held) noexcept
      : unique(std::move(held)) {}

  // Replaces the held reference by one to a deep copy of source; false when the copy fails.
  bool ResetToCloneOf(const IUniqueTypelessObject& source);

  std::shared_ptr<IUniqueTypelessObject> unique;
};

}  // namespace kivo::containers
