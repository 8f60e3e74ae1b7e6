// Fuzzes the compound record: decoded sequences of record operations on arbitrary paths, every
// answer and the whole observable state checked against the reference model after each step.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "compound_model.h"
#include "fuzz_support.h"
#include "kivo/containers/exports.h"

namespace {

using kivo::containers::ICompoundObject;
using kivo::containers::ISharedTypelessObject;
using kivo::containers::IStringObject;
using kivo::containers::ITypelessObject;
using kivo::containers::IUniqueTypelessObject;
using kivo::fuzz::FuzzHeap;
using kivo::fuzz::FuzzInput;
using kivo::fuzz::ModelRecord;
using kivo::fuzz::Node;
using kivo::fuzz::Outcome;
using kivo::utility::InterfaceId;
using kivo::utility::InterfaceIdOf;
using kivo::utility::IObject;
using kivo::utility::ISharedInterface;
using kivo::utility::NameCode;

constexpr std::size_t kRecords = 3;
constexpr std::size_t kMaxOperations = 96;
constexpr std::uint32_t kMaxEmbedded = 48;  // keeps copies of records inside records small

// Payload type records: two distinct records with one code, one other code, and the library's.
const InterfaceId kTypeA{"fuzz::A", NameCode("fuzz::A")};
const InterfaceId kTypeAlias{"fuzz::A", NameCode("fuzz::A")};
const InterfaceId kTypeB{"fuzz::B", NameCode("fuzz::B")};

const InterfaceId* TypeRecord(std::size_t choice) {
  switch (choice) {
    case 0:
      return &kTypeA;
    case 1:
      return &kTypeAlias;
    case 2:
      return &kTypeB;
    case 3:
      return kivo::utility::VoidInterfaceId();
    case 4:
      return InterfaceIdOf<IStringObject>();
    default:
      return InterfaceIdOf<ICompoundObject>();
  }
}

// A payload whose copies always fail: a record copying a member that holds it enters the key
// without an object.
class Refuser final : public IObject {
 public:
  void Destroy() noexcept override { delete this; }
  const InterfaceId* GetInterfaceId() const override { return &kTypeA; }
  bool CopyFrom(const IObject* other) override { return other == this; }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new Refuser(); }
  static void operator delete(void* block) { ::operator delete(block); }

 private:
  ~Refuser() = default;
};

template <class I>
I* Make(ISharedInterface* (*allocator)()) {
  return static_cast<I*>(allocator());
}

const ISharedInterface* PayloadOf(const ITypelessObject& unique) {
  return static_cast<const ISharedInterface*>(
      static_cast<const IUniqueTypelessObject&>(unique).GetConstData());
}

// Reads what a shared typeless object holds, in the model's terms.
Node Observe(const ISharedTypelessObject& member);

ModelRecord ObserveRecord(const ICompoundObject& record) {
  const std::uint32_t count = record.GetCount();
  KIVO_FUZZ_CHECK(record.IsEmpty() == (count == 0));
  const char sentinel[] = "untouched";
  std::vector<const char*> keys(count + 1, sentinel);
  record.GetKeys(keys.data(), count);
  KIVO_FUZZ_CHECK(keys[count] == sentinel);
  ModelRecord model;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string key(keys[i]);
    KIVO_FUZZ_CHECK(key.find('/') == std::string::npos);
    ISharedTypelessObject* member = record.GetConst(key.c_str(), nullptr);
    KIVO_FUZZ_CHECK(member != nullptr);
    const bool fresh = model.members.emplace(key, Observe(*member)).second;
    member->Destroy();
    KIVO_FUZZ_CHECK(fresh);
    if (i > 0) KIVO_FUZZ_CHECK(kivo::fuzz::BytewiseLess()(keys[i - 1], keys[i]));
  }
  return model;
}

// The run-time class of the objects an export makes.
const std::type_info& ClassOf(ISharedInterface* (*allocator)()) {
  IObject* object = Make<IObject>(allocator);
  const std::type_info& type = typeid(*object);
  object->Destroy();
  return type;
}

