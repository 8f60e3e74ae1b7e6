// LinkedLibrary(): the library bound at link time.
// SPDX-License-Identifier: MIT
#pragma once

// Include this header only in modules that link KivoContainersLib (Kivo::ContainersLib in CMake,
// -lKivoContainersLib otherwise); modules that load it at run time use module_loader.h.

#include "kivo/containers/exports.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/library.h"

namespace kivo::sdk {

// The table of the exports this module was linked with.
inline ExportTable LinkedExports() noexcept {
#define KIVO_SDK_LINKED_ENTRY(name) &::name,
  return ExportTable{KIVO_FOR_EACH_EXPORT(KIVO_SDK_LINKED_ENTRY)};
#undef KIVO_SDK_LINKED_ENTRY
}

// The library this module was linked with.
inline Library LinkedLibrary() noexcept { return Library(LinkedExports()); }

}  // namespace kivo::sdk
