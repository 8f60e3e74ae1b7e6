// Placeholder until the typeless vector lands.
#include <stdexcept>

#include "internal/factories.h"

namespace kivo::detail {

utility::ISharedInterface* NewTypelessVectorObject(utility::ObjectAllocator) {
  throw std::logic_error("not built yet");
}

}  // namespace kivo::detail
