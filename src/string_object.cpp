// StringObject and the text storage behind it.
// SPDX-License-Identifier: MIT
#include "string_object.h"

#include <algorithm>
#include <cstring>

#include "internal/errors.h"
#include "internal/exact_cast.h"
#include "internal/factories.h"
#include "internal/memory.h"

namespace kivo::detail {

TextStorage::~TextStorage() {
  if (!IsInline()) Deallocate(data_);
}

void TextStorage::Adopt(char* block, std::size_t capacity, std::size_t length) noexcept {
  char* const old = IsInline() ? nullptr : data_;
  data_ = block;
  length_ = length;
  if (block != local_) capacity_ = capacity;
  if (old != nullptr) Deallocate(old);
}

void TextStorage::Assign(const char* text, std::size_t length) {
  if (length > kMaxLength) ThrowLengthError(kStringTooLong);
  if (length <= kInlineCapacity) {
    // Reading text before the heap block goes keeps a self-assignment intact. local_ shares its
    // bytes with capacity_, which only a heap block needs and which Adopt no longer reads.
    std::memmove(local_, text, length);
    local_[length] = '\0';
    Adopt(local_, kInlineCapacity, length);
    return;
  }
  const std::size_t capacity = length | kInlineCapacity;
  char* block = static_cast<char*>(Allocate(capacity + 1));
  std::memcpy(block, text, length);
  block[length] = '\0';
  Adopt(block, capacity, length);
}

void TextStorage::CopyAssign(const char* text, std::size_t length) {
  const std::size_t old_capacity = capacity();
  if (length <= old_capacity) {
    std::memmove(data_, text, length);
    data_[length] = '\0';
    length_ = length;
    return;
  }
  if (length > kMaxLength) ThrowLengthError(kStringTooLong);
  std::size_t capacity = kMaxLength;
  if ((length | kInlineCapacity) <= kMaxLength && old_capacity <= kMaxLength - old_capacity / 2) {
    capacity = std::max(length | kInlineCapacity, old_capacity + old_capacity / 2);
  }
  char* block = static_cast<char*>(Allocate(capacity + 1));
  std::memcpy(block, text, length);
  block[length] = '\0';
  Adopt(block, capacity, length);
}

utility::ISharedInterface* NewStringObject() { return new containers::StringObject(); }

}  // namespace kivo::detail

namespace kivo::containers {

bool StringObject::CopyFrom(const utility::IObject* other) {
  if (other == this) return true;
  const auto* source = detail::ExactCast<const StringObject>(other);
  if (source == nullptr) return false;
  text.CopyAssign(source->text.data(), source->text.size());
  return true;
}

bool StringObject::Equals(const utility::IObject* other) const {
  if (other == this) return true;
  const auto* that = detail::ExactCast<const StringObject>(other);
  if (that == nullptr || that->text.size() != text.size()) return false;
  return std::memcmp(text.data(), that->text.data(), text.size()) == 0;
}

utility::IObject* StringObject::NewInstance() const { return new StringObject(); }

std::uint64_t StringObject::GetLength() const { return text.size(); }

void StringObject::SetString(const char* value) {
  if (value == nullptr) value = "";
  text.Assign(value, std::strlen(value));
}

const char* StringObject::GetString() const { return text.data(); }

}  // namespace kivo::containers
