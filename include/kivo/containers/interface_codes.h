// The published code of every record, checked against the fold of its name at compile time.
// SPDX-License-Identifier: MIT
#pragma once

#include "kivo/containers/compound_object.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"

namespace kivo::containers {

/// Codes clients may rely on (for example in a switch over a payload's type).
inline constexpr std::uint32_t kStringObjectCode = 0x4D30261Du;
inline constexpr std::uint32_t kInt8VectorObjectCode = 0x23376257u;
inline constexpr std::uint32_t kInt16VectorObjectCode = 0x24135F52u;
inline constexpr std::uint32_t kUInt16VectorObjectCode = 0x126B4172u;
inline constexpr std::uint32_t kInt32VectorObjectCode = 0x20115F52u;
inline constexpr std::uint32_t kUInt32VectorObjectCode = 0x106B4176u;
inline constexpr std::uint32_t kInt64VectorObjectCode = 0x26145F52u;
inline constexpr std::uint32_t kUInt64VectorObjectCode = 0x156B4170u;
inline constexpr std::uint32_t kFloatVectorObjectCode = 0x69434450u;
inline constexpr std::uint32_t kDoubleVectorObjectCode = 0x5E7D5A07u;
inline constexpr std::uint32_t kTypelessVectorObjectCode = 0x753F3001u;
inline constexpr std::uint32_t kSharedTypelessObjectCode = 0x41330910u;
inline constexpr std::uint32_t kUniqueTypelessObjectCode = 0x57300117u;
inline constexpr std::uint32_t kCompoundObjectCode = 0x1A3E3047u;
inline constexpr std::uint32_t kVoidCode = 0x676B6E72u;

static_assert(utility::InterfaceCode<IStringObject>() == kStringObjectCode);
#define KIVO_CHECK_VECTOR_CODE(Element, Word, NameWord)                  \
  static_assert(utility::InterfaceCode<ITypedVectorObject<Element>>() == \
                k##NameWord##VectorObjectCode);
KIVO_FOR_EACH_NUMERIC_ELEMENT(KIVO_CHECK_VECTOR_CODE)
#undef KIVO_CHECK_VECTOR_CODE
static_assert(utility::InterfaceCode<ITypedVectorObject<ISharedTypelessObject>>() ==
              kTypelessVectorObjectCode);
static_assert(utility::InterfaceCode<ISharedTypelessObject>() == kSharedTypelessObjectCode);
static_assert(utility::InterfaceCode<IUniqueTypelessObject>() == kUniqueTypelessObjectCode);
static_assert(utility::InterfaceCode<ICompoundObject>() == kCompoundObjectCode);
static_assert(utility::InterfaceCode<void>() == kVoidCode);

}  // namespace kivo::containers
