// std::exception and its allocation exceptions in the shape of the Visual C++ run-time.
// SPDX-License-Identifier: MIT
#pragma once

// A Visual C++ client catches by the decorated class name (.?AVexception@std@@ and so on), and
// its inline members read the fields directly, so these are classes (not structs) in namespace std
// with exactly this layout: the virtual-table pointer, then the message and whether to free it.
// Message copies go through vcruntime140.dll, so every module frees them on that one heap.

struct __std_exception_data {
  const char* _What;
  bool _DoFree;
};

extern "C" {
__declspec(dllimport) void __cdecl __std_exception_copy(const __std_exception_data* from,
                                                        __std_exception_data* to);
__declspec(dllimport) void __cdecl __std_exception_destroy(__std_exception_data* data);
}

namespace std {

class exception {
 public:
  exception() noexcept : _Data() {}
  explicit exception(const char* message) noexcept : _Data() {
    const __std_exception_data init = {message, true};
    __std_exception_copy(&init, &_Data);
  }
  // A message of static storage, not copied.
  exception(const char* message, int) noexcept : _Data() { _Data._What = message; }
  exception(const exception& other) noexcept : _Data() {
    __std_exception_copy(&other._Data, &_Data);
  }
  exception& operator=(const exception& other) noexcept {
    if (this != &other) {
      __std_exception_destroy(&_Data);
      __std_exception_copy(&other._Data, &_Data);
    }
    return *this;
  }
  virtual ~exception() noexcept { __std_exception_destroy(&_Data); }
  virtual const char* what() const { return _Data._What ? _Data._What : "Unknown exception"; }

 private:
  __std_exception_data _Data;
};

class bad_exception : public exception {
 public:
  bad_exception() noexcept : exception("bad exception", 1) {}
};

class bad_array_new_length;

class bad_alloc : public exception {
 public:
  bad_alloc() noexcept : exception("bad allocation", 1) {}

 private:
  friend class bad_array_new_length;
  explicit bad_alloc(const char* message) noexcept : exception(message, 1) {}
};

class bad_array_new_length : public bad_alloc {
 public:
  bad_array_new_length() noexcept : bad_alloc("bad array new length") {}
};

}  // namespace std
