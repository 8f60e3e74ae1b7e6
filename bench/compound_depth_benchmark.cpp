// Operations on a record nested 10^4, 10^5 and 10^6 levels deep (one Set of the path
// a/a/.../a/v). The time per level (items_per_second, one item a level) should not change with
// the depth: every walk is linear. No standard container is run beside it: a nested std::map of
// that depth overflows the stack in its own destructor.
// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "kivo/containers/exports.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;

std::string DeepPath(std::int64_t depth) {
  std::string path;
  path.reserve(static_cast<std::size_t>(2 * depth));
  for (std::int64_t i = 1; i < depth; ++i) path += "a/";
  return path + 'v';
}

ISharedTypelessObject* NewValue() {
  return static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
}

ICompoundObject* DeepRecord(const std::string& path) {
  auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  ISharedTypelessObject* value = NewValue();
  record->Set(path.c_str(), value, true);
  value->Destroy();
  return record;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_DeepSet(benchmark::State& state) {
  const std::string path = DeepPath(state.range(0));
  ISharedTypelessObject* value = NewValue();
  for (auto _ : state) {
    auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
    benchmark::DoNotOptimize(record->Set(path.c_str(), value, true));
    state.PauseTiming();
    record->Destroy();
    state.ResumeTiming();
  }
  value->Destroy();
  Finish(state);
}

void BM_DeepDestroy(benchmark::State& state) {
  const std::string path = DeepPath(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    ICompoundObject* record = DeepRecord(path);
    state.ResumeTiming();
    record->Destroy();
  }
  Finish(state);
}

void BM_DeepCopyFrom(benchmark::State& state) {
  ICompoundObject* source = DeepRecord(DeepPath(state.range(0)));
  for (auto _ : state) {
    auto* copy = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
    benchmark::DoNotOptimize(copy->CopyFrom(source));
    state.PauseTiming();
    copy->Destroy();
    state.ResumeTiming();
  }
  source->Destroy();
  Finish(state);
}

void BM_DeepEquals(benchmark::State& state) {
  const std::string path = DeepPath(state.range(0));
  ICompoundObject* a = DeepRecord(path);
  ICompoundObject* b = DeepRecord(path);
  for (auto _ : state) benchmark::DoNotOptimize(a->Equals(b));
  a->Destroy();
  b->Destroy();
  Finish(state);
}

void BM_DeepGetTotalCount(benchmark::State& state) {
  ICompoundObject* record = DeepRecord(DeepPath(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(record->GetTotalCount());
  record->Destroy();
  Finish(state);
}

void BM_DeepContains(benchmark::State& state) {
  const std::string path = DeepPath(state.range(0));
  ICompoundObject* record = DeepRecord(path);
  for (auto _ : state) benchmark::DoNotOptimize(record->Contains(path.c_str(), nullptr));
  record->Destroy();
  Finish(state);
}

#define KIVO_DEPTHS ->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_DeepSet) KIVO_DEPTHS;
BENCHMARK(BM_DeepDestroy) KIVO_DEPTHS;
BENCHMARK(BM_DeepCopyFrom) KIVO_DEPTHS;
BENCHMARK(BM_DeepEquals) KIVO_DEPTHS;
BENCHMARK(BM_DeepGetTotalCount) KIVO_DEPTHS;
BENCHMARK(BM_DeepContains) KIVO_DEPTHS;
#undef KIVO_DEPTHS

}  // namespace
