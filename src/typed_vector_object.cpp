// Placeholder until the numeric vectors land.
#include <stdexcept>

#include "internal/factories.h"

namespace kivo::detail {

template <class T>
utility::ISharedInterface* NewTypedVectorObject(utility::ObjectAllocator) {
  throw std::logic_error("not built yet");
}

template utility::ISharedInterface* NewTypedVectorObject<signed char>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<unsigned char>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<short>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<unsigned short>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<int>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<unsigned int>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<long long>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<unsigned long long>(
    utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<float>(utility::ObjectAllocator);
template utility::ISharedInterface* NewTypedVectorObject<double>(utility::ObjectAllocator);

}  // namespace kivo::detail
