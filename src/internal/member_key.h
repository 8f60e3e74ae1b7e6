// Key and KeyLess: the record's member keys and their bytewise order.
// SPDX-License-Identifier: MIT
#pragma once

// A key takes 16 bytes, so that a map node with its key and member pointer fits the heap's
// 64-byte class: texts of up to 15 bytes live inside the key, longer ones in one heap block that
// also holds their length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "internal/errors.h"
#include "internal/memory.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "KeyLess reads keys as little-endian words"
#endif

namespace kivo::detail {

class Key {
 public:
  // A copy of length bytes from text, NUL-terminated.
  Key(const char* text, std::size_t length) { Fill(text, length); }
  Key(const Key& other) {
    if (other.IsInline()) {
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    } else {
      Fill(other.data(), other.size());
    }
  }
  Key(Key&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.bytes_[0] = '\0';
    other.bytes_[kMarker] = static_cast<char>(kInlineCapacity);
  }
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (!IsInline()) Deallocate(Block());
  }

  const char* data() const noexcept { return IsInline() ? bytes_ : Block() + sizeof(std::size_t); }
  const char* c_str() const noexcept { return data(); }
  std::size_t size() const noexcept {
    if (IsInline()) return kInlineCapacity - static_cast<unsigned char>(bytes_[kMarker]);
    std::size_t length;
    std::memcpy(&length, Block(), sizeof length);
    return length;
  }
  operator std::string_view() const noexcept {  // NOLINT(google-explicit-constructor)
    return {data(), size()};
  }

 private:
  static constexpr std::size_t kInlineCapacity = 15;
  static constexpr std::size_t kMarker = 15;  // 15 - length inline (the terminator at 15 bytes)
  static constexpr char kOnHeap = static_cast<char>(0x80);
  static constexpr std::size_t kMaxLength = 0x7FFFFFFFFFFFFFFF - 2 * sizeof(std::size_t);

  void Fill(const char* text, std::size_t length) {
    if (length <= kInlineCapacity) {
      std::memset(bytes_, 0, sizeof bytes_);
      std::memcpy(bytes_, text, length);
      bytes_[kMarker] = static_cast<char>(kInlineCapacity - length);
      return;
    }
    if (length > kMaxLength) ThrowLengthError(kStringTooLong);
    char* const block = static_cast<char*>(Allocate(sizeof(std::size_t) + length + 1));
    std::memcpy(block, &length, sizeof length);
    std::memcpy(block + sizeof length, text, length);
    block[sizeof length + length] = '\0';
    std::memcpy(bytes_, &block, sizeof block);
    bytes_[kMarker] = kOnHeap;
  }
  bool IsInline() const noexcept { return bytes_[kMarker] != kOnHeap; }
  char* Block() const noexcept {
    char* block;
    std::memcpy(&block, bytes_, sizeof block);
    return block;
  }

  char bytes_[16];
};

// Orders keys bytewise as unsigned bytes, the shorter first on equal prefixes. Transparent, so a
// path segment is looked up as a view into the path instead of a temporary key.
struct KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    const int order = Compare(a.data(), b.data(), common);
    return order != 0 ? order < 0 : a.size() < b.size();
  }

 private:
  // Keys are short: two overlapping big-endian words compare up to 16 bytes in the order of
  // their bytes, without a call.
  template <class Word>
  static Word Load(const char* bytes) noexcept {
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (sizeof(Word) == 8) return __builtin_bswap64(word);
    if constexpr (sizeof(Word) == 4) return __builtin_bswap32(word);
  }
  template <class Word>
  static int CompareWindows(const char* a, const char* b, std::size_t count) noexcept {
    Word x = Load<Word>(a), y = Load<Word>(b);
    if (x == y) {
      x = Load<Word>(a + count - sizeof(Word));
      y = Load<Word>(b + count - sizeof(Word));
    }
    return x == y ? 0 : x < y ? -1 : 1;
  }
  static int Compare(const char* a, const char* b, std::size_t count) noexcept {
    if (count >= 8) {
      if (count <= 16) return CompareWindows<std::uint64_t>(a, b, count);
      return std::memcmp(a, b, count);
    }
    if (count >= 4) return CompareWindows<std::uint32_t>(a, b, count);
    for (std::size_t i = 0; i < count; ++i) {
      const auto x = static_cast<unsigned char>(a[i]);
      const auto y = static_cast<unsigned char>(b[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }
};

}  // namespace kivo::detail
