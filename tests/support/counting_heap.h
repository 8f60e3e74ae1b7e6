// CountingHeap: the one heap seam of the tests and fuzzers. While a CountingHeap is alive, every
// block the library takes or returns passes through it: it counts requests and releases, keeps
// their sizes, refuses requests on demand, overwrites released blocks (so that a read from one
// shows) and, when the scope ends, reports blocks left behind and ends the process.
// SPDX-License-Identifier: MIT
#pragma once

#include <malloc.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "internal/memory.h"

namespace kivo::testing {

// Only one may exist at a time; create it before the objects under test and end them first. The
// library may use it from one thread at a time (a thread that is joined before the next use).
class CountingHeap {
 public:
  CountingHeap() : previous_(detail::ReplaceHeapFunctions({&Acquire, &Release})) {
    current_ = this;
  }
  ~CountingHeap() {
    detail::ReplaceHeapFunctions(previous_);
    current_ = nullptr;
    if (live_ != 0) {
      std::fprintf(stderr, "CountingHeap: %lld blocks left behind\n",
                   static_cast<long long>(live_));
      std::abort();
    }
  }
  CountingHeap(const CountingHeap&) = delete;
  CountingHeap& operator=(const CountingHeap&) = delete;

  // The heap of the current scope; null outside one.
  static CountingHeap* Current() { return current_; }

  // Lets `successes` more requests succeed and refuses every request after them.
  void FailAfter(std::size_t successes) { successes_left_ = successes; }
  // Lets every request succeed again.
  void FailNone() { successes_left_ = kNever; }

  // Runs call with every request refused when `refuse`; answers whether it let the library's
  // bad_alloc out, which must carry the text "bad allocation".
  template <class Call>
  bool Refusing(bool refuse, Call call) {
    if (refuse) FailAfter(0);
    bool threw = false;
    try {
      call();
    } catch (const std::bad_alloc& error) {
      threw = std::strcmp(error.what(), "bad allocation") == 0;
      if (!threw) std::abort();
    }
    FailNone();
    return threw;
  }

  // Blocks taken and not yet returned.
  std::ptrdiff_t Live() const { return live_; }
  // Requests that were refused.
  std::size_t Failures() const { return failures_; }
  // The size of the last successful request.
  std::size_t LastRequest() const { return sizes.empty() ? 0 : sizes.back(); }

  // The sizes of the successful requests, in order; a test clears it to watch one operation.
  std::vector<std::size_t> sizes;

 private:
  static constexpr std::size_t kNever = ~std::size_t{0};
  static inline CountingHeap* current_ = nullptr;

  static void* Acquire(std::size_t size) {
    CountingHeap& heap = *current_;
    if (heap.successes_left_ == 0) return ++heap.failures_, nullptr;
    if (heap.successes_left_ != kNever) --heap.successes_left_;
    void* block = std::malloc(size);
    if (block != nullptr) ++heap.live_, heap.sizes.push_back(size);
    return block;
  }

  static void Release(void* block) {
    if (block == nullptr) return;
    --current_->live_;
#ifdef _WIN32
    std::memset(block, 0xA5, _msize(block));
#else
    std::memset(block, 0xA5, malloc_usable_size(block));
#endif
    std::free(block);
  }

  detail::HeapFunctions previous_;
  std::ptrdiff_t live_ = 0;
  std::size_t failures_ = 0, successes_left_ = kNever;
};

}  // namespace kivo::testing
