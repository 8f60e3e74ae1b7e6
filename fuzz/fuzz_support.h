// What the fuzzers share: an input decoder, checks, type records and the heap seam.
// SPDX-License-Identifier: MIT
#pragma once

// The standard headers every fuzzer uses, in one place.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "kivo/containers/exports.h"
#include "support/counting_heap.h"
#include "support/objects.h"

namespace kivo::fuzz {

using testing::Handle;

// Reads an input as a stream of choices; past its end every read yields zero.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return offset_ >= size_; }
  std::uint8_t Byte() { return Empty() ? 0 : data_[offset_++]; }
  bool Bool() { return (Byte() & 1) != 0; }
  std::size_t Below(std::size_t count) { return Byte() % count; }
  void Fill(void* out, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) static_cast<std::uint8_t*>(out)[i] = Byte();
  }
  template <class T>
  T Raw() {  // raw bits: floating point gets NaNs, infinities, -0
    T value{};
    Fill(&value, sizeof value);
    return value;
  }
  // Up to max_length bytes, cut at the first NUL as a C string reads them.
  std::string Text(std::size_t max_length) {
    std::string bytes;
    for (std::size_t n = Below(max_length + 1); n > 0 && !Empty(); --n) bytes += char(Byte());
    return bytes.c_str();
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

#define KIVO_FUZZ_CHECK(condition)                                                           \
  ((condition)                                                                               \
       ? static_cast<void>(0)                                                                \
       : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), \
          std::abort()))

inline constexpr char kCannotCopy[] =
    "Can not copy from an object that doesn't derive from utility::IObject";
inline constexpr char kCannotCompare[] =
    "Can not test equality of objects that don't derive from utility::IObject";

// Runs call, which must throw the runtime_error with text `thrown` exactly when that is not null.
template <class Call>
void ExpectThrow(const char* thrown, Call call) {
  try {
    call();
    KIVO_FUZZ_CHECK(thrown == nullptr);
  } catch (const std::runtime_error& error) {
    KIVO_FUZZ_CHECK(thrown != nullptr && std::strcmp(error.what(), thrown) == 0);
  }
}

// Payload type records: two distinct records with one code, another code, void, and two of the
// library's.
inline const utility::InterfaceId* TypeRecord(std::size_t choice) {
  static const utility::InterfaceId a{"fuzz::A", utility::NameCode("fuzz::A")};
  static const utility::InterfaceId alias{"fuzz::A", utility::NameCode("fuzz::A")};
  static const utility::InterfaceId b{"fuzz::B", utility::NameCode("fuzz::B")};
  const utility::InterfaceId* const records[] = {
      &a,
      &alias,
      &b,
      utility::VoidInterfaceId(),
      utility::InterfaceIdOf<containers::IStringObject>(),
      utility::InterfaceIdOf<containers::ICompoundObject>()};
  return records[std::min<std::size_t>(choice, 5)];
}

inline testing::CountingHeap& Heap() { return *testing::CountingHeap::Current(); }

inline containers::IStringObject* NewString(const std::string& text) {
  auto object = testing::Make<containers::IStringObject>(&KivoStringObjectAllocator);
  object->SetString(text.c_str());
  return object.release();
}

}  // namespace kivo::fuzz
