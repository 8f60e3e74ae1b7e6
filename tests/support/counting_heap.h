// CountingHeap: a test seam under the library's memory routines that counts and fails requests.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <vector>

namespace kivo::testing {

// While alive, every block the library's objects take or return passes through this heap. Only
// one may exist at a time; create it before the objects under test. Counters are atomic, so
// objects may be used from several threads.
class CountingHeap {
 public:
  CountingHeap();
  ~CountingHeap();
  CountingHeap(const CountingHeap&) = delete;
  CountingHeap& operator=(const CountingHeap&) = delete;

  // Lets `successes` more requests succeed and fails every request after them.
  void FailAfter(std::size_t successes);
  // Lets every request succeed again.
  void FailNone();

  // Successful requests, releases of non-null blocks, and the difference between the two.
  std::size_t Allocations() const;
  std::size_t Releases() const;
  std::ptrdiff_t Live() const;
  // Requests that were refused.
  std::size_t Failures() const;
  // The sizes of the successful requests, in order, since construction or the last ResetSizes.
  std::vector<std::size_t> Sizes() const;
  void ResetSizes();
};

// Runs operation with the 1st, 2nd, 3rd, ... heap request failing until it runs without a
// failure. Before each try `prepare()` builds the state under test; `operation(state)` must let a
// std::bad_alloc out. Then `check(state, what)` runs with the exception's what() text after a
// failed try and with nullptr after the successful one. Returns the number of failed tries.
template <class Prepare, class Operation, class Check>
std::size_t SweepAllocationFailures(CountingHeap& heap, Prepare prepare, Operation operation,
                                    Check check);

}  // namespace kivo::testing

#include "support/counting_heap_sweep.h"
