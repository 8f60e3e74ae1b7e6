// TextStorage: the bytes of a string object, inline up to 15 bytes, else in one heap block.
// SPDX-License-Identifier: MIT
#pragma once

// The standard string grows by doubling; the string object's storage follows rules of its own
// (a fresh block of length | 15 on assignment, growth by half on copy), so it keeps its bytes
// here.

#include <cstddef>
#include <cstdint>

namespace kivo::detail {

class TextStorage {
 public:
  static constexpr std::size_t kInlineCapacity = 15;
  static constexpr std::size_t kMaxLength = 0x7FFFFFFFFFFFFFFF;

  TextStorage() noexcept { local_[0] = '\0'; }
  ~TextStorage();
  TextStorage(const TextStorage&) = delete;
  TextStorage& operator=(const TextStorage&) = delete;

  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return length_; }
  std::size_t capacity() const noexcept { return IsInline() ? kInlineCapacity : capacity_; }
  bool IsInline() const noexcept { return data_ == local_; }

  // Replaces the text with length bytes from text, in fresh storage of capacity length | 15 (or
  // inline) built before the old block is released, so text may point into this storage.
  void Assign(const char* text, std::size_t length);

  // Replaces the text with length bytes from text, which must not overlap this storage. Reuses
  // the storage when the text fits; otherwise grows to at least half as much again.
  void CopyAssign(const char* text, std::size_t length);

 private:
  void Adopt(char* block, std::size_t capacity, std::size_t length) noexcept;

  char* data_ = local_;
  std::size_t length_ = 0;
  union {
    char local_[kInlineCapacity + 1];
    std::size_t capacity_;
  };
};

}  // namespace kivo::detail
