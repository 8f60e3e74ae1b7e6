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

namespace kivo::fuzz {
namespace {

using containers::ICompoundObject;
using containers::ISharedTypelessObject;
using containers::IStringObject;
using containers::ITypelessObject;
using containers::IUniqueTypelessObject;
using utility::InterfaceId;
using utility::InterfaceIdOf;
using utility::IObject;
using utility::ISharedInterface;

constexpr std::size_t kRecords = 3;
constexpr std::size_t kMaxOperations = 96;
constexpr std::uint32_t kMaxEmbedded = 48;  // keeps copies of records inside records small

// A payload whose copies always fail: a record copying a member that holds it enters the key
// without an object.
class Refuser final : public IObject {
 public:
  void Destroy() noexcept override { delete this; }
  const InterfaceId* GetInterfaceId() const override { return TypeRecord(0); }
  bool CopyFrom(const IObject* other) override { return other == this; }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new Refuser(); }
  // Plain global allocation, paired: the interfaces' class-level delete would call Destroy again.
  static void* operator new(std::size_t size) { return ::operator new(size); }
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
    if (i > 0) KIVO_FUZZ_CHECK(BytewiseLess()(keys[i - 1], keys[i]));
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

// Asked for lazily: the counting heap has to be in place before the first object exists.
bool IsTrivialClass(const ITypelessObject& unique) {
  static const std::type_info& type = ClassOf(&KivoUniqueTypelessTrivialObjectAllocator_8);
  return typeid(unique) == type;
}

bool IsNonTrivialClass(const ITypelessObject& unique) {
  static const std::type_info& type = ClassOf(&KivoUniqueTypelessNonTrivialObjectAllocator);
  return typeid(unique) == type;
}

// The record a member's payload is, whatever its label says; null for anything else.
ICompoundObject* RecordIn(ISharedTypelessObject& member) {
  IUniqueTypelessObject* unique = member.GetUnique();
  if (unique == nullptr || !IsNonTrivialClass(*unique)) return nullptr;
  auto* payload = static_cast<ISharedInterface*>(unique->GetData());
  return payload != nullptr ? dynamic_cast<ICompoundObject*>(payload) : nullptr;
}

Node Observe(const ISharedTypelessObject& member) {
  Node node;
  const ITypelessObject* unique = member.GetConstUnique();
  KIVO_FUZZ_CHECK(member.GetTypeId() != nullptr);
  if (unique == nullptr) {
    KIVO_FUZZ_CHECK(member.GetTypeId()->code == containers::kVoidCode);
    return node;
  }
  node.code = unique->GetTypeId()->code;
  KIVO_FUZZ_CHECK(member.GetTypeId()->code == node.code);
  if (IsTrivialClass(*unique)) {
    node.kind = Node::Kind::kBytes;
    node.bytes.assign(
        static_cast<const char*>(static_cast<const IUniqueTypelessObject*>(unique)->GetConstData()),
        8);
    return node;
  }
  KIVO_FUZZ_CHECK(IsNonTrivialClass(*unique));
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
  const bool counts = TotalCount(model, &expected);
  try {
    KIVO_FUZZ_CHECK(record.GetTotalCount() == expected && counts);
  } catch (const std::bad_cast& error) {
    KIVO_FUZZ_CHECK(!counts && std::strcmp(error.what(), "bad cast") == 0);
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
    KIVO_FUZZ_CHECK(SameModel(ObserveRecord(*records[i]), models[i]));
    CheckTotalCount(*records[i], models[i]);
  }
  void CheckAll() {
    for (std::size_t i = 0; i < kRecords; ++i) Check(i);
  }
};

// A path: raw bytes (cut at the first NUL, as the record reads it), or segments from a pool of
// awkward keys joined by slashes, with optional leading and trailing slashes.
std::string MakePath(FuzzInput& in) {
  if (in.Below(32) == 0) {
    // Deep: up to 2,000 segments of one or two letters.
    const std::size_t segments = 1 + in.Below(2000);
    std::string path;
    for (std::size_t i = 0; i < segments; ++i) path += in.Bool() ? "a/" : "ab/";
    path.pop_back();
    return path;
  }
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

// Runs call, which must answer expected.value or throw expected.thrown.
template <class Call>
void Expect(const Outcome& expected, Call call) {
  ExpectThrow(expected.thrown, [&] { KIVO_FUZZ_CHECK(call() == expected.value); });
}

// A path the record is asked about: null now and then.
struct Path {
  bool null = false;
  std::string text;
  const char* c_str() const { return null ? nullptr : text.c_str(); }
};

Path ReadPath(FuzzInput& in) {
  const bool null = in.Below(16) == 0;
  return {null, MakePath(in)};
}

Node* Find(ModelRecord& model, const Path& path) {
  return path.null ? nullptr : const_cast<Node*>(Find(model, path.text));
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
  Node& model = value.model;
  auto* unique =
      Make<IUniqueTypelessObject>(kind == 1 ? &KivoUniqueTypelessTrivialObjectAllocator_8
                                            : &KivoUniqueTypelessNonTrivialObjectAllocator);
  const InterfaceId* type = TypeRecord(0);
  if (kind == 1) {
    type = TypeRecord(in.Below(6));
    in.Fill(unique->GetData(), 8);
    model.kind = Node::Kind::kBytes;
    model.bytes.assign(static_cast<const char*>(unique->GetData()), 8);
  } else if (kind == 2) {
    auto* text = Make<IStringObject>(&KivoStringObjectAllocator);
    model.kind = Node::Kind::kText;
    model.bytes = in.Bytes(in.Bool() ? 40 : 8).c_str();
    text->SetString(model.bytes.c_str());
    unique->SetObject(text);
    // Labelled as something else, as a string, or falsely as a record.
    const std::size_t label = in.Below(3);
    if (label != 0) type = TypeRecord(3 + label);
  } else if (kind == 3) {
    type = TypeRecord(2 + in.Below(4));  // B, void, string, record
    model.kind = Node::Kind::kBare;
  } else if (kind == 5) {
    unique->SetObject(new Refuser());
    model.kind = Node::Kind::kRefuser;
  } else {
    // A copy of one of the world's records, nested as a client would build it.
    const std::size_t source = in.Below(kRecords);
    auto* record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
    model = Node::NewRecord();
    if (Size(world.models[source]) <= kMaxEmbedded) {
      Expect(CopyRecord(*model.record, world.models[source]),
             [&] { return record->CopyFrom(world.records[source]); });
    }
    unique->SetObject(record);
    type = InterfaceIdOf<ICompoundObject>();
  }
  unique->SetTypeId(type);
  model.code = type->code;
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

// Sets value at path in a library record and its model, both answers compared. With refuse, the
// Set's first heap request is refused: then the record stays as it was.
void SetBoth(ICompoundObject& record, ModelRecord& model, const Path& path, FuzzInput& in,
             World& world, bool refuse = false) {
  const bool overwrite = in.Bool();
  Value value = MakeValue(in, world);
  bool answer = false;
  if (!Heap().Refusing(refuse,
                       [&] { answer = record.Set(path.c_str(), value.object, overwrite); })) {
    KIVO_FUZZ_CHECK(
        answer ==
        (!path.null && Set(model, path.text, value.object ? &value.model : nullptr, overwrite)));
  }
  if (value.object != nullptr) value.object->Destroy();
}

// One operation on one record; answers the record it may have changed (the others are only read).
std::size_t Step(FuzzInput& in, World& world) {
  const std::size_t target = in.Below(kRecords);
  ICompoundObject& record = *world.records[target];
  ModelRecord& model = world.models[target];
  const std::size_t operation = in.Below(14);
  switch (operation) {
    case 0:  // Set
      SetBoth(record, model, ReadPath(in), in, world);
      break;
    case 1:    // Get and GetConst
    case 2: {  // Contains
      const Path path = ReadPath(in);
      const InterfaceId* type = QueryType(in);
      const Node* expected = Find(model, path);
      if (expected != nullptr && !TypeMatches(*expected, type)) expected = nullptr;
      if (operation == 2) {
        KIVO_FUZZ_CHECK(record.Contains(path.c_str(), type) == (expected != nullptr));
        break;
      }
      ISharedTypelessObject* got =
          in.Bool() ? record.Get(path.c_str(), type) : record.GetConst(path.c_str(), type);
      KIVO_FUZZ_CHECK((got != nullptr) == (expected != nullptr));
      if (got != nullptr) {
        KIVO_FUZZ_CHECK(SameModel(Observe(*got), *expected));
        got->Destroy();
      }
      break;
    }
    case 3: {  // Remove
      const Path path = ReadPath(in);
      bool expected = false;
      if (!path.null) {
        auto [owner, key] = Resolve(model, path.text);
        expected = owner->members.erase(key) == 1;
      }
      KIVO_FUZZ_CHECK(record.Remove(path.c_str()) == expected);
      break;
    }
    case 4:    // Merge
    case 5:    // CopyFrom
    case 6: {  // Equals
      // Another world record (maybe the target itself), null, or an object of another class.
      const std::size_t index = in.Below(kRecords + 2);
      const ModelRecord* source = index < kRecords ? &world.models[index] : nullptr;
      const IObject* other = index < kRecords    ? world.records[index]
                             : index == kRecords ? nullptr
                                                 : static_cast<const IObject*>(world.foreign);
      const bool distinct = source != nullptr && index != target;
      Outcome expected;
      if (operation == 4) {
        const bool overwrite = in.Bool();
        if (source != nullptr && Size(model) + Size(*source) > 4 * kMaxEmbedded) {
          break;
        }
        if (distinct) expected = MergeRecord(model, *source, overwrite);
        Expect(expected, [&] {
          return record.Merge(dynamic_cast<const ICompoundObject*>(other), overwrite);
        });
      } else if (operation == 5) {
        expected =
            distinct ? CopyRecord(model, *source) : Outcome{source != nullptr ? 1u : 0u, nullptr};
        Expect(expected, [&] { return std::uint64_t{record.CopyFrom(other)}; });
      } else {
        expected = distinct ? Equal(model, *source) : Outcome{index == target, nullptr};
        Expect(expected, [&] { return std::uint64_t{record.Equals(other)}; });
      }
      break;
    }
    case 7: {  // GetKeys with a short, exact or long array, or none
      const auto capacity = static_cast<std::uint32_t>(in.Below(model.members.size() + 3));
      if (in.Below(8) == 0) {
        record.GetKeys(nullptr, capacity);
        break;
      }
      const char sentinel[] = "untouched";
      std::vector<const char*> keys(capacity + 1, sentinel);
      record.GetKeys(keys.data(), capacity);
      auto member = model.members.begin();
      for (std::uint32_t i = 0; i <= capacity; ++i) {
        const bool filled = i < capacity && member != model.members.end();
        KIVO_FUZZ_CHECK(filled ? keys[i] != sentinel && member->first == keys[i]
                               : keys[i] == sentinel);
        if (filled) ++member;
      }
      break;
    }
    case 8:  // Clear
      record.Clear();
      model.members.clear();
      break;
    case 9: {  // change a payload through a handle from Get: the record sees it
      const Path path{false, MakePath(in)};
      ISharedTypelessObject* got = record.Get(path.c_str(), nullptr);
      Node* node = Find(model, path);
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
        SetBoth(*nested, *node->record, Path{false, MakePath(in)}, in, world);
      }
      got->Destroy();
      break;
    }
    case 10: {  // between a record and a record nested in it, in both directions
      const Path path{false, MakePath(in)};
      const InterfaceId* record_type = InterfaceIdOf<ICompoundObject>();
      ISharedTypelessObject* got = record.Get(path.c_str(), record_type);
      Node* node = Find(model, path);
      KIVO_FUZZ_CHECK((got != nullptr) == (node != nullptr && TypeMatches(*node, record_type)));
      if (got == nullptr) break;
      ICompoundObject* nested = RecordIn(*got);
      KIVO_FUZZ_CHECK((nested != nullptr) == node->IsNested());
      const bool overwrite = in.Bool();
      const std::size_t direction = in.Below(5);
      if (nested != nullptr && Size(model) <= 2 * kMaxEmbedded) {
        ModelRecord& inner = *node->record;
        switch (direction) {
          case 0:  // the copy survives the record that held it: the handle keeps it
            Expect(CopyRecord(model, inner),
                   [&] { return std::uint64_t{record.CopyFrom(nested)}; });
            break;
          case 1:
            Expect(MergeRecord(model, inner, overwrite),
                   [&] { return record.Merge(nested, overwrite); });
            break;
          case 2:
            Expect(CopyRecord(inner, model, Read::kLive),
                   [&] { return std::uint64_t{nested->CopyFrom(&record)}; });
            break;
          case 3:
            Expect(MergeRecord(inner, model, overwrite, Read::kLive),
                   [&] { return nested->Merge(&record, overwrite); });
            break;
          default:
            Expect(Equal(model, inner), [&] { return std::uint64_t{record.Equals(nested)}; });
            Expect(Equal(inner, model), [&] { return std::uint64_t{nested->Equals(&record)}; });
            break;
        }
      }
      got->Destroy();
      break;
    }
    case 12: {  // Set, CopyFrom or Merge with the next heap request refused
      // Each makes its first request before it changes anything, except that CopyFrom has let
      // go of its members by then.
      testing::CountingHeap& heap = Heap();
      const std::size_t which = in.Below(3);
      if (which == 0) {
        SetBoth(record, model, ReadPath(in), in, world, true);
        break;
      }
      const std::size_t index = in.Below(kRecords);
      if (index == target || Size(model) + Size(world.models[index]) > 4 * kMaxEmbedded) break;
      const bool overwrite = in.Bool();
      Outcome answer;
      const bool refused = heap.Refusing(true, [&] {
        try {
          answer.value = which == 1 ? std::uint64_t{record.CopyFrom(world.records[index])}
                                    : record.Merge(world.records[index], overwrite);
        } catch (const std::runtime_error& error) {
          answer.thrown = error.what();
        }
      });
      if (refused) {
        if (which == 1) model.members.clear();
        break;
      }
      const Outcome expected = which == 1 ? CopyRecord(model, world.models[index])
                                          : MergeRecord(model, world.models[index], overwrite);
      KIVO_FUZZ_CHECK(answer.value == expected.value);
      KIVO_FUZZ_CHECK((answer.thrown == nullptr) == (expected.thrown == nullptr));
      break;
    }
    case 13: {  // a cycle: every walk ends, a copy cuts it, removing it frees it
      const Path path{false, MakePath(in)};
      const InterfaceId* record_type = InterfaceIdOf<ICompoundObject>();
      ISharedTypelessObject* got = record.Get(path.c_str(), record_type);
      Node* node = Find(model, path);
      KIVO_FUZZ_CHECK((got != nullptr) == (node != nullptr && TypeMatches(*node, record_type)));
      if (got == nullptr) break;
      ICompoundObject* nested = RecordIn(*got);
      // The record at the path stores a handle to itself, or to the record at the path's first
      // segment, which holds it.
      ISharedTypelessObject* closing = got;
      if (in.Bool()) {
        const std::string first = path.text.substr(0, path.text.find('/'));
        closing = record.Get(first.c_str(), record_type);
      }
      static const char* const kKeys[] = {"loop", "", "a", "\xff"};
      const char* key = kKeys[in.Below(std::size(kKeys))];
      if (nested != nullptr && node->IsNested() && closing != nullptr && RecordIn(*closing)) {
        node->record->members.erase(key);
        KIVO_FUZZ_CHECK(nested->Set(key, closing, true));
        // The cyclic record reads as its model with an empty value for the closing member.
        ModelRecord cut = model;
        Find(cut, path)->record->members[key] = Node();
        CheckTotalCount(record, cut);
        for (ICompoundObject* other : world.records) {
          try {
            static_cast<void>(record.Equals(other));
          } catch (const std::runtime_error&) {
          }
        }
        if (Size(cut) <= 2 * kMaxEmbedded) {
          auto* copy = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
          ModelRecord copied;
          Expect(CopyRecord(copied, cut), [&] { return std::uint64_t{copy->CopyFrom(&record)}; });
          KIVO_FUZZ_CHECK(SameModel(ObserveRecord(*copy), copied));
          copy->Destroy();
        }
        KIVO_FUZZ_CHECK(nested->Remove(key));
      }
      if (closing != got && closing != nullptr) closing->Destroy();
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
}  // namespace kivo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::testing::CountingHeap heap;  // ends the process when a block of the input stays
  {
    kivo::fuzz::FuzzInput in(data, size);
    kivo::fuzz::World world;
    for (std::size_t i = 0; i < kivo::fuzz::kMaxOperations && !in.Empty(); ++i)
      world.Check(kivo::fuzz::Step(in, world));
    world.CheckAll();
  }
  return 0;
}
