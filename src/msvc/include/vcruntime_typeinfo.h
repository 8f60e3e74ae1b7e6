// std::type_info and std::bad_cast in the shape of the Visual C++ run-time.
// SPDX-License-Identifier: MIT
#pragma once

#include <vcruntime_exception.h>

struct __std_type_info_data {
  const char* _UndecoratedName;
  const char _DecoratedName[1];
};

extern "C" {
__declspec(dllimport) int __cdecl __std_type_info_compare(const __std_type_info_data* left,
                                                          const __std_type_info_data* right);
__declspec(dllimport) unsigned long long __cdecl __std_type_info_hash(
    const __std_type_info_data* data);
}

// Type descriptors are laid out by the compiler: a pointer to this class's virtual table, a spare
// pointer, then the decorated name. The run-time compares them by that name.
class type_info {
 public:
  type_info(const type_info&) = delete;
  type_info& operator=(const type_info&) = delete;

  unsigned long long hash_code() const noexcept { return __std_type_info_hash(&_Data); }
  bool operator==(const type_info& other) const noexcept {
    return __std_type_info_compare(&_Data, &other._Data) == 0;
  }
  bool operator!=(const type_info& other) const noexcept { return !(*this == other); }
  bool before(const type_info& other) const noexcept {
    return __std_type_info_compare(&_Data, &other._Data) < 0;
  }
  const char* raw_name() const noexcept { return _Data._DecoratedName; }

  virtual ~type_info() noexcept;

 private:
  mutable __std_type_info_data _Data;
};

namespace std {

using ::type_info;

class bad_cast : public exception {
 public:
  bad_cast() noexcept : exception("bad cast", 1) {}
};

class bad_typeid : public exception {
 public:
  bad_typeid() noexcept : exception("bad typeid", 1) {}
};

}  // namespace std
