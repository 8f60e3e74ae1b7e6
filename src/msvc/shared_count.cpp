// The out-of-line members of libc++'s shared-pointer count, which its headers declare and its
// own DLL would define; the MSVC-ABI build takes only libc++'s headers.
// SPDX-License-Identifier: MIT
#include <memory>
#include <typeinfo>

_LIBCPP_BEGIN_NAMESPACE_STD

// Both counts are kept one below the number of owners: -1 means none is left.
__shared_count::~__shared_count() {}

__shared_weak_count::~__shared_weak_count() {}

void __shared_weak_count::__release_weak() noexcept {
  // The last weak owner (the shared owners together hold one) ends the count block.
  if (__atomic_add_fetch(&__shared_weak_owners_, -1, __ATOMIC_ACQ_REL) == -1) {
    __on_zero_shared_weak();
  }
}

const void* __shared_weak_count::__get_deleter(const type_info&) const noexcept { return nullptr; }

_LIBCPP_END_NAMESPACE_STD
