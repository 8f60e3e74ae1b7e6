// WorkStack and ActivePath: the explicit stacks behind the walks through nested values.
// SPDX-License-Identifier: MIT
#pragma once

// A record may nest as deep as its longest path, and a plugin chooses that. The walks keep their
// progress here rather than on the machine stack, whose size the host chose, so the depth a walk
// can reach is bounded by the heap alone. Shallow walks stay within the inline frames and do not
// allocate.

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "internal/memory.h"

namespace kivo::detail {

// A stack of frames; the first kInline live inside the object.
template <class Frame, std::size_t kInline = 8>
class WorkStack {
 public:
  bool empty() const noexcept { return size_ == 0; }
  std::size_t size() const noexcept { return size_; }
  Frame& operator[](std::size_t i) noexcept {
    return i < kInline ? inline_[i] : spill_[i - kInline];
  }
  // The reference stays valid until the next push.
  Frame& top() noexcept { return (*this)[size_ - 1]; }

  void push(const Frame& frame) {
    if (size_ < kInline) {
      inline_[size_] = frame;
    } else {
      spill_.push_back(frame);
    }
    ++size_;
  }
  void pop() noexcept {
    --size_;
    if (size_ >= kInline) spill_.pop_back();
  }

 private:
  Frame inline_[kInline] = {};
  std::vector<Frame, Allocator<Frame>> spill_;
  std::size_t size_ = 0;
};

struct PairHash {
  template <class A, class B>
  std::size_t operator()(const std::pair<A, B>& pair) const noexcept {
    return std::hash<A>()(pair.first) * 31 + std::hash<B>()(pair.second);
  }
};

// The values a walk is inside of, outermost first, so that it can tell when it comes back to
// one (a cycle). Each entry carries the frame the walk keeps for it. A short path is scanned;
// from kScanned entries on it is also indexed by a hash map.
template <class Key, class Frame, class Hash = std::hash<Key>>
class ActivePath {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  Frame& top() noexcept { return entries_.top().second; }
  Frame& operator[](std::size_t i) noexcept { return entries_[i].second; }

  // The position of key on the path, or npos.
  std::size_t Find(const Key& key) {
    if (entries_.size() > kScanned) {
      const auto it = index_.find(key);
      return it != index_.end() ? it->second : npos;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].first == key) return i;
    }
    return npos;
  }

  // Enters key, which must not be on the path yet.
  void Enter(const Key& key, const Frame& frame) {
    entries_.push({key, frame});
    const std::size_t size = entries_.size();
    if (size <= kScanned) return;
    try {
      if (size == kScanned + 1) {
        for (std::size_t i = 0; i < size; ++i) index_.emplace(entries_[i].first, i);
      } else {
        index_.emplace(key, size - 1);
      }
    } catch (...) {
      index_.clear();
      entries_.pop();
      throw;
    }
  }

  void Leave() noexcept {
    const std::size_t size = entries_.size();
    if (size == kScanned + 1) {
      index_.clear();
    } else if (size > kScanned) {
      index_.erase(entries_.top().first);
    }
    entries_.pop();
  }

 private:
  static constexpr std::size_t kScanned = 16;

  WorkStack<std::pair<Key, Frame>> entries_;
  std::unordered_map<Key, std::size_t, Hash, std::equal_to<Key>,
                     Allocator<std::pair<const Key, std::size_t>>>
      index_;
};

}  // namespace kivo::detail
