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

#include "internal/memory.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "KeyLess reads keys as little-endian words"
#endif

namespace kivo::detail {

// Eight bytes read so that words order as their bytes do, unsigned.
inline std::uint64_t BigEndianWord(const char* bytes) noexcept {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap64(word);
}

inline std::uint32_t BigEndianHalf(const char* bytes) noexcept {
  std::uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap32(word);
}

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

  // The bytes of an inline key as two big-endian words, zero-padded; false for a longer key.
  bool Words(std::uint64_t* high, std::uint64_t* low) const noexcept {
    if (!IsInline()) return false;
    *high = BigEndianWord(bytes_);
    *low = BigEndianWord(bytes_ + 8) & ~std::uint64_t{0xFF};  // without the length marker
    return true;
  }

 private:
  static constexpr std::size_t kInlineCapacity = 15;
  static constexpr std::size_t kMarker = 15;  // 15 - length inline (the terminator at 15 bytes)
  static constexpr char kOnHeap = static_cast<char>(0x80);

  void Fill(const char* text, std::size_t length) {
    if (length <= kInlineCapacity) {
      std::memset(bytes_, 0, sizeof bytes_);
      std::memcpy(bytes_, text, length);
      bytes_[kMarker] = static_cast<char>(kInlineCapacity - length);
      return;
    }
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

// A path segment looked up in a map of keys: a text of up to 15 bytes is read once into the
// words that an inline key gives, so that each comparison on the way down is two of them.
class KeyProbe {
 public:
  explicit KeyProbe(std::string_view text) noexcept : text_(text) {
    const char* const bytes = text.data();
    const std::size_t size = text.size();
    if (size >= 8) {
      if (size > 15) return;
      // The last eight bytes, moved up so that those after the first eight lead.
      high_ = BigEndianWord(bytes);
      if (size > 8) low_ = BigEndianWord(bytes + size - 8) << (8 * (16 - size));
    } else if (size >= 4) {
      const std::uint64_t head = BigEndianHalf(bytes), tail = BigEndianHalf(bytes + size - 4);
      high_ = head << 32 | ((tail << (8 * (8 - size))) & 0xFFFFFFFF);
    } else {
      for (std::size_t i = 0; i < size; ++i) {
        high_ |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (56 - 8 * i);
      }
    }
  }
  operator std::string_view() const noexcept { return text_; }  // NOLINT

  // Compares key with this text as KeyLess orders them: negative, zero or positive.
  int Order(const Key& key) const noexcept {
    std::uint64_t high, low;
    if (text_.size() > 15 || !key.Words(&high, &low)) return Compare(key, text_);
    if (high != high_) return high < high_ ? -1 : 1;
    if (low != low_) return low < low_ ? -1 : 1;
    // Equal padded words: the shorter text is a prefix of the other followed by NUL bytes.
    const std::size_t size = key.size();
    return size == text_.size() ? 0 : size < text_.size() ? -1 : 1;
  }

 private:
  static int Compare(std::string_view a, std::string_view b) noexcept;

  std::string_view text_;
  std::uint64_t high_ = 0, low_ = 0;
};

// Orders keys bytewise as unsigned bytes, the shorter first on equal prefixes. Transparent, so a
// path segment is looked up as a view into the path instead of a temporary key.
struct KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return Order(a, b) < 0; }
  bool operator()(const Key& a, const KeyProbe& b) const noexcept { return b.Order(a) < 0; }
  bool operator()(const KeyProbe& a, const Key& b) const noexcept { return a.Order(b) > 0; }

  // Negative, zero or positive as a orders before, with or after b.
  static int Order(std::string_view a, std::string_view b) noexcept {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    const int order = Compare(a.data(), b.data(), common);
    if (order != 0) return order;
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
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

inline int KeyProbe::Compare(std::string_view a, std::string_view b) noexcept {
  return KeyLess::Order(a, b);
}

}  // namespace kivo::detail
