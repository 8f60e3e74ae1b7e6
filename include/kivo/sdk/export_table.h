// ExportTable: the library's 25 allocator functions and the scalar records, as one plain table.
// SPDX-License-Identifier: MIT
#pragma once

// A host that has bound the library hands this table to modules that do not link the library
// themselves (plugins built with another compiler or standard library). The table is standard
// layout and holds only numbers and pointers, so its address may cross any module boundary.
//
// It begins with its own size and the binary contract it was made for, so a module built against
// other headers refuses it with a message instead of calling the wrong function. The export
// fields are named after the exports and follow their alphabetical order. The scalar records
// belong to the module that filled the table (the host), so payloads labelled with them stay
// readable after the module that wrote them is unloaded.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "kivo/containers/exports.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo/utility/object.h"
#include "kivo/version.h"

namespace kivo::sdk {

/// The number of scalar types, and of scalar records in an ExportTable.
#define KIVO_SDK_COUNT_SCALAR(Type, Name, Kind) +1
inline constexpr std::size_t kScalarCount = 0 KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_COUNT_SCALAR);
#undef KIVO_SDK_COUNT_SCALAR

/// The table of the library's exports that a host hands to its plugins.
struct ExportTable {
  /// sizeof(ExportTable) in the module that filled the table.
  std::uint32_t size;
  /// KIVO_CONTRACT_VERSION of the module that filled the table.
  std::uint32_t contract;
#define KIVO_SDK_TABLE_FIELD(name) utility::ObjectAllocator name;
  KIVO_FOR_EACH_EXPORT(KIVO_SDK_TABLE_FIELD)
#undef KIVO_SDK_TABLE_FIELD
  /// The records that label scalar payloads, in the order of KIVO_SDK_FOR_EACH_SCALAR; they live
  /// as long as the module that filled the table.
  const utility::InterfaceId* scalar_types[kScalarCount];
};

/// The number of exports in an ExportTable.
#define KIVO_SDK_COUNT_EXPORT(name) +1
inline constexpr std::size_t kExportCount = 0 KIVO_FOR_EACH_EXPORT(KIVO_SDK_COUNT_EXPORT);
#undef KIVO_SDK_COUNT_EXPORT
static_assert(kExportCount == 25);

/// The position of T's record in ExportTable::scalar_types.
template <class T>
constexpr std::size_t ScalarIndex() noexcept {
  std::size_t index = 0;
  const std::uint32_t code = ScalarCode<T>();
  while (detail::kScalarCodes[index] != code) ++index;
  return index;
}

/// Calls visit(name, field) for every export entry of table, in field order; name is the
/// export's name.
template <class Table, class Visit>
void ForEachExport(Table& table, Visit&& visit) {
#define KIVO_SDK_VISIT_FIELD(name) visit(#name, table.name);
  KIVO_FOR_EACH_EXPORT(KIVO_SDK_VISIT_FIELD)
#undef KIVO_SDK_VISIT_FIELD
}

/// A table for this module's headers with every entry null; the caller sets the exports.
/// The scalar records are this module's own, so the table must not outlive this module.
inline ExportTable EmptyExportTable() noexcept {
  ExportTable table{};
  table.size = sizeof(ExportTable);
  table.contract = KIVO_CONTRACT_VERSION;
#define KIVO_SDK_SCALAR_RECORD(Type, Name, Kind) \
  table.scalar_types[ScalarIndex<Type>()] = ScalarTypeId<Type>();
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_SCALAR_RECORD)
#undef KIVO_SDK_SCALAR_RECORD
  return table;
}

/// The name of the first export entry of table that is null; null when every entry is set.
inline const char* FirstMissingExport(const ExportTable& table) noexcept {
  const char* missing = nullptr;
  ForEachExport(table, [&missing](const char* name, utility::ObjectAllocator allocator) {
    if (missing == nullptr && allocator == nullptr) missing = name;
  });
  return missing;
}

/// Why this module cannot use table (a null table, another size or contract version, a null
/// entry); empty when it can. Reads only the size and contract of a table made for another
/// contract.
inline std::string ExportTableProblem(const ExportTable* table) {
  if (table == nullptr) return "no export table";
  if (table->contract != KIVO_CONTRACT_VERSION || table->size != sizeof(ExportTable)) {
    return "the export table was made for binary contract " + std::to_string(table->contract) +
           " (" + std::to_string(table->size) + " bytes), but this module was built for contract " +
           std::to_string(KIVO_CONTRACT_VERSION) + " (" + std::to_string(sizeof(ExportTable)) +
           " bytes, version " KIVO_VERSION_STRING ")";
  }
  if (const char* missing = FirstMissingExport(*table)) {
    return std::string("the export table lacks the export ") + missing;
  }
  std::string missing;
#define KIVO_SDK_CHECK_RECORD(Type, Name, Kind)                                                    \
  if (missing.empty() && (table->scalar_types[ScalarIndex<Type>()] == nullptr ||                   \
                          table->scalar_types[ScalarIndex<Type>()]->code != ScalarCode<Type>())) { \
    missing = "the export table lacks the scalar record kivo::sdk::" #Name;                        \
  }
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_CHECK_RECORD)
#undef KIVO_SDK_CHECK_RECORD
  return missing;
}

/// A table that this module cannot use, or a library whose objects are not what this module
/// expects; what() says why.
class ExportTableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Throws ExportTableError when this module cannot use table (see ExportTableProblem).
inline void CheckExportTable(const ExportTable* table) {
  std::string problem = ExportTableProblem(table);
  if (!problem.empty()) throw ExportTableError(problem);
}

}  // namespace kivo::sdk
