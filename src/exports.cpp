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

#define KIVO_VECTOR_EXPORT(Element, Word, NameWord)                                   \
  KIVO_API ISharedInterface* Kivo##Word##VectorObjectAllocator() {                    \
    return detail::NewTypedVectorObject<Element>(&Kivo##Word##VectorObjectAllocator); \
  }
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_VECTOR_EXPORT)
#undef KIVO_VECTOR_EXPORT
KIVO_API ISharedInterface* KivoTypelessVectorObjectAllocator() {
  return detail::NewTypelessVectorObject(&KivoTypelessVectorObjectAllocator);
}

#define KIVO_TRIVIAL_EXPORT(N)                                                \
  KIVO_API ISharedInterface* KivoUniqueTypelessTrivialObjectAllocator_##N() { \
    return detail::NewUniqueTypelessTrivialObject<N>();                       \
  }
KIVO_FOR_EACH_TRIVIAL_SIZE(KIVO_TRIVIAL_EXPORT)
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
