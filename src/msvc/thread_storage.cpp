// The thread-local storage directory that the Visual C++ static run-time would supply: the loader
// gives every thread a copy of the module's .tls template and stores the module's slot number in
// _tls_index. The library's thread-local objects are constant-initialised and trivially
// destructible, so no callback is listed.
// SPDX-License-Identifier: MIT

extern "C" {

unsigned long _tls_index = 0;

// The linker sorts .tls$ sections by name: these two bracket the template.
#pragma section(".tls", read, write)
#pragma section(".tls$ZZZ", read, write)
__declspec(allocate(".tls")) char _tls_start = 0;
__declspec(allocate(".tls$ZZZ")) char _tls_end = 0;

// An empty list of thread callbacks; the last entry, kept though nothing names it, ends it.
using ThreadCallback = void(__stdcall*)(void*, unsigned long, void*);
#pragma section(".CRT$XLA", read)
#pragma section(".CRT$XLZ", read)
__declspec(allocate(".CRT$XLA")) const ThreadCallback first_thread_callback = nullptr;
[[gnu::used]] __declspec(allocate(".CRT$XLZ")) const ThreadCallback last_thread_callback = nullptr;

// IMAGE_TLS_DIRECTORY64; the linker points the image's TLS directory at this symbol.
struct ThreadStorageDirectory {
  const void* template_start;
  const void* template_end;
  const unsigned long* index;
  const ThreadCallback* callbacks;
  unsigned long zero_fill_size;
  unsigned long characteristics;
};
extern const ThreadStorageDirectory _tls_used = {
    &_tls_start, &_tls_end, &_tls_index, &first_thread_callback + 1, 0, 0};
}
