// Placeholder until the typeless objects land.
#include <stdexcept>

#include "internal/factories.h"

namespace kivo::detail {

template <std::size_t N>
utility::ISharedInterface* NewUniqueTypelessTrivialObject() {
  throw std::logic_error("not built yet");
}
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<1>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<2>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<4>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<8>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<12>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<16>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<20>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<24>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<28>();
template utility::ISharedInterface* NewUniqueTypelessTrivialObject<32>();

utility::ISharedInterface* NewUniqueTypelessNonTrivialObject() {
  throw std::logic_error("not built yet");
}
utility::ISharedInterface* NewSharedTypelessObject() { throw std::logic_error("not built yet"); }

}  // namespace kivo::detail
