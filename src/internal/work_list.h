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
// one (a cycle). Each entry carries the frame the walk keeps for it. A value held once, by the
// member the walk came in through, comes round again only after a value further out does (one
// held twice, or the one the walk started from), so the walk enters it as unreachable: it is not
// indexed, and asking for it compares it with the first entry only. Reachable entries are
// indexed by a hash map once the path is longer than a scan is cheap.
template <class Key, class Frame, class Hash = std::hash<Key>>
class ActivePath {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  Frame& top() noexcept { return entries_.top().frame; }
  Frame& operator[](std::size_t i) noexcept { return entries_[i].frame; }

  // The position of key on the path (which must not be empty), or npos.
  std::size_t Find(const Key& key, bool reachable = true) {
    if (!reachable) return entries_[0].key == key ? 0 : npos;
    if (entries_.size() > kScanned) {
      const auto it = index_.find(key);
      return it != index_.end() ? it->second : npos;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].key == key) return i;
    }
    return npos;
  }

  // Enters key, which must not be on the path yet.
  void Enter(const Key& key, const Frame& frame, bool reachable = true) {
    entries_.push({key, frame, reachable});
    const std::size_t size = entries_.size();
    if (size <= kScanned) return;
    try {
      if (size == kScanned + 1) {
        for (std::size_t i = 0; i < size; ++i) {
          if (entries_[i].reachable) index_.emplace(entries_[i].key, i);
        }
      } else if (reachable) {
        index_.emplace(key, size - 1);
      }
    } catch (...) {
      index_.clear();
      entries_.pop();
      throw;
    }
  }

  // Takes every entry as reachable from now on: for a walk that meets a way in that it cannot
  // judge.
  void MarkAllReachable() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].reachable) continue;
      entries_[i].reachable = true;
      if (entries_.size() > kScanned) index_.emplace(entries_[i].key, i);
    }
  }

  void Leave() noexcept {
    const std::size_t size = entries_.size();
    if (size == kScanned + 1) {
      index_.clear();
    } else if (size > kScanned && entries_.top().reachable) {
      index_.erase(entries_.top().key);
    }
    entries_.pop();
  }

 private:
  static constexpr std::size_t kScanned = 16;
  struct Entry {
    Key key;
    Frame frame;
    bool reachable;
  };

  WorkStack<Entry> entries_;
  std::unordered_map<Key, std::size_t, Hash, std::equal_to<Key>,
                     Allocator<std::pair<const Key, std::size_t>>>
      index_;
};

}  // namespace kivo::detail
