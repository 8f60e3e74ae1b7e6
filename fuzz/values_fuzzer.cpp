// Fuzzes the vectors and typeless values: numeric vectors of every element type against a
// std::vector model, and unique, shared and vector-held typeless values against a model of
// shared ownership, allocation failures included.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "numeric_vector_harness.h"
#include "typeless_harness.h"

namespace {

constexpr std::size_t kMaxOperations = 128;

template <class Harness>
void Run(kivo::fuzz::FuzzInput& in) {
  Harness harness;
  for (std::size_t i = 0; i < kMaxOperations && !in.Empty(); ++i) harness.Step(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kivo::fuzz::NumericVectorHarness;
  kivo::fuzz::FuzzHeap& heap = kivo::fuzz::FuzzHeap::Get();
  const std::ptrdiff_t live = heap.Live();
  kivo::fuzz::FuzzInput in(data, size);
  switch (in.Below(11)) {
    case 0:
      Run<NumericVectorHarness<signed char>>(in);
      break;
    case 1:
      Run<NumericVectorHarness<unsigned char>>(in);
      break;
    case 2:
      Run<NumericVectorHarness<short>>(in);
      break;
    case 3:
      Run<NumericVectorHarness<unsigned short>>(in);
      break;
    case 4:
      Run<NumericVectorHarness<int>>(in);
      break;
    case 5:
      Run<NumericVectorHarness<unsigned int>>(in);
      break;
    case 6:
      Run<NumericVectorHarness<long long>>(in);
      break;
    case 7:
      Run<NumericVectorHarness<unsigned long long>>(in);
      break;
    case 8:
      Run<NumericVectorHarness<float>>(in);
      break;
    case 9:
      Run<NumericVectorHarness<double>>(in);
      break;
    default:
      Run<kivo::fuzz::TypelessHarness>(in);
      break;
  }
  KIVO_FUZZ_CHECK(heap.Live() == live);  // every block of the input went back
  return 0;
}
