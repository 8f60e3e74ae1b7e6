// ExportTable: the library's 25 allocator functions as one plain table of function pointers.
// SPDX-License-Identifier: MIT
#pragma once

// A host that has bound the library hands this table to modules that do not link the library
// themselves (plugins built with another compiler or standard library). The table is standard
// layout and holds only function pointers, so its address may cross any module boundary. Its
// fields are named after the exports and follow their alphabetical order.

#include <cstddef>

#include "kivo/containers/exports.h"
#include "kivo/utility/object.h"

namespace kivo::sdk {

struct ExportTable {
#define KIVO_SDK_TABLE_FIELD(name) utility::ObjectAllocator name;
  KIVO_FOR_EACH_EXPORT(KIVO_SDK_TABLE_FIELD)
#undef KIVO_SDK_TABLE_FIELD
};

inline constexpr std::size_t kExportCount = sizeof(ExportTable) / sizeof(utility::ObjectAllocator);
static_assert(kExportCount == 25);

// Calls visit(name, field) for every entry of table, in field order; name is the export's name.
template <class Table, class Visit>
void ForEachExport(Table& table, Visit&& visit) {
#define KIVO_SDK_VISIT_FIELD(name) visit(#name, table.name);
  KIVO_FOR_EACH_EXPORT(KIVO_SDK_VISIT_FIELD)
#undef KIVO_SDK_VISIT_FIELD
}

// The name of the first entry of table that is null; null when every entry is set.
inline const char* FirstMissingExport(const ExportTable& table) noexcept {
  const char* missing = nullptr;
  ForEachExport(table, [&missing](const char* name, utility::ObjectAllocator allocator) {
    if (missing == nullptr && allocator == nullptr) missing = name;
  });
  return missing;
}

}  // namespace kivo::sdk
