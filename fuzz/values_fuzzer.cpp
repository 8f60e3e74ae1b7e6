// Fuzzes the vectors and typeless values: numeric vectors of every element type against a
// std::vector model, and unique, shared and vector-held typeless values against a model of
// shared ownership, allocation failures included.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "fuzz_support.h"
#include "numeric_vector_harness.h"
#include "typeless_harness.h"

namespace {

template <class Harness>
void Run(kivo::fuzz::FuzzInput& in) {
  Harness harness;
  for (int i = 0; i < 128 && !in.Empty(); ++i) harness.Step(in);
}

#define KIVO_FUZZ_VECTOR(T, word, name) \
  Run<kivo::fuzz::NumericVectorHarness<T, &Kivo##word##VectorObjectAllocator>>,
void (*const kHarnesses[])(kivo::fuzz::FuzzInput&) = {
    KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_FUZZ_VECTOR) Run<kivo::fuzz::TypelessHarness>};
#undef KIVO_FUZZ_VECTOR

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::testing::CountingHeap heap;  // ends the process when a block of the input stays
  kivo::fuzz::FuzzInput in(data, size);
  kHarnesses[in.Below(std::size(kHarnesses))](in);
  return 0;
}
