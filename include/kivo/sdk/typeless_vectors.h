// Helpers for typeless vectors: build them from values and read their elements as new shares.
// SPDX-License-Identifier: MIT
#pragma once

// A typeless vector holds values of any type in order. It takes over each value appended to it and
// hands out new shares on access, which the reader owns; read them with the readers of values.h.
//
//   auto tags = kivo::sdk::MakeTypelessVector(library, kivo::sdk::MakeText(library, "warm"),
//                                             kivo::sdk::MakeScalar(library, 7));
//   for (auto& element : kivo::sdk::Elements(*tags)) { ... kivo::sdk::ReadText(*element) ... }

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "kivo/containers/typed_vector_object.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/ptr.h"

namespace kivo::sdk {

// Appends value to vector, which takes it over. If the append throws, value is ended.
inline void Append(containers::ITypelessVectorObject& vector,
                   Ptr<containers::ISharedTypelessObject> value) {
  vector.PushBack(value.get());
  (void)value.release();  // adopted by the vector once PushBack has returned
}

// A new typeless vector holding values, in order; takes ownership of each value. The caller owns
// the result.
template <class... Values>
Ptr<containers::ITypelessVectorObject> MakeTypelessVector(const Library& library,
                                                          Values&&... values) {
  Ptr<containers::ITypelessVectorObject> vector = library.NewTypelessVector();
  (Append(*vector, Ptr<containers::ISharedTypelessObject>(std::forward<Values>(values))), ...);
  return vector;
}

// A new share of the element at index, owned by the caller; empty for an invalid index.
inline Ptr<containers::ISharedTypelessObject> ElementAt(
    const containers::ITypelessVectorObject& vector, std::int32_t index) {
  return Ptr<containers::ISharedTypelessObject>(adopt, vector.GetAt(index));
}

// New shares of the elements reachable by index (the first 2^31 - 1), in order; the caller owns
// them.
inline std::vector<Ptr<containers::ISharedTypelessObject>> Elements(
    const containers::ITypelessVectorObject& vector) {
  const std::uint64_t size = vector.GetSize();
  const auto count = static_cast<std::int32_t>(size < std::numeric_limits<std::int32_t>::max()
                                                   ? size
                                                   : std::numeric_limits<std::int32_t>::max());
  std::vector<Ptr<containers::ISharedTypelessObject>> elements;
  elements.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) elements.push_back(ElementAt(vector, i));
  return elements;
}

}  // namespace kivo::sdk
