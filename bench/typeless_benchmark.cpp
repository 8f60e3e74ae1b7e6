// The cost of one more holder of a typeless value: Share and Destroy against std::shared_ptr.
// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "kivo/containers/exports.h"

namespace {

using kivo::containers::ISharedTypelessObject;
using kivo::containers::IUniqueTypelessObject;

// One holder made and ended: a heap block for the holder plus an atomic increment and decrement.
void BM_KivoShareDestroy(benchmark::State& state) {
  auto* shared = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessTrivialObjectAllocator_8()));
  for (auto _ : state) {
    ISharedTypelessObject* holder = shared->Share();
    benchmark::DoNotOptimize(holder);
    holder->Destroy();
  }
  shared->Destroy();
}
BENCHMARK(BM_KivoShareDestroy);

// The same work with the standard library: a std::shared_ptr copy on the heap.
void BM_StdSharedPtrNewCopyDelete(benchmark::State& state) {
  const auto original = std::make_shared<std::uint64_t>(0);
  for (auto _ : state) {
    auto* holder = new std::shared_ptr<std::uint64_t>(original);
    benchmark::DoNotOptimize(holder);
    delete holder;
  }
}
BENCHMARK(BM_StdSharedPtrNewCopyDelete);

// The floor: a std::shared_ptr (to an object made with new) copied and destroyed in place, the
// count changes alone.
void BM_StdSharedPtrCopyDestroy(benchmark::State& state) {
  const std::shared_ptr<std::uint64_t> original(new std::uint64_t(0));
  for (auto _ : state) {
    std::shared_ptr<std::uint64_t> holder(original);
    benchmark::DoNotOptimize(holder);
  }
}
BENCHMARK(BM_StdSharedPtrCopyDestroy);

}  // namespace
