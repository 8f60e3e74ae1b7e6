// Typeless values: opaque payloads labelled with a type record.
// SPDX-License-Identifier: MIT
#pragma once

// A typeless object carries a payload and the InterfaceId of the payload's type. A unique object
// owns its payload: N raw bytes (the trivial family) or one library object (the non-trivial
// class). A shared object holds one unique object together with any number of other shared
// objects; the unique object ends with its last holder. An empty payload has the void record.
//
// Slots: ITypelessObject adds slot 5; IUniqueTypelessObject and ISharedTypelessObject each add
// slots 6 to 10; slot 11 is the destructor of their classes.

#include "kivo/utility/object.h"

// The payload sizes of the trivial unique objects, each with its export
// KivoUniqueTypelessTrivialObjectAllocator_<N>.
#define KIVO_FOR_EACH_TRIVIAL_SIZE(X) X(1) X(2) X(4) X(8) X(12) X(16) X(20) X(24) X(28) X(32)

namespace kivo::containers {

/// A payload labelled with a type record: the common read side of typeless objects.
class ITypelessObject : public utility::IObject {
 public:
  /// Slot 5. The record of the payload's type; the void record when there is no payload.
  virtual const utility::InterfaceId* GetTypeId() const = 0;
};

/// A typeless object that owns its payload: inline bytes or one library object.
class IUniqueTypelessObject : public ITypelessObject {
 public:
  /// Slot 6. Non-trivial class: destroys the held object and labels the payload void.
  /// Trivial family: no effect.
  virtual void Clear() = 0;

  /// Slot 7. Trivial family: address of the N payload bytes, for reading and writing.
  /// Non-trivial class: the held object (null when there is none); ownership stays here.
  virtual void* GetData() = 0;

  /// Slot 8. The same address as GetData, read-only.
  virtual const void* GetConstData() const = 0;

  /// Slot 9. Non-trivial class: takes ownership of object; a payload already held is overwritten,
  /// not destroyed, so call it only on an object without one. Trivial family: no effect.
  virtual void SetObject(utility::ISharedInterface* object) = 0;

  /// Slot 10. Labels the payload with type (stored as given; the record is not owned).
  virtual void SetTypeId(const utility::InterfaceId* type) = 0;
};

/// A shared handle on a unique typeless object: copies share one payload.
class ISharedTypelessObject : public ITypelessObject {
 public:
  /// Slot 6. Copies other's value into the unique object this one holds, in place, so that every
  /// holder sees it. False when exactly one is empty, the type codes differ or the copy fails.
  /// other must be a non-null SharedTypelessObject.
  virtual bool AssignValue(const ISharedTypelessObject* other) = 0;

  /// Slot 7. The held unique object for reading and writing; null when empty. Not owned by the
  /// caller.
  virtual IUniqueTypelessObject* GetUnique() = 0;

  /// Slot 8. The held unique object, read-only; null when empty. Not owned by the caller.
  virtual const ITypelessObject* GetConstUnique() const = 0;

  /// Slot 9. Takes ownership of unique (may be null: the object becomes empty) and releases the
  /// previous reference. If memory runs out, unique is destroyed and the previous reference kept.
  virtual void Reset(IUniqueTypelessObject* unique) = 0;

  /// Slot 10. A new shared object that refers to the same unique object; the caller owns it.
  virtual ISharedTypelessObject* Share() const = 0;
};

}  // namespace kivo::containers

namespace kivo::utility {

/// The record name of IUniqueTypelessObject.
template <>
struct InterfaceName<containers::IUniqueTypelessObject> {
  /// The name.
  static constexpr const char* value = "kivo::containers::IUniqueTypelessObject";
};

/// The record name of ISharedTypelessObject.
template <>
struct InterfaceName<containers::ISharedTypelessObject> {
  /// The name.
  static constexpr const char* value = "kivo::containers::ISharedTypelessObject";
};

}  // namespace kivo::utility
