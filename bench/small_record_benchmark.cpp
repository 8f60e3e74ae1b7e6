// The typical use of a plugin boundary: a small record of 16 texts under config/, built, read by
// path and handed to another module, each beside nlohmann::json doing the same work; and the heap
// bytes that one member costs, against nlohmann::json and std::map<std::string, T>.
// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "kivo/containers/exports.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo_text.h"

namespace {

using kivo::bench::KivoText;
using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::utility::InterfaceIdOf;

constexpr int kTexts = 16;

struct SmallRecordShape {
  std::vector<std::string> keys, paths, texts;
  SmallRecordShape() {
    for (int i = 0; i < kTexts; ++i) {
      char key[8];
      std::snprintf(key, sizeof key, "k%02d", i);
      keys.emplace_back(key);
      paths.push_back("config/" + keys.back());
      texts.push_back("text of " + keys.back());
    }
  }
};
const SmallRecordShape kShape;

// --- the library, through its exports and interfaces only ---------------------------------------

ICompoundObject* KivoBuild() {
  auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  for (int i = 0; i < kTexts; ++i) {
    ISharedTypelessObject* text = KivoText(kShape.texts[i].c_str());
    record->Set(kShape.paths[i].c_str(), text, true);
    text->Destroy();
  }
  return record;
}

// What a reader in another module does: Get with the type it expects, read, end the handle.
std::size_t KivoReadAll(const ICompoundObject& record) {
  const auto* type = InterfaceIdOf<IStringObject>();
  std::size_t bytes = 0;
  for (const std::string& path : kShape.paths) {
    ISharedTypelessObject* handle = record.GetConst(path.c_str(), type);
    const auto* text = static_cast<const IStringObject*>(handle->GetUnique()->GetConstData());
    bytes += text->GetLength();
    benchmark::DoNotOptimize(text->GetString());
    handle->Destroy();
  }
  return bytes;
}

// --- nlohmann::json ---------------------------------------------------------------------------

nlohmann::json JsonBuild() {
  nlohmann::json record;
  for (int i = 0; i < kTexts; ++i) record["config"][kShape.keys[i]] = kShape.texts[i];
  return record;
}

std::size_t JsonReadAll(const nlohmann::json& record) {
  std::size_t bytes = 0;
  for (const std::string& key : kShape.keys) {
    const std::string& text = record["config"][key].get_ref<const std::string&>();
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  return bytes;
}

// --- read, build, hand-over ---------------------------------------------------------------------

void BM_SmallRead_Kivo(benchmark::State& state) {
  ICompoundObject* record = KivoBuild();
  for (auto _ : state) benchmark::DoNotOptimize(KivoReadAll(*record));
  record->Destroy();
}

void BM_SmallRead_Json(benchmark::State& state) {
  const nlohmann::json record = JsonBuild();
  for (auto _ : state) benchmark::DoNotOptimize(JsonReadAll(record));
}

void BM_SmallBuild_Kivo(benchmark::State& state) {
  for (auto _ : state) {
    ICompoundObject* record = KivoBuild();
    benchmark::DoNotOptimize(record);
    record->Destroy();
  }
}

void BM_SmallBuild_Json(benchmark::State& state) {
  for (auto _ : state) {
    nlohmann::json record = JsonBuild();
    benchmark::DoNotOptimize(record);
  }
}

// The record itself crosses the boundary; JSON has to travel as text.
void BM_HandOver_Kivo(benchmark::State& state) {
  for (auto _ : state) {
    ICompoundObject* record = KivoBuild();
    benchmark::DoNotOptimize(KivoReadAll(*record));
    record->Destroy();
  }
}

void BM_HandOver_Json(benchmark::State& state) {
  for (auto _ : state) {
    const std::string text = JsonBuild().dump();
    benchmark::DoNotOptimize(JsonReadAll(nlohmann::json::parse(text)));
  }
}

BENCHMARK(BM_SmallRead_Kivo);
BENCHMARK(BM_SmallRead_Json);
BENCHMARK(BM_SmallBuild_Kivo);
BENCHMARK(BM_SmallBuild_Json);
BENCHMARK(BM_HandOver_Kivo);
BENCHMARK(BM_HandOver_Json);

// --- heap bytes per member ---------------------------------------------------------------------

constexpr int kMemoryMembers = 1000000;

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::string MemberKey(int i) {
  char key[16];
  std::snprintf(key, sizeof key, "m%07d", i);
  return key;
}

enum Member { kText, kInt64, kRecord };
const char* const kMemberText = "member text";

ISharedTypelessObject* KivoMember(Member kind, int i) {
  if (kind == kText) return KivoText(kMemberText);
  IUniqueTypelessObject* unique;
  if (kind == kInt64) {
    unique = static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessTrivialObjectAllocator_8());
    *static_cast<std::int64_t*>(unique->GetData()) = i;
    unique->SetTypeId(InterfaceIdOf<kivo::sdk::Scalar<std::int64_t>>());
  } else {
    unique = static_cast<IUniqueTypelessObject*>(KivoUniqueTypelessNonTrivialObjectAllocator());
    unique->SetObject(KivoCompoundObjectAllocator());
    unique->SetTypeId(InterfaceIdOf<ICompoundObject>());
  }
  auto* shared = static_cast<ISharedTypelessObject*>(KivoSharedTypelessObjectAllocator());
  shared->Reset(unique);
  return shared;
}

// Builds 10^6 members of one kind in one record and reports the heap bytes each one holds.
template <class Build>
void ReportBytesPerMember(benchmark::State& state, Build build) {
  std::vector<std::string> keys;
  keys.reserve(kMemoryMembers);
  for (int i = 0; i < kMemoryMembers; ++i) keys.push_back(MemberKey(i));
  double bytes = 0;
  for (auto _ : state) {
    const std::size_t before = HeapInUse();
    bytes = static_cast<double>(build(keys, before)) / kMemoryMembers;
  }
  state.counters["bytes_per_member"] = bytes;
}

void BM_MemberBytes_Kivo(benchmark::State& state) {
  const auto kind = static_cast<Member>(state.range(0));
  ReportBytesPerMember(state, [kind](const std::vector<std::string>& keys, std::size_t before) {
    auto* record = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
    for (int i = 0; i < kMemoryMembers; ++i) {
      ISharedTypelessObject* member = KivoMember(kind, i);
      record->Set(keys[i].c_str(), member, true);
      member->Destroy();
    }
    const std::size_t held = HeapInUse() - before;
    record->Destroy();
    return held;
  });
}

void BM_MemberBytes_Json(benchmark::State& state) {
  const auto kind = static_cast<Member>(state.range(0));
  ReportBytesPerMember(state, [kind](const std::vector<std::string>& keys, std::size_t before) {
    nlohmann::json record = nlohmann::json::object();
    for (int i = 0; i < kMemoryMembers; ++i) {
      nlohmann::json& member = record[keys[i]];
      if (kind == kText) member = kMemberText;
      if (kind == kInt64) member = std::int64_t{i};
      if (kind == kRecord) member = nlohmann::json::object();
    }
    return HeapInUse() - before;
  });
}

void BM_MemberBytes_StdMap(benchmark::State& state) {
  const auto kind = static_cast<Member>(state.range(0));
  ReportBytesPerMember(state, [kind](const std::vector<std::string>& keys, std::size_t before) {
    std::map<std::string, std::string> texts;
    std::map<std::string, std::int64_t> numbers;
    std::map<std::string, std::map<std::string, std::int64_t>> records;
    for (int i = 0; i < kMemoryMembers; ++i) {
      if (kind == kText) texts.emplace(keys[i], kMemberText);
      if (kind == kInt64) numbers.emplace(keys[i], i);
      if (kind == kRecord) records[keys[i]];
    }
    return HeapInUse() - before;
  });
}

// Arguments: 0 text, 1 int64, 2 nested record (empty).
BENCHMARK(BM_MemberBytes_Kivo)
    ->DenseRange(kText, kRecord)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemberBytes_Json)
    ->DenseRange(kText, kRecord)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemberBytes_StdMap)
    ->DenseRange(kText, kRecord)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
