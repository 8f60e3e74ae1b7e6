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

using kivo::fuzz::NumericVectorHarness;

template <class Harness>
void Run(kivo::fuzz::FuzzInput& in) {
  Harness harness;
  for (int i = 0; i < 128 && !in.Empty(); ++i) harness.Step(in);
}

// Each vector's "other" is a vector of another element type.
void (*const kHarnesses[])(kivo::fuzz::FuzzInput&) = {
    Run<NumericVectorHarness<signed char, KivoInt8VectorObjectAllocator,
                             KivoUInt8VectorObjectAllocator>>,
    Run<NumericVectorHarness<unsigned char, KivoUInt8VectorObjectAllocator,
                             KivoInt8VectorObjectAllocator>>,
    Run<NumericVectorHarness<short, KivoInt16VectorObjectAllocator,
                             KivoUInt16VectorObjectAllocator>>,
    Run<NumericVectorHarness<unsigned short, KivoUInt16VectorObjectAllocator,
                             KivoInt16VectorObjectAllocator>>,
    Run<NumericVectorHarness<int, KivoInt32VectorObjectAllocator, KivoFloatVectorObjectAllocator>>,
    Run<NumericVectorHarness<unsigned int, KivoUInt32VectorObjectAllocator,
                             KivoInt32VectorObjectAllocator>>,
    Run<NumericVectorHarness<long long, KivoInt64VectorObjectAllocator,
                             KivoDoubleVectorObjectAllocator>>,
    Run<NumericVectorHarness<unsigned long long, KivoUInt64VectorObjectAllocator,
                             KivoTypelessVectorObjectAllocator>>,
    Run<NumericVectorHarness<float, KivoFloatVectorObjectAllocator,
                             KivoInt32VectorObjectAllocator>>,
    Run<NumericVectorHarness<double, KivoDoubleVectorObjectAllocator,
                             KivoInt64VectorObjectAllocator>>,
    Run<kivo::fuzz::TypelessHarness>,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::testing::CountingHeap heap;  // ends the process when a block of the input stays
  kivo::fuzz::FuzzInput in(data, size);
  kHarnesses[in.Below(std::size(kHarnesses))](in);
  return 0;
}
