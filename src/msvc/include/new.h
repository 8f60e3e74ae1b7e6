// The allocation declarations of the Visual C++ run-time: what libc++'s <new> expects of it.
// SPDX-License-Identifier: MIT
#pragma once

#include <stddef.h>
#include <vcruntime_exception.h>

namespace std {

struct nothrow_t {
  explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;

enum class align_val_t : size_t {};

// The standard new-handler interface. The run-time layer answers it from the process's handler.
typedef void(__cdecl* new_handler)();
new_handler __cdecl get_new_handler() noexcept;

}  // namespace std

[[nodiscard]] void* __cdecl operator new(size_t size);
[[nodiscard]] void* __cdecl operator new(size_t size, const std::nothrow_t&) noexcept;
[[nodiscard]] void* __cdecl operator new[](size_t size);
[[nodiscard]] void* __cdecl operator new[](size_t size, const std::nothrow_t&) noexcept;
void __cdecl operator delete(void* block) noexcept;
void __cdecl operator delete(void* block, const std::nothrow_t&) noexcept;
void __cdecl operator delete[](void* block) noexcept;
void __cdecl operator delete[](void* block, const std::nothrow_t&) noexcept;
void __cdecl operator delete(void* block, size_t size) noexcept;
void __cdecl operator delete[](void* block, size_t size) noexcept;

[[nodiscard]] inline void* __cdecl operator new(size_t, void* where) noexcept { return where; }
inline void __cdecl operator delete(void*, void*) noexcept {}
[[nodiscard]] inline void* __cdecl operator new[](size_t, void* where) noexcept { return where; }
inline void __cdecl operator delete[](void*, void*) noexcept {}

// The process's new-handler, as the run-time keeps it (ucrtbase.dll).
typedef int(__cdecl* _PNH)(size_t);
extern "C" {
__declspec(dllimport) _PNH __cdecl _query_new_handler(void);
__declspec(dllimport) int __cdecl _callnewh(size_t size);
}
