// VectorStorage: the element block of the vector classes, and the rule by which it grows.
// SPDX-License-Identifier: MIT
#pragma once

// The standard vector grows by doubling and reuses or reallocates on copy as it sees fit. The
// vector objects grow by half, never shrink, and release their old block before a copy takes a
// larger one, so they keep their three pointers here and drive the block by hand.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "internal/errors.h"
#include "internal/memory.h"

// Keeps a slow path out of its caller, so that the caller's fast path needs no stack frame.
#if defined(_MSC_VER) && !defined(__clang__)
#define KIVO_NOINLINE __declspec(noinline)
#else
#define KIVO_NOINLINE __attribute__((noinline))
#endif

namespace kivo::detail {

// The largest element count of a vector of T: the smaller of 2^63 - 1 and the largest count whose
// size in bytes is representable.
template <class T>
constexpr std::size_t MaxVectorCount() noexcept {
  constexpr std::size_t by_size = std::numeric_limits<std::size_t>::max() / sizeof(T);
  constexpr auto by_sign = static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max());
  return by_size < by_sign ? by_size : by_sign;
}

// The capacity to grow to from capacity when needed elements must fit: half as much again, at
// least needed, and max once half as much again would pass max. needed must not exceed max.
constexpr std::size_t GrownCapacity(std::size_t capacity, std::size_t needed,
                                    std::size_t max) noexcept {
  if (capacity > max - capacity / 2) return max;
  const std::size_t grown = capacity + capacity / 2;
  return grown < needed ? needed : grown;
}

// True when index addresses one of count elements: not negative and below the low 32 bits of
// count taken as a signed 32-bit number.
constexpr bool IsValidIndex(std::int32_t index, std::size_t count) noexcept {
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(count));
  return index >= 0 && index < low;
}

// Begin, end and end-of-capacity pointers over one block from Allocate; all null until the first
// block. kMax is the largest element count (a parameter so that tests can reach the limit).
template <class T, std::size_t kMax = MaxVectorCount<T>()>
class VectorStorage {
  static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

 public:
  VectorStorage() noexcept = default;
  ~VectorStorage() { Deallocate(begin_); }
  VectorStorage(const VectorStorage&) = delete;
  VectorStorage& operator=(const VectorStorage&) = delete;

  T* begin() noexcept { return begin_; }
  const T* begin() const noexcept { return begin_; }
  T* end() noexcept { return end_; }
  const T* end() const noexcept { return end_; }
  std::size_t size() const noexcept { return static_cast<std::size_t>(end_ - begin_); }
  std::size_t capacity() const noexcept { return static_cast<std::size_t>(capacity_end_ - begin_); }

  // Appends value, which may be an element of this storage. Throws std::length_error ("vector
  // too long") at kMax elements, or std::bad_alloc; the storage is then unchanged.
  void PushBack(const T& value) {
    if (end_ != capacity_end_) {
      *end_++ = value;
      return;
    }
    GrowAndPushBack(value);
  }

  // Removes the element at index (which must be below size()), moving later ones down.
  void RemoveAt(std::size_t index) noexcept {
    T* const position = begin_ + index;
    std::memmove(position, position + 1, static_cast<std::size_t>(end_ - position - 1) * sizeof(T));
    --end_;
  }

  void Clear() noexcept { end_ = begin_; }

  void swap(VectorStorage& other) noexcept {
    std::swap(begin_, other.begin_);
    std::swap(end_, other.end_);
    std::swap(capacity_end_, other.capacity_end_);
  }

  // Replaces the elements with count elements from source, which must not lie in this storage.
  // Reuses the block when they fit. Otherwise the old block goes first, and if the new one cannot
  // be had (std::bad_alloc) the storage is left empty without a block; std::length_error
  // ("vector too long") for a count above kMax changes nothing.
  void Assign(const T* source, std::size_t count) {
    if (count > capacity()) {
      if (count > kMax) ThrowLengthError(kVectorTooLong);
      const std::size_t capacity = GrownCapacity(this->capacity(), count, kMax);
      Deallocate(begin_);
      begin_ = end_ = capacity_end_ = nullptr;
      Adopt(static_cast<T*>(Allocate(capacity * sizeof(T))), 0, capacity);
    }
    if (count != 0) std::memcpy(begin_, source, count * sizeof(T));
    end_ = begin_ + count;
  }

 private:
  KIVO_NOINLINE void GrowAndPushBack(const T& value) {
    const std::size_t count = size();
    if (count == kMax) ThrowLengthError(kVectorTooLong);
    const std::size_t capacity = GrownCapacity(this->capacity(), count + 1, kMax);
    T* const block = static_cast<T*>(Allocate(capacity * sizeof(T)));
    // value may live in the old block: store it before that block goes.
    block[count] = value;
    if (count != 0) std::memcpy(block, begin_, count * sizeof(T));
    Deallocate(begin_);
    Adopt(block, count + 1, capacity);
  }

  void Adopt(T* block, std::size_t count, std::size_t capacity) noexcept {
    begin_ = block;
    end_ = block + count;
    capacity_end_ = block + capacity;
  }

  T* begin_ = nullptr;
  T* end_ = nullptr;
  T* capacity_end_ = nullptr;
};

}  // namespace kivo::detail

#undef KIVO_NOINLINE
