// The allocation-failure sweep of CountingHeap.
// SPDX-License-Identifier: MIT
#pragma once

#include <new>
#include <string>

namespace kivo::testing {

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
