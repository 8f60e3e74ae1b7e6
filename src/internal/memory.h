// The memory routines behind every object and buffer of the library.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <limits>

#include "internal/errors.h"

namespace kivo::detail {

// The heap primitives under Allocate and Deallocate: malloc and free unless replaced. Tests that
// link the library's objects directly replace them to count or fail allocations.
struct HeapFunctions {
  void* (*acquire)(std::size_t size);
  void (*release)(void* block);
};

// Installs heap and returns the primitives it replaces. Call only while no object is in use.
HeapFunctions ReplaceHeapFunctions(HeapFunctions heap) noexcept;

// The primitives in use; every object's allocation reads them, so they are reached inline.
extern HeapFunctions currentHeap;

// The new-handler loop after the heap refused size bytes.
void* RetryAllocation(std::size_t size);
// Allocate for the sizes 0 and every bit set.
void* AllocateOddSize(std::size_t size);

// A block of size bytes from the module's heap; never null. When the heap is exhausted the
// process's new-handler runs and the request is retried for as long as a handler is installed.
// Throws BadAllocation ("bad allocation") when none is, and BadArrayNewLength for the size with
// every bit set.
inline void* Allocate(std::size_t size) {
  if (size - 1 >= std::numeric_limits<std::size_t>::max() - 1) return AllocateOddSize(size);
  if (void* block = currentHeap.acquire(size)) return block;
  return RetryAllocation(size);
}

// Returns a block from Allocate to the heap; null is ignored.
inline void Deallocate(void* block) noexcept { currentHeap.release(block); }

// A standard allocator over Allocate and Deallocate, for the standard containers the library uses.
template <class T>
class Allocator {
 public:
  using value_type = T;

  Allocator() noexcept = default;
  template <class U>
  Allocator(const Allocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) ThrowBadArrayNewLength();
    return static_cast<T*>(Allocate(count * sizeof(T)));
  }
  void deallocate(T* block, std::size_t) noexcept { Deallocate(block); }

  template <class U>
  bool operator==(const Allocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const Allocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace kivo::detail
