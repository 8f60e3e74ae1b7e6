// CountingHeap: counts and fails the library's heap requests.
// SPDX-License-Identifier: MIT
#include "support/counting_heap.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "internal/memory.h"

namespace kivo::testing {
namespace {

constexpr std::size_t kNever = static_cast<std::size_t>(-1);

std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> releases{0};
std::atomic<std::size_t> failures{0};
std::atomic<std::size_t> successes_left{kNever};
std::mutex sizes_mutex;
std::vector<std::size_t> sizes;
detail::HeapFunctions previous{};

void* Acquire(std::size_t size) {
  std::size_t left = successes_left.load();
  while (left != kNever) {
    if (left == 0) {
      ++failures;
      return nullptr;
    }
    if (successes_left.compare_exchange_weak(left, left - 1)) break;
  }
  void* block = std::malloc(size);
  if (block != nullptr) {
    ++allocations;
    std::lock_guard<std::mutex> lock(sizes_mutex);
    sizes.push_back(size);
  }
  return block;
}

void Release(void* block) {
  if (block != nullptr) ++releases;
  std::free(block);
}

}  // namespace

CountingHeap::CountingHeap() {
  allocations = 0;
  releases = 0;
  failures = 0;
  successes_left = kNever;
  ResetSizes();
  previous = detail::ReplaceHeapFunctions({&Acquire, &Release});
}

CountingHeap::~CountingHeap() { detail::ReplaceHeapFunctions(previous); }

void CountingHeap::FailAfter(std::size_t successes) { successes_left = successes; }
void CountingHeap::FailNone() { successes_left = kNever; }
std::size_t CountingHeap::Allocations() const { return allocations; }
std::size_t CountingHeap::Releases() const { return releases; }
std::ptrdiff_t CountingHeap::Live() const {
  return static_cast<std::ptrdiff_t>(allocations.load()) -
         static_cast<std::ptrdiff_t>(releases.load());
}
std::size_t CountingHeap::Failures() const { return failures; }

std::vector<std::size_t> CountingHeap::Sizes() const {
  std::lock_guard<std::mutex> lock(sizes_mutex);
  return sizes;
}

void CountingHeap::ResetSizes() {
  std::lock_guard<std::mutex> lock(sizes_mutex);
  sizes.clear();
}

}  // namespace kivo::testing
