// Constructors of the concrete classes, called by the exports.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

#include "kivo/utility/object.h"

namespace kivo::detail {

utility::ISharedInterface* NewStringObject();

// allocator is the export that the vector calls from NewInstance.
template <class T>
utility::ISharedInterface* NewTypedVectorObject(utility::ObjectAllocator allocator);
utility::ISharedInterface* NewTypelessVectorObject(utility::ObjectAllocator allocator);

template <std::size_t N>
utility::ISharedInterface* NewUniqueTypelessTrivialObject();
utility::ISharedInterface* NewUniqueTypelessNonTrivialObject();
utility::ISharedInterface* NewSharedTypelessObject();

utility::ISharedInterface* NewCompoundObject();

}  // namespace kivo::detail
