// The library's 25 exported allocator functions.
// SPDX-License-Identifier: MIT
#pragma once

// Each export creates one object of its class in the initial state and returns it as
// ISharedInterface*; the caller owns it and ends it with Destroy. Exports never return null and
// throw std::bad_alloc ("bad allocation") when memory is exhausted. Any thread may call them.

#include "kivo/containers/interface_codes.h"
#include "kivo/utility/export.h"
#include "kivo/utility/object.h"

#define KIVO_FOR_EACH_EXPORT(X)                  \
  X(KivoCompoundObjectAllocator)                 \
  X(KivoDoubleVectorObjectAllocator)             \
  X(KivoFloatVectorObjectAllocator)              \
  X(KivoInt16VectorObjectAllocator)              \
  X(KivoInt32VectorObjectAllocator)              \
  X(KivoInt64VectorObjectAllocator)              \
  X(KivoInt8VectorObjectAllocator)               \
  X(KivoSharedTypelessObjectAllocator)           \
  X(KivoStringObjectAllocator)                   \
  X(KivoTypelessVectorObjectAllocator)           \
  X(KivoUInt16VectorObjectAllocator)             \
  X(KivoUInt32VectorObjectAllocator)             \
  X(KivoUInt64VectorObjectAllocator)             \
  X(KivoUInt8VectorObjectAllocator)              \
  X(KivoUniqueTypelessNonTrivialObjectAllocator) \
  X(KivoUniqueTypelessTrivialObjectAllocator_1)  \
  X(KivoUniqueTypelessTrivialObjectAllocator_12) \
  X(KivoUniqueTypelessTrivialObjectAllocator_16) \
  X(KivoUniqueTypelessTrivialObjectAllocator_2)  \
  X(KivoUniqueTypelessTrivialObjectAllocator_20) \
  X(KivoUniqueTypelessTrivialObjectAllocator_24) \
  X(KivoUniqueTypelessTrivialObjectAllocator_28) \
  X(KivoUniqueTypelessTrivialObjectAllocator_32) \
  X(KivoUniqueTypelessTrivialObjectAllocator_4)  \
  X(KivoUniqueTypelessTrivialObjectAllocator_8)

extern "C" {
#define KIVO_DECLARE_EXPORT(name) KIVO_API kivo::utility::ISharedInterface* name();
KIVO_FOR_EACH_EXPORT(KIVO_DECLARE_EXPORT)
#undef KIVO_DECLARE_EXPORT
}
