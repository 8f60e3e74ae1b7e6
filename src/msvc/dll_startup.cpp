// The DLL's entry point in the MSVC-ABI build, which links no Visual C++ static run-time.
// SPDX-License-Identifier: MIT
#include <windows.h>

// Defined with the exports: turns off thread notifications at process attach.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

// The module's dynamic initialisers (src/msvc/compiler_support.cpp). The library has no global
// objects with constructors, so there are none today.
void KivoRunInitializers();

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) KivoRunInitializers();
  return DllMain(module, reason, reserved);
}
