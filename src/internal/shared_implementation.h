// SharedImplementation<I>: the base of every concrete class of the library.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>

#include "internal/memory.h"
#include "kivo/utility/object.h"

namespace kivo::utility {

// Supplies Destroy, GetInterfaceId and the virtual destructor, which therefore takes the slots
// after every operation of I. Objects live on the module's heap through the class-level
// allocation functions.
template <class I>
class SharedImplementation : public I {
 public:
  // A class whose objects may own a chain of its own kind (the record) overrides Destroy to end
  // such chains without recursion, and calls this one for each object.
  void Destroy() noexcept override {
    // The interface's class-level delete calls Destroy, so end the object by hand instead.
    this->~SharedImplementation();
    detail::Deallocate(this);
  }

  const InterfaceId* GetInterfaceId() const final { return InterfaceIdOf<I>(); }

  virtual ~SharedImplementation() = default;

  static void* operator new(std::size_t size) { return detail::Allocate(size); }
  static void operator delete(void* block) noexcept { detail::Deallocate(block); }
};

}  // namespace kivo::utility

namespace kivo::detail {

// Ends a library object through Destroy.
struct Destroyer {
  void operator()(utility::ISharedInterface* object) const noexcept {
    if (object != nullptr) object->Destroy();
  }
};

// An owning pointer that ends its object with Destroy.
template <class I>
using Owned = std::unique_ptr<I, Destroyer>;

}  // namespace kivo::detail
