// KIVO_SDK_FIELDS: lets a plain struct travel as a record, one member per listed field.
// SPDX-License-Identifier: MIT
#pragma once

// List the fields once, in the struct's namespace, and the struct stores and reads like any
// value (kivo/sdk/record.h):
//
//   struct Location { double latitude = 0; double longitude = 0; };
//   KIVO_SDK_FIELDS(Location, latitude, longitude)
//
//   record.Set("station/location", Location{52.52, 13.405});
//   Location where = record.At<Location>("station/location");  // throws, naming the field
//
// Each field is stored under its own name; reading needs every field, of a type it converts to.
// Up to 16 fields; a field may be of any type a record stores, another such struct included.

#include <tuple>
#include <type_traits>
#include <utility>

namespace kivo::sdk::detail {

template <class S, class M>
struct Field {
  const char* name;
  M S::*member;
};

template <class S, class M>
constexpr Field<S, M> MakeField(const char* name, M S::*member) noexcept {
  return {name, member};
}

/// True when KIVO_SDK_FIELDS lists T's fields.
template <class T, class = void>
inline constexpr bool kHasFields = false;
template <class T>
inline constexpr bool
    kHasFields<T, std::void_t<decltype(KivoSdkFields(static_cast<const T*>(nullptr)))>> = true;

/// Calls f(name, object.field) for each listed field, in the listed order.
template <class T, class F>
void ForEachField(T& object, F&& f) {
  std::apply([&](const auto&... field) { (f(field.name, object.*(field.member)), ...); },
             KivoSdkFields(static_cast<const std::remove_const_t<T>*>(nullptr)));
}

}  // namespace kivo::sdk::detail

#define KIVO_SDK_FIELD_(Type, name) ::kivo::sdk::detail::MakeField(#name, &Type::name)
#define KIVO_SDK_EXPAND_(x) x
#define KIVO_SDK_MAP1_(T, a) KIVO_SDK_FIELD_(T, a)
#define KIVO_SDK_MAP2_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP1_(T, __VA_ARGS__))
#define KIVO_SDK_MAP3_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP2_(T, __VA_ARGS__))
#define KIVO_SDK_MAP4_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP3_(T, __VA_ARGS__))
#define KIVO_SDK_MAP5_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP4_(T, __VA_ARGS__))
#define KIVO_SDK_MAP6_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP5_(T, __VA_ARGS__))
#define KIVO_SDK_MAP7_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP6_(T, __VA_ARGS__))
#define KIVO_SDK_MAP8_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP7_(T, __VA_ARGS__))
#define KIVO_SDK_MAP9_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP8_(T, __VA_ARGS__))
#define KIVO_SDK_MAP10_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP9_(T, __VA_ARGS__))
#define KIVO_SDK_MAP11_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP10_(T, __VA_ARGS__))
#define KIVO_SDK_MAP12_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP11_(T, __VA_ARGS__))
#define KIVO_SDK_MAP13_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP12_(T, __VA_ARGS__))
#define KIVO_SDK_MAP14_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP13_(T, __VA_ARGS__))
#define KIVO_SDK_MAP15_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP14_(T, __VA_ARGS__))
#define KIVO_SDK_MAP16_(T, a, ...) \
  KIVO_SDK_FIELD_(T, a), KIVO_SDK_EXPAND_(KIVO_SDK_MAP15_(T, __VA_ARGS__))
#define KIVO_SDK_PICK_(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, N, \
                       ...)                                                                      \
  N
#define KIVO_SDK_MAP_(T, ...)                                                                      \
  KIVO_SDK_EXPAND_(KIVO_SDK_PICK_(__VA_ARGS__, KIVO_SDK_MAP16_, KIVO_SDK_MAP15_, KIVO_SDK_MAP14_,  \
                                  KIVO_SDK_MAP13_, KIVO_SDK_MAP12_, KIVO_SDK_MAP11_,               \
                                  KIVO_SDK_MAP10_, KIVO_SDK_MAP9_, KIVO_SDK_MAP8_, KIVO_SDK_MAP7_, \
                                  KIVO_SDK_MAP6_, KIVO_SDK_MAP5_, KIVO_SDK_MAP4_, KIVO_SDK_MAP3_,  \
                                  KIVO_SDK_MAP2_, KIVO_SDK_MAP1_, unused)(T, __VA_ARGS__))

// Lists the fields of Type that travel as members of a record; place it in Type's namespace.
#define KIVO_SDK_FIELDS(Type, ...)                            \
  [[maybe_unused]] inline auto KivoSdkFields(const Type*) {   \
    return std::make_tuple(KIVO_SDK_MAP_(Type, __VA_ARGS__)); \
  }
