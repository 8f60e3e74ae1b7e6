// The exported allocator functions and the memory routines behind every object.
// SPDX-License-Identifier: MIT
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

#include "internal/factories.h"
#include "internal/memory.h"
#include "kivo/containers/exports.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace kivo::detail {

// Constant-initialised: the module runs no constructor of its own at load.
HeapFunctions currentHeap{&std::malloc, &std::free};

void* RetryAllocation(std::size_t size) {
  for (;;) {
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) ThrowBadAlloc();
    handler();
    if (void* block = currentHeap.acquire(size)) return block;
  }
}

void* AllocateOddSize(std::size_t size) {
  if (size == std::numeric_limits<std::size_t>::max()) ThrowBadArrayNewLength();
  return Allocate(1);
}

HeapFunctions ReplaceHeapFunctions(HeapFunctions replacement) noexcept {
  const HeapFunctions previous = currentHeap;
  currentHeap = replacement;
  return previous;
}

}  // namespace kivo::detail

using kivo::utility::ISharedInterface;
namespace detail = kivo::detail;

extern "C" {

KIVO_API ISharedInterface* KivoStringObjectAllocator() { return detail::NewStringObject(); }

KIVO_API ISharedInterface* KivoInt8VectorObjectAllocator() {
  return detail::NewTypedVectorObject<signed char>(&KivoInt8VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoUInt8VectorObjectAllocator() {
  return detail::NewTypedVectorObject<unsigned char>(&KivoUInt8VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoInt16VectorObjectAllocator() {
  return detail::NewTypedVectorObject<short>(&KivoInt16VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoUInt16VectorObjectAllocator() {
  return detail::NewTypedVectorObject<unsigned short>(&KivoUInt16VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoInt32VectorObjectAllocator() {
  return detail::NewTypedVectorObject<int>(&KivoInt32VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoUInt32VectorObjectAllocator() {
  return detail::NewTypedVectorObject<unsigned int>(&KivoUInt32VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoInt64VectorObjectAllocator() {
  return detail::NewTypedVectorObject<long long>(&KivoInt64VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoUInt64VectorObjectAllocator() {
  return detail::NewTypedVectorObject<unsigned long long>(&KivoUInt64VectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoFloatVectorObjectAllocator() {
  return detail::NewTypedVectorObject<float>(&KivoFloatVectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoDoubleVectorObjectAllocator() {
  return detail::NewTypedVectorObject<double>(&KivoDoubleVectorObjectAllocator);
}
KIVO_API ISharedInterface* KivoTypelessVectorObjectAllocator() {
  return detail::NewTypelessVectorObject(&KivoTypelessVectorObjectAllocator);
}

#define KIVO_TRIVIAL_EXPORT(N)                                                \
  KIVO_API ISharedInterface* KivoUniqueTypelessTrivialObjectAllocator_##N() { \
    return detail::NewUniqueTypelessTrivialObject<N>();                       \
  }
KIVO_TRIVIAL_EXPORT(1)
KIVO_TRIVIAL_EXPORT(2)
KIVO_TRIVIAL_EXPORT(4)
KIVO_TRIVIAL_EXPORT(8)
KIVO_TRIVIAL_EXPORT(12)
KIVO_TRIVIAL_EXPORT(16)
KIVO_TRIVIAL_EXPORT(20)
KIVO_TRIVIAL_EXPORT(24)
KIVO_TRIVIAL_EXPORT(28)
KIVO_TRIVIAL_EXPORT(32)
#undef KIVO_TRIVIAL_EXPORT

KIVO_API ISharedInterface* KivoUniqueTypelessNonTrivialObjectAllocator() {
  return detail::NewUniqueTypelessNonTrivialObject();
}
KIVO_API ISharedInterface* KivoSharedTypelessObjectAllocator() {
  return detail::NewSharedTypelessObject();
}
KIVO_API ISharedInterface* KivoCompoundObjectAllocator() { return detail::NewCompoundObject(); }

}  // extern "C"

#if defined(_WIN32) && !defined(KIVO_STATIC)
// The library keeps no per-thread state, so thread notifications are turned off.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
  return TRUE;
}
#endif
