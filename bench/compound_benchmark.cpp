// The compound object against nested std::map records and nlohmann::json: Set and typed Get by
// path at depths 1 to 4 in a record of 100000 members, and the deep copy of 10000 texts.
// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "kivo/containers/exports.h"
#include "kivo_text.h"

namespace {

using kivo::bench::KivoText;
using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::utility::InterfaceIdOf;
using kivo::utility::ISharedInterface;

constexpr int kMembers = 100000;
constexpr int kNestedEvery = 100;  // every 100th top-level member is a nested record
constexpr int kCopyMembers = 10000;
constexpr std::size_t kPathCount = 4096;

enum Use { kForGet, kForSet };

// The record's shape: top-level keys k00000 to k99999 hold texts, except every 100th, which holds
// {m: text, n: {m: text, n: {m: text}}}. A path of depth d names a text d levels down. Every
// member holds a value of its own.
std::string TopKey(int i) {
  char key[8];
  std::snprintf(key, sizeof key, "k%05d", i);
  return key;
}

const char* const kNestedTail[] = {"", "/m", "/n/m", "/n/n/m"};

std::vector<std::string> AllTextPaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < kMembers; ++i) {
    if (i % kNestedEvery != 0) {
      paths.push_back(TopKey(i));
    } else {
      for (int depth = 2; depth <= 4; ++depth) paths.push_back(TopKey(i) + kNestedTail[depth - 1]);
    }
  }
  return paths;
}

// kPathCount paths of the given depth in a fixed random order, the same for every contender.
const std::vector<std::string>& PathsOfDepth(int depth) {
  static std::vector<std::string> cache[5];
  std::vector<std::string>& paths = cache[depth];
  if (paths.empty()) {
    std::mt19937 random(20240601u + static_cast<unsigned>(depth));
    std::uniform_int_distribution<int> pick(0, kMembers / kNestedEvery - 1);
    std::uniform_int_distribution<int> pick_any(0, kMembers - 1);
    while (paths.size() < kPathCount) {
      if (depth == 1) {
        const int i = pick_any(random);
        if (i % kNestedEvery != 0) paths.push_back(TopKey(i));
      } else {
        paths.push_back(TopKey(pick(random) * kNestedEvery) + kNestedTail[depth - 1]);
      }
    }
  }
  return paths;
}

// --- Kivo --------------------------------------------------------------------------------------

ICompoundObject* BuildKivoRecord() {
  auto* built = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  for (const std::string& path : AllTextPaths()) {
    ISharedTypelessObject* text = KivoText("value");
    built->Set(path.c_str(), text, true);
    text->Destroy();
  }
  return built;
}

// Get and Set each work on a record of their own, so that the members Set replaces do not change
// what Get reads.
ICompoundObject* KivoRecord(Use use) {
  static ICompoundObject* records[2] = {BuildKivoRecord(), BuildKivoRecord()};
  return records[use];
}

void BM_KivoGet(benchmark::State& state) {
  ICompoundObject* record = KivoRecord(kForGet);
  const auto& paths = PathsOfDepth(static_cast<int>(state.range(0)));
  const auto* type = InterfaceIdOf<IStringObject>();
  std::size_t next = 0;
  for (auto _ : state) {
    ISharedTypelessObject* handle = record->Get(paths[next].c_str(), type);
    benchmark::DoNotOptimize(handle->GetUnique()->GetConstData());
    handle->Destroy();
    next = (next + 1) % kPathCount;
  }
}

void BM_KivoSet(benchmark::State& state) {
  ICompoundObject* record = KivoRecord(kForSet);
  const auto& paths = PathsOfDepth(static_cast<int>(state.range(0)));
  ISharedTypelessObject* value = KivoText("value");
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(record->Set(paths[next].c_str(), value, true));
    next = (next + 1) % kPathCount;
  }
  value->Destroy();
}

// --- nested std::map, written directly -----------------------------------------------------

struct Node;
using NodeMap = std::map<std::string, std::shared_ptr<Node>, std::less<>>;
struct Node {
  bool is_record = false;
  std::string text;
  NodeMap members;
};

void StdSet(NodeMap& root, std::string_view path, const std::shared_ptr<Node>& value) {
  NodeMap* map = &root;
  for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
       slash = path.find('/')) {
    const std::string_view segment = path.substr(0, slash);
    auto it = map->find(segment);
    if (it == map->end() || !it->second->is_record) {
      auto record = std::make_shared<Node>();
      record->is_record = true;
      if (it == map->end()) {
        it = map->emplace(std::string(segment), std::move(record)).first;
      } else {
        it->second = std::move(record);
      }
    }
    map = &it->second->members;
    path.remove_prefix(slash + 1);
  }
  auto it = map->find(path);
  if (it == map->end()) {
    map->emplace(std::string(path), value);
  } else {
    it->second = value;
  }
}

std::shared_ptr<Node> StdGetText(const NodeMap& root, std::string_view path) {
  const NodeMap* map = &root;
  for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
       slash = path.find('/')) {
    const auto it = map->find(path.substr(0, slash));
    if (it == map->end() || !it->second->is_record) return nullptr;
    map = &it->second->members;
    path.remove_prefix(slash + 1);
  }
  const auto it = map->find(path);
  if (it == map->end() || it->second->is_record) return nullptr;
  return it->second;
}

