// ErrorText: what() of the exception an operation throws, for exact-text assertions.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace kivo::testing {

// Runs operation and returns what() of the Exception it throws, or "no exception". Any other
// exception passes through and fails the test.
template <class Exception, class Operation>
std::string ErrorText(Operation operation) {
  try {
    operation();
  } catch (const Exception& error) {
    return error.what();
  }
  return "no exception";
}

}  // namespace kivo::testing
