// Fuzzes the containers, one kind per input (its first byte): numeric vectors of every element
// type against a std::vector model; unique, shared and vector-held typeless values against a model
// of shared ownership; and the compound record, decoded sequences of record operations on arbitrary
// paths. Every answer and the whole observable state are checked against the models at each step.
// SPDX-License-Identifier: MIT
#include "compound_model.h"
#include "numeric_vector_harness.h"
#include "typeless_harness.h"

namespace kivo::fuzz {
namespace {

using namespace containers;  // the interfaces under test
using namespace utility;
using Kind = Node::Kind;
using testing::NewRecord;

constexpr std::size_t kRecords = 3;
constexpr std::uint32_t kMaxEmbedded = 48;  // keeps copies of records inside records small

// A payload whose copies always fail: a record copying a member that holds it enters the key
// without an object.
testing::CountingObject* NewRefuser() {
  static testing::CountingLog log;
  log.refuse_copies = true;
  return testing::CountingObject::New(log);
}

// The record a member that the model says is a record holds; null for any other member.
ICompoundObject* RecordIn(const ISharedTypelessObject& member, const Node& node) {
  if (!node.IsRecord()) return nullptr;
  const void* payload =
      static_cast<const IUniqueTypelessObject*>(member.GetConstUnique())->GetConstData();
  auto* record =
      dynamic_cast<ICompoundObject*>(static_cast<ISharedInterface*>(const_cast<void*>(payload)));
  KIVO_FUZZ_CHECK(record != nullptr);
  return record;
}

void CheckRecord(const ICompoundObject& record, const Members& model);

void CheckMember(const ISharedTypelessObject& member, const Node& node) {
  KIVO_FUZZ_CHECK(member.GetTypeId()->code == node.TypeCode());
  KIVO_FUZZ_CHECK((member.GetConstUnique() != nullptr) == node.HasObject());
  if (!node.HasObject()) return;
  const auto* payload =
      CheckPayload(*static_cast<const IUniqueTypelessObject*>(member.GetConstUnique()), node);
  if (node.kind == Kind::kRefuser)
    KIVO_FUZZ_CHECK(dynamic_cast<const testing::CountingObject*>(payload));
  if (node.IsRecord()) CheckRecord(*RecordIn(member, node), node.members);
}

// GetKeys into an array of capacity entries: the model's first keys, in order, none past them.
void CheckKeys(const ICompoundObject& record, const Members& model, std::uint32_t capacity) {
  const char sentinel[] = "untouched";
  std::vector<const char*> keys(capacity + 1, sentinel);
  record.GetKeys(keys.data(), capacity);
  auto member = model.begin();
  for (std::uint32_t i = 0; i <= capacity; ++i) {
    const bool filled = i < capacity && member != model.end();
    KIVO_FUZZ_CHECK(filled ? member++->first == keys[i] : keys[i] == sentinel);
  }
}

// Keys, members and emptiness as the model has them.
void CheckRecord(const ICompoundObject& record, const Members& model) {
  const auto count = static_cast<std::uint32_t>(model.size());
  KIVO_FUZZ_CHECK(record.GetCount() == count && record.IsEmpty() == model.empty());
  CheckKeys(record, model, count);
  for (const auto& [name, node] : model) {
    const Handle<ISharedTypelessObject> member(record.GetConst(name.c_str(), nullptr));
    KIVO_FUZZ_CHECK(member != nullptr);
    CheckMember(*member, node);
  }
}

// The count at every depth, or bad_cast where a member is labelled as a record without being one.
void CheckTotalCount(const ICompoundObject& record, const Members& model) {
  bool counts = true;
  const std::uint32_t expected = Size(model, &counts);
  try {
    KIVO_FUZZ_CHECK(record.GetTotalCount() == expected && counts);
  } catch (const std::bad_cast& error) {
    KIVO_FUZZ_CHECK(!counts && std::strcmp(error.what(), "bad cast") == 0);
  }
}

// The library's records beside their models.
struct World {
  Handle<ICompoundObject> records[kRecords] = {NewRecord(), NewRecord(), NewRecord()};
  Members models[kRecords];
  Handle<IStringObject> foreign = testing::Make<IStringObject>(&KivoStringObjectAllocator);

