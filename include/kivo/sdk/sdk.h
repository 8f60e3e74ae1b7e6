// The client layer in one include: Record, List and Value, owners, the library handle, the dump.
// SPDX-License-Identifier: MIT
#pragma once

// Header-only, C++17, no dependency beyond the standard library and the library's public
// interfaces. It reaches the library only through the exports and the interfaces' slots, so it
// works the same in a module built with another compiler or standard library.
//
// Add kivo/sdk/linked_library.h when the module links the library, or kivo/sdk/module_loader.h
// when it loads the library at run time, and kivo/sdk/json.h for JSON text and nlohmann::json.

#include "kivo/sdk/dump.h"
#include "kivo/sdk/errors.h"
#include "kivo/sdk/export_table.h"
#include "kivo/sdk/fields.h"
#include "kivo/sdk/inspect.h"
#include "kivo/sdk/interface_cast.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/record.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo/sdk/values.h"