const std::type_info& TrivialClass() {
  static const std::type_info& type = ClassOf(&KivoUniqueTypelessTrivialObjectAllocator_8);
  return type;
}

const std::type_info& NonTrivialClass() {
  static const std::type_info& type = ClassOf(&KivoUniqueTypelessNonTrivialObjectAllocator);
  return type;
}

// The record a member's payload is, whatever its label says; null for anything else.
ICompoundObject* RecordIn(ISharedTypelessObject& member) {
  IUniqueTypelessObject* unique = member.GetUnique();
  if (unique == nullptr || typeid(*unique) != NonTrivialClass()) return nullptr;
  auto* payload = static_cast<ISharedInterface*>(unique->GetData());
  return payload != nullptr ? dynamic_cast<ICompoundObject*>(payload) : nullptr;
}

Node Observe(const ISharedTypelessObject& member) {
  const std::type_info& trivial_class = TrivialClass();
  const std::type_info& non_trivial_class = NonTrivialClass();
  Node node;
  const ITypelessObject* unique = member.GetConstUnique();
  KIVO_FUZZ_CHECK(member.GetTypeId() != nullptr);
  if (unique == nullptr) {
    KIVO_FUZZ_CHECK(member.GetTypeId()->code == kivo::containers::kVoidCode);
    return node;
  }
  node.code = unique->GetTypeId()->code;
  KIVO_FUZZ_CHECK(member.GetTypeId()->code == node.code);
  if (typeid(*unique) == trivial_class) {
    node.kind = Node::Kind::kBytes;
    node.bytes.assign(
        static_cast<const char*>(static_cast<const IUniqueTypelessObject*>(unique)->GetConstData()),
        8);
    return node;
  }
  KIVO_FUZZ_CHECK(typeid(*unique) == non_trivial_class);
  const ISharedInterface* payload = PayloadOf(*unique);
  if (payload == nullptr) {
    node.kind = Node::Kind::kBare;
  } else if (const auto* text = dynamic_cast<const IStringObject*>(payload)) {
    node.kind = Node::Kind::kText;
    node.bytes.assign(text->GetString(), text->GetLength());
  } else if (dynamic_cast<const Refuser*>(payload) != nullptr) {
    node.kind = Node::Kind::kRefuser;
  } else {
    const auto* record = dynamic_cast<const ICompoundObject*>(payload);
    KIVO_FUZZ_CHECK(record != nullptr);
    node.kind = Node::Kind::kRecord;
    node.record = std::make_unique<ModelRecord>(ObserveRecord(*record));
  }
  return node;
}

// The world's records and their models, with the expected count (or bad_cast) checked.
void CheckTotalCount(const ICompoundObject& record, const ModelRecord& model) {
  std::uint32_t expected = 0;
  const bool counts = kivo::fuzz::TotalCount(model, &expected);
  try {
    KIVO_FUZZ_CHECK(record.GetTotalCount() == expected);
    KIVO_FUZZ_CHECK(counts);
  } catch (const std::bad_cast& error) {
    KIVO_FUZZ_CHECK(!counts);
    KIVO_FUZZ_CHECK(std::strcmp(error.what(), "bad cast") == 0);
  }
}

// The library's records beside their models.
struct World {
  ICompoundObject* records[kRecords] = {};
  ModelRecord models[kRecords];
  IStringObject* foreign = Make<IStringObject>(&KivoStringObjectAllocator);

