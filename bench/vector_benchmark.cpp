// Numeric vectors through their interface against std::vector, memcpy and memcmp.
// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "kivo/containers/exports.h"

namespace {

using kivo::containers::IInt32VectorObject;

constexpr std::size_t kBlockBytes = std::size_t{64} << 20;
constexpr std::size_t kBlockInts = kBlockBytes / sizeof(int);

IInt32VectorObject* NewInt32Vector() {
  return static_cast<IInt32VectorObject*>(KivoInt32VectorObjectAllocator());
}

// Appends range(0) ints to a new vector, one virtual call each, growth included.
void BM_KivoPushBack(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    IInt32VectorObject* vector = NewInt32Vector();
    for (int i = 0; i < count; ++i) vector->PushBack(i);
    benchmark::DoNotOptimize(vector->GetData());
    vector->Destroy();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_KivoPushBack)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

void BM_StdPushBack(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<int> vector;
    for (int i = 0; i < count; ++i) vector.push_back(i);
    benchmark::DoNotOptimize(vector.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StdPushBack)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

// The same appends into storage kept from an earlier fill: the cost of the calls alone.
void BM_KivoPushBackIntoKeptStorage(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  IInt32VectorObject* vector = NewInt32Vector();
  for (int i = 0; i < count; ++i) vector->PushBack(i);
  for (auto _ : state) {
    vector->Clear();
    for (int i = 0; i < count; ++i) vector->PushBack(i);
    benchmark::DoNotOptimize(vector->GetData());
  }
  state.SetItemsProcessed(state.iterations() * count);
  vector->Destroy();
}
BENCHMARK(BM_KivoPushBackIntoKeptStorage)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_StdPushBackIntoKeptStorage(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  std::vector<int> vector;
  vector.reserve(static_cast<std::size_t>(count));
  for (auto _ : state) {
    vector.clear();
    for (int i = 0; i < count; ++i) vector.push_back(i);
    benchmark::DoNotOptimize(vector.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_StdPushBackIntoKeptStorage)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// A 64 MiB vector holding 0, 1, 2, ...
IInt32VectorObject* NewFilledVector() {
  IInt32VectorObject* vector = NewInt32Vector();
  for (std::size_t i = 0; i < kBlockInts; ++i) vector->PushBack(static_cast<int>(i));
  return vector;
}

// Copies 64 MiB into a vector whose storage already fits, as a refill does.
void BM_KivoCopyFrom64MiB(benchmark::State& state) {
  IInt32VectorObject* source = NewFilledVector();
  IInt32VectorObject* target = NewInt32Vector();
  target->CopyFrom(source);
  for (auto _ : state) {
    target->CopyFrom(source);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
  target->Destroy();
  source->Destroy();
}
BENCHMARK(BM_KivoCopyFrom64MiB)->Unit(benchmark::kMillisecond);

void BM_StdMemcpy64MiB(benchmark::State& state) {
  std::vector<int> source(kBlockInts, 1);
  std::vector<int> target(kBlockInts, 2);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), kBlockBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}
BENCHMARK(BM_StdMemcpy64MiB)->Unit(benchmark::kMillisecond);

// Compares two equal 64 MiB vectors: every byte is read.
void BM_KivoEquals64MiB(benchmark::State& state) {
  IInt32VectorObject* a = NewFilledVector();
  IInt32VectorObject* b = NewInt32Vector();
  b->CopyFrom(a);
  for (auto _ : state) benchmark::DoNotOptimize(a->Equals(b));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
  b->Destroy();
  a->Destroy();
}
BENCHMARK(BM_KivoEquals64MiB)->Unit(benchmark::kMillisecond);

void BM_StdMemcmp64MiB(benchmark::State& state) {
  std::vector<int> a(kBlockInts, 1);
  std::vector<int> b(kBlockInts, 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), kBlockBytes));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}
BENCHMARK(BM_StdMemcmp64MiB)->Unit(benchmark::kMillisecond);

}  // namespace
