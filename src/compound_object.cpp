// Placeholder until the compound object lands.
#include <stdexcept>

#include "internal/factories.h"

namespace kivo::detail {

utility::ISharedInterface* NewCompoundObject() { throw std::logic_error("not built yet"); }

}  // namespace kivo::detail
