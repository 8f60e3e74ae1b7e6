// The root interfaces every library object implements, and the allocator function type.
// SPDX-License-Identifier: MIT
#pragma once

// A library object is used only through virtual operations called by slot position:
//   0 Destroy, 1 GetInterfaceId, 2 CopyFrom, 3 Equals, 4 NewInstance,
// then the operations of its container interface. No interface declares a destructor; the
// object's own virtual destructor comes after every operation.

#include <cstddef>

#include "kivo/utility/interface_id.h"

// KIVO_OVERLOADED_PAIR(first, second); declares two virtual operations of one name so that first
// takes the lower slot under either C++ ABI. The Itanium ABI (GCC, Clang, mingw-w64) gives slots
// in declaration order; the MSVC ABI (Visual C++, clang-cl) groups the overloads of one name at
// the first one's place, in reverse declaration order.
#if defined(_MSC_VER)
#define KIVO_OVERLOADED_PAIR(first, second) \
  second;                                   \
  first
#else
#define KIVO_OVERLOADED_PAIR(first, second) \
  first;                                    \
  second
#endif

namespace kivo::utility {

/// The base of everything the library hands out: ended with Destroy.
class ISharedInterface {
 public:
  /// Slot 0. Ends the object and returns its memory to the library's heap. The pointer dangles
  /// afterwards.
  virtual void Destroy() noexcept = 0;

  /// `delete` through any interface pointer ends the object with Destroy, so standard owners with
  /// their default deleters hold library objects correctly. Deleting null does nothing.
  /// NOTE: compilers warn about `delete` on a class without a virtual destructor; prefer Destroy
  /// or an owner that calls it.
  static void operator delete(void* object) noexcept {
    if (object != nullptr) static_cast<ISharedInterface*>(object)->Destroy();
  }
};

/// The base of every library object: its type record, copying, comparing and new instances.
class IObject : public ISharedInterface {
 public:
  /// Slot 1. The record of the interface this object's class implements; never null, the same
  /// pointer for every object of the class.
  virtual const InterfaceId* GetInterfaceId() const = 0;

  /// Slot 2. Makes this object's value a copy of other's. True when this object is other; false,
  /// with nothing changed, when other is null or of a class this one cannot copy from.
  virtual bool CopyFrom(const IObject* other) = 0;

  /// Slot 3. True when other is this object, or of this object's class with an equal value;
  /// false when other is null or of another class.
  virtual bool Equals(const IObject* other) const = 0;

  /// Slot 4. A new, empty object of this object's class; the caller owns it.
  virtual IObject* NewInstance() const = 0;
};

/// The type of every exported allocator: a new object in its initial state, owned by the caller.
/// Never null; throws std::bad_alloc when memory is exhausted.
using ObjectAllocator = ISharedInterface* (*)();

}  // namespace kivo::utility
