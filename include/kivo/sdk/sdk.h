// The client layer in one include: owners, the library handle, typed helpers and the dump.
// SPDX-License-Identifier: MIT
#pragma once

// Header-only, C++17, no dependency beyond the standard library and the library's public
// interfaces. It reaches the library only through the exports and the interfaces' slots, so it
// works the same in a module built with another compiler or standard library.
//
// Add kivo/sdk/linked_library.h when the module links the library, or kivo/sdk/module_loader.h
// when it loads the library at run time.

#include "kivo/sdk/dump.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/interface_cast.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/payload_ref.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/records.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo/sdk/typeless_vectors.h"
#include "kivo/sdk/values.h"
