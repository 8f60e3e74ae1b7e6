// CountingHeap: the one heap seam of the tests and fuzzers. While a CountingHeap is alive, every
// block the library takes or returns passes through it: it counts requests and releases, keeps
// their sizes, refuses requests on demand, overwrites released blocks (so that a read from one
// shows) and, when the scope ends, reports blocks left behind and ends the process.
// SPDX-License-Identifier: MIT
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "internal/memory.h"

namespace kivo::testing {

// Only one may exist at a time; create it before the objects under test and end them first.
// Counters are atomic, so objects may be used from several threads.
class CountingHeap {
 public:
  CountingHeap() {
    current_ = this;
    previous_ = detail::ReplaceHeapFunctions({&Acquire, &Release});
  }
  ~CountingHeap() {
    detail::ReplaceHeapFunctions(previous_);
    current_ = nullptr;
    if (Live() != 0) {
      std::fprintf(stderr, "CountingHeap: %lld blocks left behind\n",
                   static_cast<long long>(Live()));
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
  // The sizes of the successful requests, in order, since construction or the last ResetSizes.
  std::vector<std::size_t> Sizes() const {
    std::lock_guard<std::mutex> lock(sizes_mutex_);
    return sizes_;
  }
  void ResetSizes() {
    std::lock_guard<std::mutex> lock(sizes_mutex_);
    sizes_.clear();
  }
  // The size of the last successful request.
  std::size_t LastRequest() const { return last_request_; }

 private:
  static constexpr std::size_t kNever = ~std::size_t{0};
  static inline CountingHeap* current_ = nullptr;

  static void* Acquire(std::size_t size) {
    CountingHeap& heap = *current_;
    std::size_t left = heap.successes_left_.load();
    while (left != kNever) {
      if (left == 0) {
        ++heap.failures_;
        return nullptr;
      }
      if (heap.successes_left_.compare_exchange_weak(left, left - 1)) break;
    }
    void* block = std::malloc(size);
    if (block != nullptr) {
      ++heap.live_;
      heap.last_request_ = size;
      std::lock_guard<std::mutex> lock(heap.sizes_mutex_);
      heap.sizes_.push_back(size);
    }
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

  std::atomic<std::ptrdiff_t> live_{0};
  std::atomic<std::size_t> failures_{0};
  std::atomic<std::size_t> successes_left_{kNever}, last_request_{0};
  mutable std::mutex sizes_mutex_;
  std::vector<std::size_t> sizes_;
  detail::HeapFunctions previous_{};
};

// Runs operation with the 1st, 2nd, 3rd, ... heap request failing until it runs without a
// failure. Before each try `prepare()` builds the state under test; `operation(state)` must let a
// std::bad_alloc out. Then `check(state, what)` runs with the exception's what() text after a
// failed try and with nullptr after the successful one. Returns the number of failed tries.
template <class Prepare, class Operation, class Check>
std::size_t SweepAllocationFailures(CountingHeap& heap, Prepare prepare, Operation operation,
                                    Check check) {
  for (std::size_t fail_at = 0;; ++fail_at) {
    auto state = prepare();
    heap.FailAfter(fail_at);
    const std::size_t failures_before = heap.Failures();
    std::string what;
    try {
      operation(state);
    } catch (const std::bad_alloc& error) {
      what = error.what();
    }
    heap.FailNone();
    const bool failed = heap.Failures() != failures_before;
    check(state, failed ? what.c_str() : nullptr);
    if (!failed) return fail_at;
  }
}

}  // namespace kivo::testing
