// LinkedLibrary(): the library bound at link time.
// SPDX-License-Identifier: MIT
#pragma once

// Include this header only in modules that link KivoContainersLib (Kivo::ContainersLib in CMake,
// -lKivoContainersLib otherwise); modules that load it at run time use module_loader.h.

#include "kivo/containers/exports.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/self_check.h"

namespace kivo::sdk {

/// The table of the exports this module was linked with, and of this module's scalar records (so
/// it must not outlive this module).
inline ExportTable LinkedExports() noexcept {
  ExportTable table = EmptyExportTable();
#define KIVO_SDK_LINKED_ENTRY(name) table.name = &::name;
  KIVO_FOR_EACH_EXPORT(KIVO_SDK_LINKED_ENTRY)
#undef KIVO_SDK_LINKED_ENTRY
  return table;
}

/// The library this module was linked with. The first call runs the self-check and throws
/// ExportTableError when the library is not the one these headers describe.
inline Library LinkedLibrary() {
  static const bool checked = (SelfCheck(LinkedExports()), true);
  (void)checked;
  return Library(LinkedExports());
}

}  // namespace kivo::sdk
