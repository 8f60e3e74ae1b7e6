// Export marker for the library's entry points.
// SPDX-License-Identifier: MIT
#pragma once

// KIVO_API marks the allocator functions that the library exports. Everything else the library
// defines stays hidden. Define KIVO_STATIC when linking the library's objects directly.
#if defined(KIVO_STATIC)
#define KIVO_API
#elif defined(_WIN32)
#if defined(KIVO_BUILDING_LIBRARY)
#define KIVO_API __declspec(dllexport)
#else
#define KIVO_API __declspec(dllimport)
#endif
#else
#define KIVO_API __attribute__((visibility("default")))
#endif