std::shared_ptr<Node> StdText(const char* text) {
  auto node = std::make_shared<Node>();
  node->text = text;
  return node;
}

NodeMap BuildStdRecord() {
  NodeMap built;
  for (const std::string& path : AllTextPaths()) StdSet(built, path, StdText("value"));
  return built;
}

NodeMap& StdRecord(Use use) {
  static NodeMap records[2] = {BuildStdRecord(), BuildStdRecord()};
  return records[use];
}

void BM_StdGet(benchmark::State& state) {
  const NodeMap& record = StdRecord(kForGet);
  const auto& paths = PathsOfDepth(static_cast<int>(state.range(0)));
  std::size_t next = 0;
  for (auto _ : state) {
    std::shared_ptr<Node> handle = StdGetText(record, paths[next]);
    benchmark::DoNotOptimize(handle->text.data());
    next = (next + 1) % kPathCount;
  }
}

void BM_StdSet(benchmark::State& state) {
  NodeMap& record = StdRecord(kForSet);
  const auto& paths = PathsOfDepth(static_cast<int>(state.range(0)));
  const auto value = StdText("value");
  std::size_t next = 0;
  for (auto _ : state) {
    StdSet(record, paths[next], value);
    next = (next + 1) % kPathCount;
  }
}

// --- nlohmann::json with json_pointer ----------------------------------------------------------

// The json pointer text of each path: a leading slash, then the same segments.
const std::vector<std::string>& PointersOfDepth(int depth) {
  static std::vector<std::string> cache[5];
  std::vector<std::string>& pointers = cache[depth];
  if (pointers.empty()) {
    for (const std::string& path : PathsOfDepth(depth)) pointers.push_back('/' + path);
  }
  return pointers;
}

nlohmann::json BuildJsonRecord() {
  nlohmann::json built = nlohmann::json::object();
  for (const std::string& path : AllTextPaths()) {
    built[nlohmann::json::json_pointer('/' + path)] = "value";
  }
  return built;
}

nlohmann::json& JsonRecord(Use use) {
  static nlohmann::json records[2] = {BuildJsonRecord(), BuildJsonRecord()};
  return records[use];
}

void BM_JsonGet(benchmark::State& state) {
  const nlohmann::json& record = JsonRecord(kForGet);
  const auto& pointers = PointersOfDepth(static_cast<int>(state.range(0)));
  std::size_t next = 0;
  for (auto _ : state) {
    const nlohmann::json& value = record.at(nlohmann::json::json_pointer(pointers[next]));
    if (!value.is_string()) state.SkipWithError("not a text");
    benchmark::DoNotOptimize(value.get_ref<const std::string&>().data());
    next = (next + 1) % kPathCount;
  }
}

void BM_JsonSet(benchmark::State& state) {
  nlohmann::json& record = JsonRecord(kForSet);
  const auto& pointers = PointersOfDepth(static_cast<int>(state.range(0)));
  const nlohmann::json value = "value";
  std::size_t next = 0;
  for (auto _ : state) {
    record[nlohmann::json::json_pointer(pointers[next])] = value;
    next = (next + 1) % kPathCount;
  }
}

// --- deep copy of 10000 texts ------------------------------------------------------------------

std::string CopyKey(int i) { return "member " + std::to_string(i); }
std::string CopyText(int i) { return "text number " + std::to_string(i); }

void BM_KivoCopyFrom(benchmark::State& state) {
  auto* source = static_cast<ICompoundObject*>(KivoCompoundObjectAllocator());
  for (int i = 0; i < kCopyMembers; ++i) {
    ISharedTypelessObject* text = KivoText(CopyText(i).c_str());
    source->Set(CopyKey(i).c_str(), text, true);
    text->Destroy();
  }
  auto* target = static_cast<ICompoundObject*>(source->NewInstance());
  for (auto _ : state) benchmark::DoNotOptimize(target->CopyFrom(source));
  state.SetItemsProcessed(state.iterations() * kCopyMembers);
  target->Destroy();
  source->Destroy();
}

void BM_JsonCopy(benchmark::State& state) {
  nlohmann::json source = nlohmann::json::object();
  for (int i = 0; i < kCopyMembers; ++i) source[CopyKey(i)] = CopyText(i);
  nlohmann::json target;
  for (auto _ : state) {
    target = source;
    benchmark::DoNotOptimize(target.size());
  }
  state.SetItemsProcessed(state.iterations() * kCopyMembers);
}

}  // namespace

BENCHMARK(BM_KivoGet)->DenseRange(1, 4);
BENCHMARK(BM_StdGet)->DenseRange(1, 4);
BENCHMARK(BM_JsonGet)->DenseRange(1, 4);
BENCHMARK(BM_KivoSet)->DenseRange(1, 4);
BENCHMARK(BM_StdSet)->DenseRange(1, 4);
BENCHMARK(BM_JsonSet)->DenseRange(1, 4);
BENCHMARK(BM_KivoCopyFrom)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JsonCopy)->Unit(benchmark::kMicrosecond);
