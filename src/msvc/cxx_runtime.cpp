// The pieces of the Visual C++ static run-time that the library's code needs, for the
// MSVC-ABI build: global allocation over the library's heap, and the new-handler bridge.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <new>

#include "internal/memory.h"

// Global allocation is the library's own: malloc, the new-handler loop, std::bad_alloc.
void* operator new(std::size_t size) { return kivo::detail::Allocate(size); }
void* operator new[](std::size_t size) { return kivo::detail::Allocate(size); }
void operator delete(void* block) noexcept { kivo::detail::Deallocate(block); }
void operator delete[](void* block) noexcept { kivo::detail::Deallocate(block); }
void operator delete(void* block, std::size_t) noexcept { kivo::detail::Deallocate(block); }
void operator delete[](void* block, std::size_t) noexcept { kivo::detail::Deallocate(block); }

namespace {

// The process's new-handler lives in ucrtbase.dll, where a host's std::set_new_handler puts it.
// The handler may free memory and ask for a retry (non-zero) or give up (zero). It learns no
// request size: the allocation loop calls std::new_handler, which takes none.
void CallProcessNewHandler() {
  if (_callnewh(1) == 0) throw std::bad_alloc();
}

}  // namespace

std::new_handler std::get_new_handler() noexcept {
  return _query_new_handler() != nullptr ? &CallProcessNewHandler : nullptr;
}