  World() {
    for (auto*& record : records) record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  }
  ~World() {
    for (auto* record : records) record->Destroy();
    foreign->Destroy();
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  void Check(std::size_t i) {
    KIVO_FUZZ_CHECK(kivo::fuzz::SameModel(ObserveRecord(*records[i]), models[i]));
    CheckTotalCount(*records[i], models[i]);
  }
  void CheckAll() {
    for (std::size_t i = 0; i < kRecords; ++i) Check(i);
  }
};

// A path: raw bytes (cut at the first NUL, as the record reads it), or segments from a pool of
// awkward keys joined by slashes, with optional leading and trailing slashes.
std::string MakePath(FuzzInput& in) {
  if (in.Below(4) == 0) {
    const std::string raw = in.Bytes(24);
    return std::string(raw.c_str());
  }
  static const std::string kPool[] = {
      "", "a", "b", "ab", "B", "\xff", "\x80x", "\x01", "a b", std::string(300, 'k'), "x"};
  std::string path;
  if (in.Below(8) == 0) path += '/';
  const std::size_t segments = 1 + in.Below(4);
  for (std::size_t i = 0; i < segments; ++i) {
    if (i > 0) path += '/';
    const std::size_t choice = in.Below(std::size(kPool) + 1);
    if (choice < std::size(kPool)) {
      path += kPool[choice];
    } else {
      const std::string raw = in.Bytes(6);
      path += std::string(raw.c_str());
    }
  }
  if (in.Below(6) == 0) path += '/';
  return path;
}

// A value built as a client builds one, with its model; null (and an empty model) for the
// null-value case.
struct Value {
  ISharedTypelessObject* object = nullptr;
  Node model;
};

Value MakeValue(FuzzInput& in, World& world) {
  Value value;
  const std::size_t kind = in.Below(7);
  if (kind == 6) return value;
  value.object = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  if (kind == 0) return value;
  IUniqueTypelessObject* unique = nullptr;
  if (kind == 1) {
    unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_8);
    const InterfaceId* type = TypeRecord(in.Below(6));
    unique->SetTypeId(type);
    in.Fill(unique->GetData(), 8);
    value.model.kind = Node::Kind::kBytes;
    value.model.code = type->code;
    value.model.bytes.assign(static_cast<const char*>(unique->GetData()), 8);
  } else {
    unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
    if (kind == 2) {
      auto* text = Make<IStringObject>(&KivoStringObjectAllocator);
      const std::string bytes = in.Bytes(in.Bool() ? 40 : 8);
      text->SetString(bytes.c_str());
      // Labelled as a string, as something else, or falsely as a record.
      const std::size_t label = in.Below(3);
      const InterfaceId* type = label == 0 ? &kTypeA : TypeRecord(3 + label);
      unique->SetObject(text);
      unique->SetTypeId(type);
      value.model.kind = Node::Kind::kText;
      value.model.code = type->code;
      value.model.bytes = bytes.c_str();
    } else if (kind == 3) {
      const InterfaceId* type = TypeRecord(2 + in.Below(4));  // B, void, string, record
      unique->SetTypeId(type);
      value.model.kind = Node::Kind::kBare;
      value.model.code = type->code;
    } else if (kind == 5) {
      unique->SetObject(new Refuser());
      unique->SetTypeId(&kTypeA);
      value.model.kind = Node::Kind::kRefuser;
      value.model.code = kTypeA.code;
    } else {
      // A copy of one of the world's records, nested as a client would build it.
      const std::size_t source = in.Below(kRecords);
      auto* record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
      value.model = Node::NewRecord();
      if (kivo::fuzz::Size(world.models[source]) <= kMaxEmbedded) {
        const Outcome expected = kivo::fuzz::CopyRecord(*value.model.record, world.models[source]);
        try {
          KIVO_FUZZ_CHECK(record->CopyFrom(world.records[source]));
          KIVO_FUZZ_CHECK(expected.thrown == nullptr);
        } catch (const std::runtime_error& error) {
          KIVO_FUZZ_CHECK(expected.thrown != nullptr);
          KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected.thrown) == 0);
        }
      }
      unique->SetObject(record);
      unique->SetTypeId(InterfaceIdOf<ICompoundObject>());
    }
  }
  value.object->Reset(unique);
  return value;
}

const InterfaceId* QueryType(FuzzInput& in) {
  const std::size_t choice = in.Below(7);
  return choice == 6 ? nullptr : TypeRecord(choice);
}

