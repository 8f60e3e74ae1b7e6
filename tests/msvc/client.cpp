// A client of the MSVC-ABI DLL that stands for a Visual C++ host: it links no C++ standard
// library, calls every export and every operation of every interface by raw slot index and by
// name, catches the library's exceptions as the Visual C++ run-time's own types, ends objects with
// Destroy and with delete, and first uses the type records from several threads at once.
// Its last line, "N passed, M failed", comes only after every check ran: under Wine a crashed
// thread can leave the exit code 0, so the test reads that line.
// SPDX-License-Identifier: MIT
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <initializer_list>
#include <new>
#include <stdexcept>
#include <typeinfo>

#include "kivo/containers/exports.h"

namespace {

using namespace kivo::containers;
using namespace kivo::utility;

int passed = 0, failed = 0;

void Check(bool ok, const char* what, const char* detail = "") {
  ok ? ++passed : ++failed;
  if (!ok) printf("FAILED: %s %s\n", what, detail);
}

// Entry `slot` of object's virtual table, called as a function R(object, args...): how a client
// built by any compiler reaches an operation by its position.
template <class R, class... Args>
R Slot(const void* object, int slot, Args... args) {
  const auto table = *static_cast<void* const* const*>(object);
  return reinterpret_cast<R (*)(const void*, Args...)>(table[slot])(object, args...);
}

// Each scenario runs once calling by slot and once by name.
enum class Via { kSlot, kName };
#define CALL(R, slot, object, Name, ...) \
  (via == Via::kSlot ? Slot<R>(object, slot, __VA_ARGS__) : (object)->Name(__VA_ARGS__))
#define CALL0(R, slot, object, Name) (via == Via::kSlot ? Slot<R>(object, slot) : (object)->Name())

template <class... Objects>
void DestroyAll(Objects*... objects) {
  (objects->Destroy(), ...);
}

template <class I>
I* Make(ObjectAllocator allocator) {
  return static_cast<I*>(static_cast<IObject*>(allocator()));
}

const InterfaceId* const kTextType = InterfaceIdOf<IStringObject>();

struct Export {
  const char* name;
  ObjectAllocator allocator;
  const char* record;
};

#define KIVO_ROW(name, record) \
  { #name, &name, "kivo::containers::" record }
#define KIVO_VECTOR_ROW(T, word, record_word) \
  KIVO_ROW(Kivo##word##VectorObjectAllocator, "I" #record_word "VectorObject"),
#define KIVO_TRIVIAL_ROW(N) \
  KIVO_ROW(KivoUniqueTypelessTrivialObjectAllocator_##N, "IUniqueTypelessObject"),
const Export kExports[] = {
    KIVO_ROW(KivoCompoundObjectAllocator, "ICompoundObject"),
    KIVO_ROW(KivoSharedTypelessObjectAllocator, "ISharedTypelessObject"),
    KIVO_ROW(KivoStringObjectAllocator, "IStringObject"),
    KIVO_ROW(KivoTypelessVectorObjectAllocator, "ITypelessVectorObject"),
    KIVO_ROW(KivoUniqueTypelessNonTrivialObjectAllocator, "IUniqueTypelessObject"),
    KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_VECTOR_ROW) KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_TRIVIAL_ROW)};
constexpr int kExportCount = sizeof(kExports) / sizeof(kExports[0]);
static_assert(kExportCount == 25);

// The records each of kThreads threads saw on its first use of every export, all released at once
// before anything else touches a record.
constexpr int kThreads = 4;
const InterfaceId* seen[kThreads][kExportCount];
volatile LONG waiting = kThreads;

DWORD WINAPI FirstUse(void* thread) {
  InterlockedDecrement(&waiting);
  while (waiting != 0) {
  }
  for (int i = 0; i < kExportCount; ++i) {
    IObject* object = Make<IObject>(kExports[i].allocator);
    seen[reinterpret_cast<std::uintptr_t>(thread)][i] = object->GetInterfaceId();
    object->Destroy();
  }
  return 0;
}

// Every export, found by name; slots 0 to 4 of its objects; the one record every thread saw;
// Destroy and delete.
void CheckExports(Via via) {
  HMODULE module = GetModuleHandleA("KivoContainersLib.dll");
  for (int i = 0; i < kExportCount; ++i) {
    const Export& row = kExports[i];
    Check(reinterpret_cast<ObjectAllocator>(GetProcAddress(module, row.name)) == row.allocator,
          "export found by name", row.name);
    IObject* object = Make<IObject>(row.allocator);
    IObject* other = Make<IObject>(row.allocator);
    const InterfaceId* id = CALL0(const InterfaceId*, 1, object, GetInterfaceId);
    bool same = object != other && strcmp(id->name, row.record) == 0 &&
                id->code == NameCode(row.record) && id == other->GetInterfaceId();
    for (const auto& thread : seen) same = same && thread[i] == id;
    Check(same, "distinct objects of one record, the one every thread saw", row.name);
    IObject* fresh = CALL0(IObject*, 4, object, NewInstance);
    Check(CALL(bool, 3, fresh, Equals, other) && !CALL(bool, 3, object, Equals, nullptr) &&
              CALL(bool, 2, fresh, CopyFrom, fresh) && !CALL(bool, 2, fresh, CopyFrom, nullptr),
          "NewInstance, Equals and CopyFrom", row.name);
    CALL0(void, 0, fresh, Destroy);
    other->Destroy();
    delete object;  // the class-level delete calls Destroy
  }
}

template <class T>
void CheckVector(ObjectAllocator allocator, Via via) {
  auto* vector = Make<ITypedVectorObject<T>>(allocator);
  const ITypedVectorObject<T>* view = vector;
  const T one = T(1), two = T(2), seven = T(7);
  via == Via::kSlot ? Slot<void>(vector, 10, &one) : vector->PushBack(one);     // const T&
  via == Via::kSlot ? Slot<void>(vector, 11, &two) : vector->PushBack(T(two));  // T&&
  (via == Via::kSlot ? *Slot<T*>(vector, 8, 1) : vector->GetAt(1)) = seven;     // writable
  T* data = CALL0(T*, 12, vector, GetData);
  Check(CALL0(std::uint64_t, 5, vector, GetSize) == 2 && CALL(T, 9, view, GetAt, 1) == seven &&
            data[0] == one && CALL0(const T*, 13, view, GetData) == data,
        "vector GetSize, GetAt and GetData");
  Check(CALL(bool, 7, vector, RemoveAt, 0) && !CALL(bool, 7, vector, RemoveAt, 5) &&
            view->GetAt(0) == seven,
        "vector RemoveAt");
  CALL0(void, 6, vector, Clear);
  Check(vector->GetSize() == 0 && vector->GetData() == data, "vector Clear keeps storage");
  vector->Destroy();
}

// A shared value holding a string object labelled type, built through the calls `via` picks.
ISharedTypelessObject* SharedText(const char* value, const InterfaceId* type, Via via) {
  auto* text = Make<IStringObject>(&KivoStringObjectAllocator);
  CALL(void, 6, text, SetString, value);
  auto* unique = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  CALL(void, 9, unique, SetObject, text);
  CALL(void, 10, unique, SetTypeId, type);
  auto* shared = Make<ISharedTypelessObject>(&KivoSharedTypelessObjectAllocator);
  CALL(void, 9, shared, Reset, unique);
  return shared;
}

const char* TextOf(const ISharedTypelessObject* value) {
  auto* unique = static_cast<const IUniqueTypelessObject*>(value->GetConstUnique());
  return static_cast<const IStringObject*>(unique->GetConstData())->GetString();
}

void CheckStringAndTypeless(Via via) {
  ISharedTypelessObject* shared = SharedText("hello", kTextType, via);
  ISharedTypelessObject* source = SharedText("copied", kTextType, via);
  auto* unique = CALL0(IUniqueTypelessObject*, 7, shared, GetUnique);
  auto* text = static_cast<IStringObject*>(CALL0(void*, 7, unique, GetData));
  Check(CALL0(std::uint64_t, 5, text, GetLength) == 5 &&
            strcmp(CALL0(const char*, 7, text, GetString), "hello") == 0 &&
            CALL0(const void*, 8, unique, GetConstData) == text &&
            CALL0(const InterfaceId*, 5, unique, GetTypeId) == kTextType &&
            CALL0(const ITypelessObject*, 8, shared, GetConstUnique) == unique,
        "a string in a unique object in a shared one");
  ISharedTypelessObject* handle = CALL0(ISharedTypelessObject*, 10, shared, Share);
  Check(CALL(bool, 6, shared, AssignValue, source) && strcmp(TextOf(handle), "copied") == 0 &&
            CALL0(const InterfaceId*, 5, handle, GetTypeId)->code == kTextType->code,
        "shared Share and AssignValue");

  auto* bytes = Make<IUniqueTypelessObject>(&KivoUniqueTypelessTrivialObjectAllocator_4);
  void* data = CALL0(void*, 7, bytes, GetData);
  memcpy(data, "abc", 4);
  CALL(void, 9, bytes, SetObject, nullptr);
  CALL0(void, 6, bytes, Clear);
  CALL(void, 10, bytes, SetTypeId, kTextType);
  Check(CALL0(const void*, 8, bytes, GetConstData) == data && memcmp(data, "abc", 4) == 0 &&
            CALL0(const InterfaceId*, 5, bytes, GetTypeId) == kTextType,
        "trivial unique object");

  auto* list = Make<ITypelessVectorObject>(&KivoTypelessVectorObjectAllocator);
  const ITypelessVectorObject* view = list;
  CALL(void, 10, list, PushBack, handle);  // adopts handle
  list->PushBack(source);
  ISharedTypelessObject* first = CALL(ISharedTypelessObject*, 8, list, GetAt, 0);
  ISharedTypelessObject* again = CALL(ISharedTypelessObject*, 9, view, GetAt, 0);
  Check(first->GetUnique() == unique && again->GetUnique() == unique &&
            CALL(ISharedTypelessObject*, 8, list, GetAt, 2) == nullptr &&
            CALL0(std::uint64_t, 5, list, GetSize) == 2 &&
            CALL0(ISharedTypelessObject* const*, 11, view, GetData)[0] == handle,
        "typeless vector GetAt, GetSize and GetData");
  Check(CALL(bool, 7, list, RemoveAt, 1) && list->GetSize() == 1, "typeless vector RemoveAt");
  CALL0(void, 6, list, Clear);
  Check(list->GetSize() == 0, "typeless vector Clear");
  CALL0(void, 6, unique, Clear);
  Check(unique->GetData() == nullptr && unique->GetTypeId()->code == NameCode("void"),
        "unique Clear");
  DestroyAll(first, again, shared, list, bytes);
}

void CheckCompound(Via via) {
  auto* record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  const ICompoundObject* view = record;
  ISharedTypelessObject* value = SharedText("leaf", kTextType, Via::kName);
  Check(CALL0(bool, 5, record, IsEmpty) && CALL(bool, 10, record, Set, "a/b", value, true) &&
            CALL0(std::uint32_t, 6, record, GetCount) == 1 &&
            CALL0(std::uint32_t, 7, record, GetTotalCount) == 2 &&
            CALL(bool, 11, record, Contains, "a/b", kTextType),
        "record Set, counts and Contains");
  ISharedTypelessObject* got = CALL(ISharedTypelessObject*, 12, record, Get, "a/b", kTextType);
  ISharedTypelessObject* read = CALL(ISharedTypelessObject*, 13, view, GetConst, "a/b", nullptr);
  const char* keys[2] = {nullptr, nullptr};
  CALL(void, 15, view, GetKeys, keys, 2u);
  Check(strcmp(TextOf(got), "leaf") == 0 && strcmp(TextOf(read), "leaf") == 0 &&
            strcmp(keys[0], "a") == 0 && keys[1] == nullptr,
        "record Get, GetConst and GetKeys");
  auto* copy = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  Check(CALL(std::uint64_t, 9, copy, Merge, record, false) == 1 && copy->Equals(record) &&
            CALL(bool, 14, record, Remove, "a/b") && !record->Contains("a/b", nullptr),
        "record Merge and Remove");
  CALL0(void, 8, copy, Clear);
  Check(copy->IsEmpty(), "record Clear");
  DestroyAll(got, read, value, copy, record);
}

// What raise throws, caught as Caught, has text and is exactly the type the Visual C++ run-time
// knows by the decorated name.
template <class Caught, class Raise>
bool Catches(Raise raise, const char* text, const char* decorated) {
  try {
    raise();
  } catch (Caught error) {
    return strcmp(error.what(), text) == 0 && strcmp(typeid(error).raw_name(), decorated) == 0;
  }
  return false;
}

// Caught as E by reference, as base B and as E by value.
template <class E, class B, class Raise>
void CheckThrows(Raise raise, const char* text, const char* decorated) {
  Check(Catches<const E&>(raise, text, decorated) && Catches<const B&>(raise, text, decorated) &&
            Catches<E>(raise, text, decorated),
        "caught by exact type, by base and by value", text);
}

// A payload that throws the client's own exception when the library copies it.
class ClientError {};

class ThrowingPayload final : public IObject {
 public:
  explicit ThrowingPayload(int* alive) : alive_(alive) { ++*alive_; }
  void Destroy() noexcept override {
    --*alive_;
    delete this;
  }
  const InterfaceId* GetInterfaceId() const override { return kTextType; }
  bool CopyFrom(const IObject*) override { throw ClientError(); }
  bool Equals(const IObject* other) const override { return other == this; }
  IObject* NewInstance() const override { return new ThrowingPayload(alive_); }
  // Plain global allocation: the interfaces' class-level delete would call Destroy again.
  static void* operator new(std::size_t size) { return ::operator new(size); }
  static void operator delete(void* block) noexcept { ::operator delete(block); }

 private:
  int* alive_;
};

void CheckExceptions() {
  static_assert(sizeof(std::exception) == 24 && sizeof(std::runtime_error) == 24);
  auto* record = Make<ICompoundObject>(&KivoCompoundObjectAllocator);
  ISharedTypelessObject* impostor = SharedText("t", InterfaceIdOf<ICompoundObject>(), Via::kName);
  record->Set("member", impostor, true);
  CheckThrows<std::bad_cast, std::exception>([&] { record->GetTotalCount(); }, "bad cast",
                                             ".?AVbad_cast@std@@");
  auto* target =
      static_cast<IUniqueTypelessObject*>(SharedText("kept", kTextType, Via::kName)->GetUnique());
  auto* empty = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  empty->SetTypeId(kTextType);
  void* kept = target->GetData();
  CheckThrows<std::runtime_error, std::exception>(
      [&] { target->CopyFrom(empty); },
      "Can not copy from an object that doesn't derive from utility::IObject",
      ".?AVruntime_error@std@@");
  CheckThrows<std::runtime_error, std::exception>(
      [&] { target->Equals(empty); },
      "Can not test equality of objects that don't derive from utility::IObject",
      ".?AVruntime_error@std@@");
  Check(record->GetCount() == 1 && target->GetData() == kept, "unchanged after a throw");

  // The client's own exception unwinds through the library's frames, which end the half-made copy
  // on the way.
  int alive = 0;
  auto* source = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  source->SetObject(new ThrowingPayload(&alive));
  auto* fresh = Make<IUniqueTypelessObject>(&KivoUniqueTypelessNonTrivialObjectAllocator);
  bool caught = false;
  try {
    fresh->CopyFrom(source);
  } catch (const ClientError&) {
    caught = true;
  }
  Check(caught && alive == 1 && fresh->GetData() == nullptr, "client exception unwinds");
  DestroyAll(record, impostor, empty, source, fresh);
  Check(alive == 0, "payload ended with its holder");
}

int Main() {
  HANDLE threads[kThreads];
  for (int i = 0; i < kThreads; ++i) {
    threads[i] = CreateThread(nullptr, 0, &FirstUse, reinterpret_cast<void*>(i), 0, nullptr);
  }
  Check(WaitForMultipleObjects(kThreads, threads, TRUE, 60000) == WAIT_OBJECT_0,
        "threads finished");
  for (const Via via : {Via::kSlot, Via::kName}) {
    CheckExports(via);
#define KIVO_CHECK_VECTOR(T, word, record_word) \
  CheckVector<T>(&Kivo##word##VectorObjectAllocator, via);
    KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_CHECK_VECTOR)
    CheckStringAndTypeless(via);
    CheckCompound(via);
  }
  CheckExceptions();
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace

void KivoRunInitializers();  // src/msvc/compiler_support.cpp

// The program's own start-up: there is no C run-time start-up code to call main.
extern "C" void mainCRTStartup() {
  KivoRunInitializers();
  const int status = Main();
  fflush(stdout);
  ExitProcess(static_cast<UINT>(status));
}

// The client's own global allocation, as a Visual C++ host has.
void* operator new(std::size_t size) {
  if (void* block = malloc(size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, std::size_t) noexcept { free(block); }