  void Check(std::size_t i) const {
    CheckRecord(*records[i], models[i]);
    CheckTotalCount(*records[i], models[i]);
  }
};

// Runs call, which must answer expected.value or throw expected.thrown.
template <class Call>
void Expect(const Outcome& expected, Call call) {
  ExpectThrow(expected.thrown, [&] { KIVO_FUZZ_CHECK(call() == expected.value); });
}

// A path the record is asked about: null now and then (when nullable), else deep, raw bytes, or
// segments from a pool of awkward keys joined by slashes, with optional leading and trailing ones.
struct Path {
  bool null = false;
  std::string text{};
  const char* c_str() const { return null ? nullptr : text.c_str(); }
};

Path ReadPath(FuzzInput& in, bool nullable = true) {
  Path path{nullable && in.Below(16) == 0};
  std::string& text = path.text;
  if (in.Below(32) == 0) {  // up to 2,000 segments of one or two letters
    for (std::size_t n = 1 + in.Below(2000); n > 0; --n) text += in.Bool() ? "a/" : "ab/";
    text.pop_back();
    return path;
  }
  if (in.Below(4) == 0) return {path.null, in.Text(24)};
  static const std::string kPool[] = {
      "", "a", "b", "ab", "B", "\xff", "\x80x", "\x01", "a b", std::string(300, 'k'), "x"};
  if (in.Below(8) == 0) text += '/';
  for (std::size_t i = 0, n = 1 + in.Below(4); i < n; ++i) {
    const std::size_t choice = in.Below(std::size(kPool) + 1);
    text += (i > 0 ? "/" : "") + (choice < std::size(kPool) ? kPool[choice] : in.Text(6));
  }
  if (in.Below(6) == 0) text += '/';
  return path;
}

// A value built as a client builds one, with its model; null for the null-value case.
Handle<ISharedTypelessObject> MakeValue(FuzzInput& in, World& world, Node& model) {
  const std::size_t kind = in.Below(7);
  if (kind == 6) return nullptr;
  auto value = testing::Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  if (kind == 0) return value;
  auto* unique =
      testing::Make<IUniqueTypelessObject>(kind == 1 ? &KivoUniqueTypelessTrivialObjectAllocator_8
                                                     : &KivoUniqueTypelessNonTrivialObjectAllocator)
          .release();
  const InterfaceId* type = TypeRecord(0);
  if (kind == 1) {
    type = TypeRecord(in.Below(6));
    in.Fill(unique->GetData(), 8);
    model = {Kind::kBytes, 0, std::string(static_cast<const char*>(unique->GetData()), 8)};
  } else if (kind == 2) {
    model = {Kind::kText, 0, in.Text(in.Bool() ? 40 : 8)};
    unique->SetObject(NewString(model.bytes));
    const std::size_t label = in.Below(3);  // something else, a string, or falsely a record
    if (label != 0) type = TypeRecord(3 + label);
  } else if (kind == 3) {
    type = TypeRecord(2 + in.Below(4));  // B, void, string, record
    model.kind = Kind::kBare;
  } else if (kind == 5) {
    unique->SetObject(NewRefuser());
    model.kind = Kind::kRefuser;
  } else {  // a copy of one of the world's records, nested as a client would build it
    const std::size_t source = in.Below(kRecords);
    Handle<ICompoundObject> record = NewRecord();
    model = Node::Record();
    if (Size(world.models[source]) <= kMaxEmbedded) {
      Expect(CopyRecord(model.members, world.models[source]),
             [&] { return record->CopyFrom(world.records[source].get()); });
    }
    unique->SetObject(record.release());
    type = utility::InterfaceIdOf<ICompoundObject>();
  }
  unique->SetTypeId(type);
  model.code = type->code;
  value->Reset(unique);
  return value;
}

// The model's member at path when it has the type asked for (any with null).
Node* Expected(Members& model, const Path& path, const InterfaceId* type) {
  Node* node = path.null ? nullptr : Find(model, path.text);
  return node != nullptr && (type == nullptr || node->TypeCode() == type->code) ? node : nullptr;
}

// A handle from Get (or GetConst) at path with type, there exactly when the model has *node.
Handle<ISharedTypelessObject> Get(ICompoundObject& record, Members& model, const Path& path,
                                  const InterfaceId* type, Node** node, bool writable = true) {
  *node = Expected(model, path, type);
  Handle<ISharedTypelessObject> got(writable ? record.Get(path.c_str(), type)
                                             : record.GetConst(path.c_str(), type));
  KIVO_FUZZ_CHECK((got != nullptr) == (*node != nullptr));
  return got;
}

// One operation on one record; answers the record it may have changed (the others are only read).
std::size_t Step(FuzzInput& in, World& world) {
  const std::size_t target = in.Below(kRecords);
  ICompoundObject& record = *world.records[target];
  Members& model = world.models[target];
  const std::size_t operation = in.Below(14);
  switch (operation) {
    case 0: {  // Set
      const Path path = ReadPath(in);
      const bool overwrite = in.Bool();
      Node node;
      const Handle<ISharedTypelessObject> value = MakeValue(in, world, node);
      KIVO_FUZZ_CHECK(record.Set(path.c_str(), value.get(), overwrite) ==
                      (!path.null && Set(model, path.text, value ? &node : nullptr, overwrite)));
      break;
    }
    case 1:    // Get and GetConst
    case 2: {  // Contains
      const Path path = ReadPath(in);
      const std::size_t choice = in.Below(7);
      const InterfaceId* type = choice == 6 ? nullptr : TypeRecord(choice);
      if (operation == 2) {
        KIVO_FUZZ_CHECK(record.Contains(path.c_str(), type) ==
                        (Expected(model, path, type) != nullptr));
        break;
      }
      Node* node = nullptr;
      const auto got = Get(record, model, path, type, &node, in.Bool());
      if (got != nullptr) CheckMember(*got, *node);
      break;
    }
    case 3: {
      const Path path = ReadPath(in);
      bool expected = false;
      if (!path.null) {
        auto [owner, key] = Resolve(model, path.text);
        expected = owner->erase(key) == 1;
      }
      KIVO_FUZZ_CHECK(record.Remove(path.c_str()) == expected);
      break;
    }
    case 4:    // Merge
    case 5:    // CopyFrom
    case 6: {  // Equals
      // Another world record (maybe the target itself), null, or an object of another class.
      const std::size_t index = in.Below(kRecords + 2);
      const Members* source = index < kRecords ? &world.models[index] : nullptr;
      const IObject* other = index < kRecords    ? world.records[index].get()
                             : index == kRecords ? nullptr
                                                 : static_cast<const IObject*>(world.foreign.get());
      const bool distinct = source != nullptr && index != target;
      const bool overwrite = operation == 4 && in.Bool();
      if (operation == 6) {
        const Outcome expected = distinct ? Equal(model, *source) : Outcome{index == target};
        Expect(expected, [&] { return std::uint64_t{record.Equals(other)}; });
      } else if (operation == 4 && source != nullptr &&
                 Size(model) + Size(*source) > 4 * kMaxEmbedded) {
        break;
      } else if (distinct) {
        const Outcome expected =
            operation == 4 ? MergeRecord(model, *source, overwrite) : CopyRecord(model, *source);
        const auto* from = world.records[index].get();
        Expect(expected, [&] {
          return operation == 4 ? record.Merge(from, overwrite)
                                : std::uint64_t{record.CopyFrom(from)};
        });
      } else if (operation == 4) {
        KIVO_FUZZ_CHECK(record.Merge(dynamic_cast<const ICompoundObject*>(other), overwrite) == 0);
      } else {
        KIVO_FUZZ_CHECK(record.CopyFrom(other) == (source != nullptr));
      }
      break;
    }
    case 7: {  // GetKeys with a short, exact or long array, or none
      const auto capacity = static_cast<std::uint32_t>(in.Below(model.size() + 3));
      if (in.Below(8) == 0) {
        record.GetKeys(nullptr, capacity);
        break;
      }
      CheckKeys(record, model, capacity);
      break;
    }
    case 8:
      record.Clear();
      model.clear();
      break;
    case 13: {  // a cycle: every walk ends, a copy cuts it, removing it frees it
      const Path path = ReadPath(in, false);
      Node* node = nullptr;
      const auto got = Get(record, model, path, InterfaceIdOf<ICompoundObject>(), &node);
      if (got == nullptr) break;
      // The record at the path stores a handle to itself, or to the record at the path's first
      // segment, which holds it.
      Node* closing_node = node;
      const bool outer = in.Bool();
      const auto head = outer
                            ? Get(record, model, {false, path.text.substr(0, path.text.find('/'))},
                                  InterfaceIdOf<ICompoundObject>(), &closing_node)
                            : nullptr;
      ISharedTypelessObject* closing = outer ? head.get() : got.get();
      static const char* const kKeys[] = {"loop", "", "a", "\xff"};
      const char* key = kKeys[in.Below(std::size(kKeys))];
      ICompoundObject* nested = RecordIn(*got, *node);
      if (nested != nullptr && closing != nullptr && closing_node->IsRecord()) {
        node->members.erase(key);
        KIVO_FUZZ_CHECK(nested->Set(key, closing, true));
        // The cyclic record reads as its model with an empty value for the closing member.
        Members cut = model;
        Find(cut, path.text)->members[key] = Node();
        CheckTotalCount(record, cut);
        for (const auto& other : world.records) {
          try {
            static_cast<void>(record.Equals(other.get()));
          } catch (const std::runtime_error&) {
          }
        }
        if (Size(cut) <= 2 * kMaxEmbedded) {
          const Handle<ICompoundObject> copy = NewRecord();
          Members copied;
          Expect(CopyRecord(copied, cut), [&] { return std::uint64_t{copy->CopyFrom(&record)}; });
          CheckRecord(*copy, copied);
        }
        KIVO_FUZZ_CHECK(nested->Remove(key));
      }
      break;
    }
    default:  // 9 to 12: retired steps, idle so that the recorded seeds keep their meaning
      break;
  }
  return target;
}

void Records(FuzzInput& in) {
  World world;
  for (std::size_t i = 0; i < 96 && !in.Empty(); ++i) world.Check(Step(in, world));
  for (std::size_t i = 0; i < kRecords; ++i) world.Check(i);
}

template <class Harness>
void Run(FuzzInput& in) {
  Harness harness;
  for (int i = 0; i < 128 && !in.Empty(); ++i) harness.Step(in);
}

#define KIVO_FUZZ_VECTOR(T, word, name) \
  Run<NumericVectorHarness<T, &Kivo##word##VectorObjectAllocator>>,
void (*const kHarnesses[])(FuzzInput&) = {
    KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_FUZZ_VECTOR) Run<TypelessHarness>, Records};
#undef KIVO_FUZZ_VECTOR

}  // namespace
}  // namespace kivo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kivo::testing::CountingHeap heap;  // ends the process when a block of the input stays
  kivo::fuzz::FuzzInput in(data, size);
  kivo::fuzz::kHarnesses[in.Below(std::size(kivo::fuzz::kHarnesses))](in);
  return 0;
}