bool TypeMatches(const Node& node, const InterfaceId* type) {
  return type == nullptr || node.TypeCode() == type->code;
}

// Source of a Merge, CopyFrom or Equals: a world record (maybe the target itself), null, or an
// object of another class. model is null unless a world record was chosen.
const IObject* PickOther(FuzzInput& in, World& world, const ModelRecord** model,
                         std::size_t* index) {
  const std::size_t choice = in.Below(kRecords + 2);
  *model = nullptr;
  *index = choice;
  if (choice < kRecords) {
    *model = &world.models[choice];
    return world.records[choice];
  }
  return choice == kRecords ? nullptr : static_cast<const IObject*>(world.foreign);
}

// One operation on one record; answers the record it may have changed (the others are only read).
std::size_t Step(FuzzInput& in, World& world) {
  const std::size_t target = in.Below(kRecords);
  ICompoundObject& record = *world.records[target];
  ModelRecord& model = world.models[target];
  switch (in.Below(13)) {
    case 0: {  // Set
      const bool null_path = in.Below(16) == 0;
      const std::string path = MakePath(in);
      const bool overwrite = in.Bool();
      Value value = MakeValue(in, world);
      const bool answer = record.Set(null_path ? nullptr : path.c_str(), value.object, overwrite);
      const bool expected =
          !null_path &&
          kivo::fuzz::Set(model, path, value.object ? &value.model : nullptr, overwrite);
      KIVO_FUZZ_CHECK(answer == expected);
      if (value.object != nullptr) value.object->Destroy();
      break;
    }
    case 1: {  // Get and GetConst
      const bool null_path = in.Below(16) == 0;
      const std::string path = MakePath(in);
      const InterfaceId* type = QueryType(in);
      const char* p = null_path ? nullptr : path.c_str();
      ISharedTypelessObject* got = in.Bool() ? record.Get(p, type) : record.GetConst(p, type);
      const Node* expected = null_path ? nullptr : kivo::fuzz::Find(model, path);
      if (expected != nullptr && !TypeMatches(*expected, type)) expected = nullptr;
      KIVO_FUZZ_CHECK((got != nullptr) == (expected != nullptr));
      if (got != nullptr) {
        KIVO_FUZZ_CHECK(kivo::fuzz::SameModel(Observe(*got), *expected));
        got->Destroy();
      }
      break;
    }
    case 2: {  // Contains
      const bool null_path = in.Below(16) == 0;
      const std::string path = MakePath(in);
      const InterfaceId* type = QueryType(in);
      const Node* expected = null_path ? nullptr : kivo::fuzz::Find(model, path);
      KIVO_FUZZ_CHECK(record.Contains(null_path ? nullptr : path.c_str(), type) ==
                      (expected != nullptr && TypeMatches(*expected, type)));
      break;
    }
    case 3: {  // Remove
      const bool null_path = in.Below(16) == 0;
      const std::string path = MakePath(in);
      bool expected = false;
      if (!null_path) {
        auto [owner, key] = kivo::fuzz::Resolve(model, path);
        expected = owner->members.erase(key) == 1;
      }
      KIVO_FUZZ_CHECK(record.Remove(null_path ? nullptr : path.c_str()) == expected);
      break;
    }
    case 4: {  // Merge
      const ModelRecord* source = nullptr;
      std::size_t index = 0;
      const IObject* other = PickOther(in, world, &source, &index);
      const bool overwrite = in.Bool();
      if (source != nullptr &&
          kivo::fuzz::Size(model) + kivo::fuzz::Size(*source) > 4 * kMaxEmbedded) {
        break;
      }
      Outcome expected;
      if (source != nullptr && index != target) {
        expected = kivo::fuzz::MergeRecord(model, *source, overwrite);
      }
      try {
        const std::uint64_t count =
            record.Merge(dynamic_cast<const ICompoundObject*>(other), overwrite);
        KIVO_FUZZ_CHECK(expected.thrown == nullptr);
        KIVO_FUZZ_CHECK(count == expected.value);
      } catch (const std::runtime_error& error) {
        KIVO_FUZZ_CHECK(expected.thrown != nullptr);
        KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected.thrown) == 0);
      }
      break;
    }
    case 5: {  // CopyFrom
      const ModelRecord* source = nullptr;
      std::size_t index = 0;
      const IObject* other = PickOther(in, world, &source, &index);
      Outcome expected{source != nullptr ? 1u : 0u, nullptr};
      if (source != nullptr && index != target) {
        expected = kivo::fuzz::CopyRecord(model, *source);
      }
      try {
        const bool answer = record.CopyFrom(other);
        KIVO_FUZZ_CHECK(expected.thrown == nullptr);
        KIVO_FUZZ_CHECK(answer == (expected.value == 1));
      } catch (const std::runtime_error& error) {
        KIVO_FUZZ_CHECK(expected.thrown != nullptr);
        KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected.thrown) == 0);
      }
      break;
    }
    case 6: {  // Equals
      const ModelRecord* source = nullptr;
      std::size_t index = 0;
      const IObject* other = PickOther(in, world, &source, &index);
      Outcome expected;
      if (index == target) {
        expected.value = 1;
      } else if (source != nullptr) {
        expected = kivo::fuzz::Equal(model, *source);
      }
      try {
        const bool answer = record.Equals(other);
        KIVO_FUZZ_CHECK(expected.thrown == nullptr);
        KIVO_FUZZ_CHECK(answer == (expected.value == 1));
      } catch (const std::runtime_error& error) {
        KIVO_FUZZ_CHECK(expected.thrown != nullptr);
        KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected.thrown) == 0);
      }
      break;
    }
    case 7: {  // GetKeys with a short, exact or long array, or none
      const std::uint32_t capacity = static_cast<std::uint32_t>(in.Below(model.members.size() + 3));
      if (in.Below(8) == 0) {
        record.GetKeys(nullptr, capacity);
        break;
      }
      const char sentinel[] = "untouched";
      std::vector<const char*> keys(capacity + 1, sentinel);
      record.GetKeys(keys.data(), capacity);
      auto member = model.members.begin();
      for (std::uint32_t i = 0; i < capacity; ++i) {
        if (member == model.members.end()) {
          KIVO_FUZZ_CHECK(keys[i] == sentinel);
          continue;
        }
        KIVO_FUZZ_CHECK(keys[i] != sentinel && member->first == keys[i]);
        ++member;
      }
      KIVO_FUZZ_CHECK(keys[capacity] == sentinel);
      break;
    }
    case 8:  // counts
      KIVO_FUZZ_CHECK(record.GetCount() == model.members.size());
      KIVO_FUZZ_CHECK(record.IsEmpty() == model.members.empty());
      CheckTotalCount(record, model);
      break;
    case 9:  // Clear
      record.Clear();
      model.members.clear();
      break;
    case 10: {  // change a payload through a handle from Get: the record sees it
      const std::string path = MakePath(in);
      ISharedTypelessObject* got = record.Get(path.c_str(), nullptr);
      Node* node = const_cast<Node*>(kivo::fuzz::Find(model, path));
      KIVO_FUZZ_CHECK((got != nullptr) == (node != nullptr));
      if (got == nullptr) break;
      IUniqueTypelessObject* unique = got->GetUnique();
      if (node->kind == Node::Kind::kBytes) {
        in.Fill(unique->GetData(), 8);
        node->bytes.assign(static_cast<const char*>(unique->GetData()), 8);
      } else if (node->kind == Node::Kind::kText) {
        const std::string bytes = in.Bytes(24);
        static_cast<IStringObject*>(static_cast<ISharedInterface*>(unique->GetData()))
            ->SetString(bytes.c_str());
        node->bytes = bytes.c_str();
      } else if (node->kind == Node::Kind::kRecord) {
        ICompoundObject* nested = RecordIn(*got);
        KIVO_FUZZ_CHECK(nested != nullptr);
        const std::string inner = MakePath(in);
        const bool overwrite = in.Bool();
        Value value = MakeValue(in, world);
        KIVO_FUZZ_CHECK(nested->Set(inner.c_str(), value.object, overwrite) ==
                        kivo::fuzz::Set(*node->record, inner, value.object ? &value.model : nullptr,
                                        overwrite));
        if (value.object != nullptr) value.object->Destroy();
      }
      got->Destroy();
      break;
    }
    case 11: {  // between a record and a record nested in it, in both directions
      const std::string path = MakePath(in);
      const InterfaceId* record_type = InterfaceIdOf<ICompoundObject>();
      ISharedTypelessObject* got = record.Get(path.c_str(), record_type);
      Node* node = const_cast<Node*>(kivo::fuzz::Find(model, path));
      KIVO_FUZZ_CHECK((got != nullptr) == (node != nullptr && TypeMatches(*node, record_type)));
      if (got == nullptr) break;
      ICompoundObject* nested = RecordIn(*got);
      KIVO_FUZZ_CHECK((nested != nullptr) == node->IsNested());
      const bool overwrite = in.Bool();
      const std::size_t operation = in.Below(5);
      if (nested == nullptr || kivo::fuzz::Size(model) > 2 * kMaxEmbedded) {
        got->Destroy();
        break;
      }
      ModelRecord& inner = *node->record;
      using kivo::fuzz::Read;
      Outcome expected;
      try {
        switch (operation) {
          case 0:  // the copy survives the record that held it: the handle keeps it
            expected = kivo::fuzz::CopyRecord(model, inner);
            KIVO_FUZZ_CHECK(record.CopyFrom(nested));
            break;
          case 1:
            expected = kivo::fuzz::MergeRecord(model, inner, overwrite);
            KIVO_FUZZ_CHECK(record.Merge(nested, overwrite) == expected.value);
            break;
          case 2:
            expected = kivo::fuzz::CopyRecord(inner, model, Read::kLive);
            KIVO_FUZZ_CHECK(nested->CopyFrom(&record));
            break;
          case 3:
            expected = kivo::fuzz::MergeRecord(inner, model, overwrite, Read::kLive);
            KIVO_FUZZ_CHECK(nested->Merge(&record, overwrite) == expected.value);
            break;
          default:
            expected = kivo::fuzz::Equal(model, inner);
            KIVO_FUZZ_CHECK(record.Equals(nested) == (expected.value == 1));
            expected = kivo::fuzz::Equal(inner, model);
            KIVO_FUZZ_CHECK(nested->Equals(&record) == (expected.value == 1));
            break;
        }
        KIVO_FUZZ_CHECK(expected.thrown == nullptr);
      } catch (const std::runtime_error& error) {
        KIVO_FUZZ_CHECK(expected.thrown != nullptr);
        KIVO_FUZZ_CHECK(std::strcmp(error.what(), expected.thrown) == 0);
      }
      got->Destroy();
      break;
    }
    default: {  // NewInstance: an empty record of the same class, the source untouched
      IObject* fresh = record.NewInstance();
      auto* empty = dynamic_cast<ICompoundObject*>(fresh);
      KIVO_FUZZ_CHECK(empty != nullptr && empty->IsEmpty() && empty->GetTotalCount() == 0);
      KIVO_FUZZ_CHECK(fresh->GetInterfaceId() == record.GetInterfaceId());
      KIVO_FUZZ_CHECK(record.Equals(fresh) == model.members.empty());
      fresh->Destroy();
      break;
    }
  }
  return target;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzHeap& heap = FuzzHeap::Get();
  const std::ptrdiff_t live = heap.Live();
  {
    FuzzInput in(data, size);
    World world;
    for (std::size_t i = 0; i < kMaxOperations && !in.Empty(); ++i) world.Check(Step(in, world));
    world.CheckAll();
  }
  KIVO_FUZZ_CHECK(heap.Live() == live);  // every block of the input went back
  return 0;
}
