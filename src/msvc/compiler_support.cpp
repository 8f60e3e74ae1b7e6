// What the Visual C++ static run-time would supply to every module of this build, the DLL and
// client programs alike: the symbols clang's MSVC-ABI code refers to, and dynamic initialisation.
// SPDX-License-Identifier: MIT

// Every type descriptor the compiler emits (for throw, catch and dynamic_cast) points at
// type_info's virtual table, which vcruntime140.dll does not export. Its one entry, the deleting
// destructor, is never called: descriptors are static.
extern "C" [[gnu::used]] void* KivoTypeInfoDestructor(void* self, unsigned) { return self; }
asm(R"(
  .section .rdata,"dr"
  .p2align 3
  .globl "??_7type_info@@6B@"
"??_7type_info@@6B@":
  .quad KivoTypeInfoDestructor
  .text
)");

// Every module that uses floating point refers to this symbol.
extern "C" int _fltused = 0;

// The compiler lists a module's dynamic initialisers in .CRT$XCU; the linker sorts the sections
// by name, so these two bracket the list. Destructors of statics would need atexit, which is not
// provided: a static that needs one fails to link.
using Initializer = void(__cdecl*)();
#pragma section(".CRT$XCA", read)
#pragma section(".CRT$XCZ", read)
__declspec(allocate(".CRT$XCA")) const Initializer first_initializer = nullptr;
__declspec(allocate(".CRT$XCZ")) const Initializer last_initializer = nullptr;

// Runs the module's dynamic initialisers, in order; the entry point calls it first.
void KivoRunInitializers() {
  for (const Initializer* it = &first_initializer + 1; it < &last_initializer; ++it) {
    if (*it != nullptr) (*it)();
  }
}
