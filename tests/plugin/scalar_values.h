// The values the test plugin stores, one of every scalar type: X(type, key, value).
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#define KIVO_TEST_SCALARS(X)                        \
  X(bool, "bool", true)                             \
  X(std::int8_t, "int8", -8)                        \
  X(std::uint8_t, "uint8", 200)                     \
  X(std::int16_t, "int16", -16000)                  \
  X(std::uint16_t, "uint16", 60000)                 \
  X(std::int32_t, "int32", -2000000000)             \
  X(std::uint32_t, "uint32", 4000000000u)           \
  X(std::int64_t, "int64", -9000000000000000000)    \
  X(std::uint64_t, "uint64", 18000000000000000000u) \
  X(float, "float", 1.5f)                           \
  X(double, "double", -0.25)
