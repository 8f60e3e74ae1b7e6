// SelfCheck(): the library behind a table makes the objects this module expects.
// SPDX-License-Identifier: MIT
#pragma once

// Run once when a module binds the library (LinkedLibrary, LoadLibraryModule, a plugin's entry):
// every export creates one object, which must report the interface record, code and name alike,
// that this module's headers give its interface. A library of another contract fails here with a
// message instead of calling operations at the wrong slots later.

#include <cstring>
#include <string>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/export_table.h"

// Every export with the interface its objects implement: X(export, interface).
#define KIVO_SDK_FOR_EACH_EXPORT_INTERFACE(X)                                            \
  X(KivoCompoundObjectAllocator, containers::ICompoundObject)                            \
  X(KivoDoubleVectorObjectAllocator, containers::ITypedVectorObject<double>)             \
  X(KivoFloatVectorObjectAllocator, containers::ITypedVectorObject<float>)               \
  X(KivoInt16VectorObjectAllocator, containers::ITypedVectorObject<short>)               \
  X(KivoInt32VectorObjectAllocator, containers::ITypedVectorObject<int>)                 \
  X(KivoInt64VectorObjectAllocator, containers::ITypedVectorObject<long long>)           \
  X(KivoInt8VectorObjectAllocator, containers::ITypedVectorObject<signed char>)          \
  X(KivoSharedTypelessObjectAllocator, containers::ISharedTypelessObject)                \
  X(KivoStringObjectAllocator, containers::IStringObject)                                \
  X(KivoTypelessVectorObjectAllocator, containers::ITypelessVectorObject)                \
  X(KivoUInt16VectorObjectAllocator, containers::ITypedVectorObject<unsigned short>)     \
  X(KivoUInt32VectorObjectAllocator, containers::ITypedVectorObject<unsigned int>)       \
  X(KivoUInt64VectorObjectAllocator, containers::ITypedVectorObject<unsigned long long>) \
  X(KivoUInt8VectorObjectAllocator, containers::ITypedVectorObject<unsigned char>)       \
  X(KivoUniqueTypelessNonTrivialObjectAllocator, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_1, containers::IUniqueTypelessObject)       \
  X(KivoUniqueTypelessTrivialObjectAllocator_12, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_16, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_2, containers::IUniqueTypelessObject)       \
  X(KivoUniqueTypelessTrivialObjectAllocator_20, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_24, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_28, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_32, containers::IUniqueTypelessObject)      \
  X(KivoUniqueTypelessTrivialObjectAllocator_4, containers::IUniqueTypelessObject)       \
  X(KivoUniqueTypelessTrivialObjectAllocator_8, containers::IUniqueTypelessObject)

namespace kivo::sdk {
namespace detail {

/// Why the object that allocator makes is not one of I; empty when it is.
template <class I>
std::string ObjectProblem(const char* name, utility::ObjectAllocator allocator) {
  const utility::InterfaceId* expected = utility::InterfaceIdOf<I>();
  // Every library object implements IObject; I is not assumed before its record says so.
  utility::IObject* object = static_cast<utility::IObject*>(allocator());
  if (object == nullptr) return std::string(name) + " made no object";
  const utility::InterfaceId* seen = object->GetInterfaceId();
  std::string problem;
  if (seen == nullptr) {
    problem = std::string(name) + " made an object without an interface record";
  } else if (seen->code != expected->code || seen->name == nullptr ||
             std::strcmp(seen->name, expected->name) != 0) {
    problem = std::string(name) + " made an object of " +
              (seen->name != nullptr ? seen->name : "(no name)") + " (code " +
              std::to_string(seen->code) + "), but this module expects " + expected->name +
              " (code " + std::to_string(expected->code) + ")";
  }
  object->Destroy();
  return problem;
}

}  // namespace detail

/// Why the library behind table is not the one this module was built for; empty when it is.
/// Checks the table first (ExportTableProblem), then creates and ends one object per export.
inline std::string SelfCheckProblem(const ExportTable& table) {
  std::string problem = ExportTableProblem(&table);
#define KIVO_SDK_CHECK_EXPORT(Export, Interface)                       \
  if (problem.empty()) {                                               \
    problem = detail::ObjectProblem<Interface>(#Export, table.Export); \
  }
  KIVO_SDK_FOR_EACH_EXPORT_INTERFACE(KIVO_SDK_CHECK_EXPORT)
#undef KIVO_SDK_CHECK_EXPORT
  return problem;
}

/// Throws ExportTableError when the library behind table is not the one this module was built
/// for (see SelfCheckProblem).
inline void SelfCheck(const ExportTable& table) {
  std::string problem = SelfCheckProblem(table);
  if (!problem.empty()) throw ExportTableError("library self-check failed: " + problem);
}

}  // namespace kivo::sdk
