// StringObject: the library's IStringObject.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "internal/shared_implementation.h"
#include "internal/text_storage.h"
#include "kivo/containers/string_object.h"

namespace kivo::containers {

class StringObject final : public utility::SharedImplementation<IStringObject> {
 public:
  bool CopyFrom(const utility::IObject* other) override;
  bool Equals(const utility::IObject* other) const override;
  utility::IObject* NewInstance() const override;
  std::uint64_t GetLength() const override;
  void SetString(const char* text) override;
  const char* GetString() const override;

  // The bytes the text may grow to without a new block (15 while inline).
  std::uint64_t GetCapacity() const noexcept { return text.capacity(); }

 private:
  detail::TextStorage text;
};

}  // namespace kivo::containers
