// What the fuzzers share: an input decoder, a failing check and a counting heap under the library.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "internal/memory.h"

namespace kivo::fuzz {

// Reads an input as a stream of choices. Past the end every read yields zero, so every input
// decodes to some finite sequence of operations.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return offset_ >= size_; }

  std::uint8_t Byte() { return Empty() ? 0 : data_[offset_++]; }
  bool Bool() { return (Byte() & 1) != 0; }
  // A value in [0, count); count must be positive.
  std::size_t Below(std::size_t count) { return Byte() % count; }

  std::int32_t Int32() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return static_cast<std::int32_t>(value);
  }

  // Up to max_length bytes, the length taken from the input.
  std::string Bytes(std::size_t max_length) {
    std::size_t length = Below(max_length + 1);
    std::string bytes;
    while (length-- > 0 && !Empty()) bytes.push_back(static_cast<char>(Byte()));
    return bytes;
  }

  // size bytes into out, zeros past the end of the input.
  void Fill(void* out, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = Byte();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

// Ends the process with a message when a model and the library disagree; libFuzzer then keeps
// the input as a crash.
[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

#define KIVO_FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::kivo::fuzz::Fail(__FILE__, __LINE__, #condition))

// Counts the library's live heap blocks, remembers the size of the last request and can refuse
// requests, so the fuzzers check capacities, failure paths and leaks exactly.
class FuzzHeap {
 public:
  // Installs the counting heap once, before the first object exists.
  static FuzzHeap& Get() {
    static FuzzHeap& heap = Install();
    return heap;
  }

  std::ptrdiff_t Live() const { return live_; }
  std::size_t LastRequest() const { return last_request_; }
  std::size_t Requests() const { return requests_; }
  // Refuses the request after `successes` more successful ones, once.
  void FailAfter(std::size_t successes) { fail_in_ = successes + 1; }
  void FailNone() { fail_in_ = 0; }
  bool Failed() const { return failed_; }
  void ClearFailed() { failed_ = false; }

 private:
  static FuzzHeap& Install() {
    static FuzzHeap heap;
    detail::ReplaceHeapFunctions({&Acquire, &Release});
    return heap;
  }

  static void* Acquire(std::size_t size) {
    FuzzHeap& heap = Get();
    if (heap.fail_in_ != 0 && --heap.fail_in_ == 0) {
      heap.failed_ = true;
      return nullptr;
    }
    void* block = std::malloc(size);
    if (block != nullptr) {
      ++heap.live_;
      ++heap.requests_;
      heap.last_request_ = size;
    }
    return block;
  }

  static void Release(void* block) {
    if (block == nullptr) return;
    --Get().live_;
    std::free(block);
  }

  std::ptrdiff_t live_ = 0;
  std::size_t last_request_ = 0;
  std::size_t requests_ = 0;
  std::size_t fail_in_ = 0;
  bool failed_ = false;
};

}  // namespace kivo::fuzz
