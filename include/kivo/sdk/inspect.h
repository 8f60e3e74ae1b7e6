// What a typeless value holds: its Kind, its ValueType, its numbers, deep copies and comparison.
// SPDX-License-Identifier: MIT
#pragma once

// The client layer reads a value by looking at it once (Inspect): a payload object is known by its
// own record (a text, a numeric vector, a list, a record, or an object of another interface), and
// inline bytes by their label (a scalar of scalar_types.h, or bytes of another type).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/interface_codes.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {

#define KIVO_SDK_SCALAR_KIND(Type, Name, K) k##K,
enum class Kind {
  kMissing,                                       ///< no value at all
  kEmpty,                                         ///< a value without payload, or labelled void
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_SCALAR_KIND)  // one kind per scalar type
  kText,
  kNumbers,  ///< a numeric vector
  kList,
  kRecord,
  kBytes,   ///< inline bytes labelled with another type
  kObject,  ///< a library object of another interface
};
#undef KIVO_SDK_SCALAR_KIND

/// The kind of scalars of T (T a scalar type).
template <class T>
constexpr Kind KindOf() noexcept {
  using Canonical = typename detail::CanonicalScalar<T>::type;
#define KIVO_SDK_KIND_OF(Type, Name, K) \
  if constexpr (std::is_same_v<Canonical, Type>) return Kind::k##K;
  KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_KIND_OF)
#undef KIVO_SDK_KIND_OF
  return Kind::kMissing;
}

/// The words for kind: "int64", "text", "record" ...
constexpr const char* KindName(Kind kind) noexcept {
  switch (kind) {
#define KIVO_SDK_KIND_NAME(Type, Name, K) \
  case Kind::k##K:                        \
    return #Name;
    KIVO_SDK_FOR_EACH_SCALAR(KIVO_SDK_KIND_NAME)
#undef KIVO_SDK_KIND_NAME
    case Kind::kMissing:
      return "missing";
    case Kind::kEmpty:
      return "empty";
    case Kind::kText:
      return "text";
    case Kind::kNumbers:
      return "numbers";
    case Kind::kList:
      return "list";
    case Kind::kRecord:
      return "record";
    case Kind::kBytes:
      return "bytes";
    case Kind::kObject:
      return "object";
  }
  return "unknown";
}

/// The type of a value as TypeAt tells it.
struct ValueType {
  /// What the value is.
  Kind kind = Kind::kMissing;
  Kind element = Kind::kMissing;  ///< kNumbers: the element's kind (8-bit vectors read as int8)
  std::size_t bytes = 0;          ///< kBytes: the payload size
  std::string name;               ///< kBytes: the label's name; kObject: the interface's name

  /// "int64", "numbers of double", "bytes of 16 (example::Point)", "object of example::IShape".
  std::string ToString() const {
    switch (kind) {
      case Kind::kNumbers:
        return std::string("numbers of ") + KindName(element);
      case Kind::kBytes:
        return "bytes of " + std::to_string(bytes) + " (" + name + ")";
      case Kind::kObject:
        return "object of " + name;
      default:
        return KindName(kind);
    }
  }

  /// True when both describe the same type.
  friend bool operator==(const ValueType& a, const ValueType& b) {
    return a.kind == b.kind && a.element == b.element && a.bytes == b.bytes && a.name == b.name;
  }
  /// Not ==.
  friend bool operator!=(const ValueType& a, const ValueType& b) { return !(a == b); }
};

namespace detail {

/// A number as read from a scalar or a vector element.
struct Number {
  enum Form { kSigned, kUnsigned, kFloating } form = kSigned;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  bool single = false;  ///< read from a float: compared at float precision

  template <class T>
  static Number Of(T value) {
    Number n;
    if constexpr (std::is_floating_point_v<T>) {
      n.form = kFloating;
      n.d = static_cast<double>(value);
      n.single = std::is_same_v<T, float>;
    } else if constexpr (std::is_signed_v<T>) {
      n.i = static_cast<std::int64_t>(value);
    } else {
      n.form = kUnsigned;
      n.u = static_cast<std::uint64_t>(value);
    }
    return n;
  }

  std::string ToString() const {
    if (form == kSigned) return std::to_string(i);
    if (form == kUnsigned) return std::to_string(u);
    return std::to_string(d);
  }
};

inline constexpr double kTwoTo63 = 9223372036854775808.0;

/// n as T when T holds it: an integer exactly, a floating number within T's range (NaN and
/// infinities fit only the floating types); false otherwise.
template <class T>
bool FitExactly(const Number& n, T* out) {
  using Limits = std::numeric_limits<T>;
  if constexpr (std::is_floating_point_v<T>) {
    if (n.form == Number::kFloating) {
      // Between floating types only the range counts: a double reads as the nearest float.
      if (std::isfinite(n.d) && std::fabs(n.d) > static_cast<double>(Limits::max())) return false;
      *out = static_cast<T>(n.d);
      return true;
    }
    // An integer fits when it survives the trip through T (checked in range before converting
    // back, and without long double, which is double on some compilers).
    const T value = n.form == Number::kSigned ? static_cast<T>(n.i) : static_cast<T>(n.u);
    const auto wide = static_cast<double>(value);
    if (n.form == Number::kSigned) {
      if (!(wide >= -kTwoTo63 && wide < kTwoTo63) || static_cast<std::int64_t>(wide) != n.i) {
        return false;
      }
    } else if (!(wide < 2 * kTwoTo63) || static_cast<std::uint64_t>(wide) != n.u) {
      return false;
    }
    *out = value;
    return true;
  } else {
    Number whole = n;
    if (n.form == Number::kFloating) {
      if (!std::isfinite(n.d) || std::trunc(n.d) != n.d) return false;
      if (n.d < 0) {
        if (n.d < -kTwoTo63) return false;
        whole.form = Number::kSigned;
        whole.i = static_cast<std::int64_t>(n.d);
      } else {
        if (n.d >= 2 * kTwoTo63) return false;
        whole.form = Number::kUnsigned;
        whole.u = static_cast<std::uint64_t>(n.d);
      }
    }
    if (whole.form == Number::kSigned) {
      if (whole.i < 0 && !Limits::is_signed) return false;
      if (whole.i < 0 && whole.i < static_cast<std::int64_t>(Limits::lowest())) return false;
      if (whole.i >= 0 && static_cast<std::uint64_t>(whole.i) > Limits::max()) return false;
      *out = static_cast<T>(whole.i);
    } else {
      if (whole.u > static_cast<std::uint64_t>(Limits::max())) return false;
      *out = static_cast<T>(whole.u);
    }
    return true;
  }
}

/// True when a and b are the same number; a float is compared at float precision, and NaN equals
/// NaN, so that a value equals its copy.
inline bool SameNumber(const Number& a, const Number& b) {
  if (a.form == Number::kFloating && b.form == Number::kFloating) {
    if (std::isnan(a.d) || std::isnan(b.d)) return std::isnan(a.d) && std::isnan(b.d);
    if (a.single || b.single) return static_cast<float>(a.d) == static_cast<float>(b.d);
    return a.d == b.d;
  }
  if (a.form == Number::kFloating || b.form == Number::kFloating) {
    const Number& floating = a.form == Number::kFloating ? a : b;
    const Number& whole = a.form == Number::kFloating ? b : a;
    if (whole.form == Number::kSigned) {
      std::int64_t value = 0;
      return FitExactly(floating, &value) && value == whole.i;
    }
    std::uint64_t value = 0;
    return FitExactly(floating, &value) && value == whole.u;
  }
  if (a.form == b.form) return a.form == Number::kSigned ? a.i == b.i : a.u == b.u;
  const Number& s = a.form == Number::kSigned ? a : b;
  const Number& u = a.form == Number::kSigned ? b : a;
  return s.i >= 0 && static_cast<std::uint64_t>(s.i) == u.u;
}

/// What Inspect found in a value.
struct Inspection {
  Kind kind = Kind::kMissing;
  Kind element = Kind::kMissing;                              ///< kNumbers
  const containers::IUniqueTypelessObject* unique = nullptr;  ///< kBytes, scalars
  const void* bytes = nullptr;                                ///< scalars: the inline payload
  const utility::IObject* object = nullptr;                   ///< payload objects

  bool IsScalarNumber() const {
    return kind != Kind::kBool && kind >= KindOf<std::int8_t>() && kind <= KindOf<double>();
  }
};

/// Calls f(TypeTag<T>{}) for the scalar type T of kind; false when kind is no scalar.
template <class F>
bool VisitScalar(Kind kind, F&& f) {
  return AnyOf(ScalarTypes{}, [&](auto tag) {
    using T = typename decltype(tag)::type;
    if (KindOf<T>() != kind) return false;
    f(tag);
    return true;
  });
}

/// Calls f(TypeTag<E>{}) for the numeric vector element type E of kind.
template <class F>
bool VisitElement(Kind kind, F&& f) {
  return AnyOf(NumberVectorElements{}, [&](auto tag) {
    using E = typename decltype(tag)::type;
    if (KindOf<E>() != kind) return false;
    f(tag);
    return true;
  });
}

inline Inspection Inspect(const containers::ISharedTypelessObject* value) {
  Inspection seen;
  if (value == nullptr) return seen;
  seen.kind = Kind::kEmpty;
  seen.unique = HeldUnique(*value);
  if (seen.unique == nullptr) return seen;
  const void* data = seen.unique->GetConstData();
  const bool inline_bytes = IsInlinePayload(seen.unique, data);
  if (data != nullptr && !inline_bytes) {
    seen.object =
        static_cast<const utility::IObject*>(static_cast<const utility::ISharedInterface*>(data));
    const std::uint32_t code = seen.object->GetInterfaceId()->code;
    if (code == containers::kStringObjectCode) {
      seen.kind = Kind::kText;
    } else if (code == containers::kCompoundObjectCode) {
      seen.kind = Kind::kRecord;
    } else if (code == containers::kTypelessVectorObjectCode) {
      seen.kind = Kind::kList;
    } else {
      seen.kind = Kind::kObject;
      AnyOf(NumberVectorElements{}, [&](auto tag) {
        using E = typename decltype(tag)::type;
        if (code != utility::InterfaceCode<containers::ITypedVectorObject<E>>()) return false;
        seen.kind = Kind::kNumbers;
        seen.element = KindOf<E>();
        return true;
      });
    }
    return seen;
  }
  const utility::InterfaceId* type = seen.unique->GetTypeId();
  if (type == nullptr || type->code == containers::kVoidCode) return seen;
  seen.kind = Kind::kBytes;
  if (!inline_bytes) return seen;
  seen.bytes = data;
  AnyOf(ScalarTypes{}, [&](auto tag) {
    using T = typename decltype(tag)::type;
    if (type->code != ScalarCode<T>()) return false;
    seen.kind = KindOf<T>();
    return true;
  });
  return seen;
}

/// The scalar at seen as a Number; seen must be a scalar number.
inline Number ScalarNumber(const Inspection& seen) {
  Number n;
  VisitScalar(seen.kind, [&](auto tag) {
    using T = typename decltype(tag)::type;
    T value;
    std::memcpy(&value, seen.bytes, sizeof(T));
    n = Number::Of(value);
  });
  return n;
}

inline bool ScalarBool(const Inspection& seen) {
  std::uint8_t byte = 0;
  std::memcpy(&byte, seen.bytes, 1);
  return byte != 0;
}

inline const char* TextOf(const Inspection& seen, std::size_t* size) {
  const auto& text = static_cast<const containers::IStringObject&>(*seen.object);
  const char* chars = text.GetString();
  *size = chars != nullptr ? static_cast<std::size_t>(text.GetLength()) : 0;
  return chars != nullptr ? chars : "";
}

/// The size of a numeric vector or list.
inline std::size_t SequenceSize(const Inspection& seen) {
  if (seen.kind == Kind::kList) {
    return static_cast<std::size_t>(
        static_cast<const containers::ITypelessVectorObject&>(*seen.object).GetSize());
  }
  std::size_t size = 0;
  VisitElement(seen.element, [&](auto tag) {
    using E = typename decltype(tag)::type;
    size = static_cast<std::size_t>(
        static_cast<const containers::ITypedVectorObject<E>&>(*seen.object).GetSize());
  });
  return size;
}

/// Element index of a numeric vector, as a Number.
inline Number NumberAt(const Inspection& seen, std::size_t index) {
  Number n;
  VisitElement(seen.element, [&](auto tag) {
    using E = typename decltype(tag)::type;
    n = Number::Of(
        static_cast<const containers::ITypedVectorObject<E>&>(*seen.object).GetData()[index]);
  });
  return n;
}

/// A new share of element index of a list; empty past the end.
inline Ptr<containers::ISharedTypelessObject> ListElement(const Inspection& seen,
                                                          std::size_t index) {
  const auto& list = static_cast<const containers::ITypelessVectorObject&>(*seen.object);
  if (index >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return nullptr;
  return Ptr<containers::ISharedTypelessObject>(adopt,
                                                list.GetAt(static_cast<std::int32_t>(index)));
}

/// The type of seen, with the names and sizes that TypeAt reports.
inline ValueType TypeOf(const Library& library, const Inspection& seen) {
  ValueType type;
  type.kind = seen.kind;
  type.element = seen.element;
  if (seen.kind == Kind::kObject) type.name = seen.object->GetInterfaceId()->name;
  if (seen.kind == Kind::kBytes) {
    const utility::InterfaceId* label = seen.unique->GetTypeId();
    type.name = label->name != nullptr ? label->name : "";
    // The size is not among the slots; a fresh payload of the same size is the one that copies.
    for (std::size_t size : kTrivialSizes) {
      if (library.NewUniqueBytes(size)->CopyFrom(seen.unique)) {
        type.bytes = size;
        break;
      }
    }
  }
  return type;
}

inline const utility::InterfaceId* RecordTypeId() noexcept {
  return utility::InterfaceIdOf<containers::ICompoundObject>();
}

/// Deepest nesting that comparisons and copies follow; a record that holds itself stops there.
inline constexpr int kMaxDepth = 100;

/// True when a and b hold the same data: numbers by value whatever their types, numeric vectors
/// and lists element by element, records member by member; other payloads by their Equals.
inline bool SameSeen(const Inspection& x, const Inspection& y, int depth);

inline bool SameValue(const containers::ISharedTypelessObject* a,
                      const containers::ISharedTypelessObject* b, int depth = 0) {
  return SameSeen(Inspect(a), Inspect(b), depth);
}

/// An inspection of a record or list object held by no value.
inline Inspection SeenObject(Kind kind, const utility::IObject& object) {
  Inspection seen;
  seen.kind = kind;
  seen.object = &object;
  return seen;
}

inline bool SameSeen(const Inspection& x, const Inspection& y, int depth) {
  if (depth > kMaxDepth) return false;
  if (x.IsScalarNumber() && y.IsScalarNumber()) {
    return SameNumber(ScalarNumber(x), ScalarNumber(y));
  }
  const auto sequence = [](Kind kind) { return kind == Kind::kNumbers || kind == Kind::kList; };
  if (sequence(x.kind) && sequence(y.kind)) {
    const std::size_t size = SequenceSize(x);
    if (size != SequenceSize(y)) return false;
    for (std::size_t i = 0; i < size; ++i) {
      if (x.kind == Kind::kNumbers && y.kind == Kind::kNumbers) {
        if (!SameNumber(NumberAt(x, i), NumberAt(y, i))) return false;
        continue;
      }
      // A list element against a vector's number: the element must be that number.
      const Inspection& numbers = x.kind == Kind::kNumbers ? x : y;
      const Inspection& list = x.kind == Kind::kNumbers ? y : x;
      Ptr<containers::ISharedTypelessObject> element = ListElement(list, i);
      if (numbers.kind == Kind::kNumbers) {
        const Inspection seen = Inspect(element.get());
        if (!seen.IsScalarNumber() || !SameNumber(ScalarNumber(seen), NumberAt(numbers, i))) {
          return false;
        }
      } else if (!SameValue(element.get(), ListElement(y, i).get(), depth + 1)) {
        return false;
      }
    }
    return true;
  }
  if (x.kind != y.kind) return false;
  switch (x.kind) {
    case Kind::kMissing:
    case Kind::kEmpty:
      return true;
    case Kind::kBool:
      return ScalarBool(x) == ScalarBool(y);
    case Kind::kText: {
      std::size_t xs = 0;
      std::size_t ys = 0;
      const char* xt = TextOf(x, &xs);
      const char* yt = TextOf(y, &ys);
      return xs == ys && std::memcmp(xt, yt, xs) == 0;
    }
    case Kind::kRecord: {
      const auto& xr = static_cast<const containers::ICompoundObject&>(*x.object);
      const auto& yr = static_cast<const containers::ICompoundObject&>(*y.object);
      if (&xr == &yr) return true;
      if (xr.GetCount() != yr.GetCount()) return false;
      for (const std::string& key : RecordKeys(xr)) {
        Ptr<containers::ISharedTypelessObject> xm(adopt, xr.GetConst(key.c_str(), nullptr));
        Ptr<containers::ISharedTypelessObject> ym(adopt, yr.GetConst(key.c_str(), nullptr));
        if (!ym || !SameValue(xm.get(), ym.get(), depth + 1)) return false;
      }
      return true;
    }
    default:
      return x.unique->Equals(y.unique);
  }
}

/// A deep copy of what seen shows (value, which may be null for a record or a list), owned by the
/// caller: records and lists are copied member by member (the library's own copy of a list shares
/// its elements).
inline Ptr<containers::ISharedTypelessObject> DeepCopy(
    const Library& library, const Inspection& seen, const containers::ISharedTypelessObject* value,
    int depth = 0) {
  if (depth < kMaxDepth && seen.kind == Kind::kRecord) {
    const auto& source = static_cast<const containers::ICompoundObject&>(*seen.object);
    Ptr<containers::ICompoundObject> copy = library.NewRecord();
    for (const std::string& key : RecordKeys(source)) {
      Ptr<containers::ISharedTypelessObject> member(adopt, source.GetConst(key.c_str(), nullptr));
      if (!member) continue;
      copy->Set(key.c_str(),
                DeepCopy(library, Inspect(member.get()), member.get(), depth + 1).get(), true);
    }
    return MakeObjectValue(library, std::move(copy));
  }
  if (depth < kMaxDepth && seen.kind == Kind::kList) {
    Ptr<containers::ITypelessVectorObject> copy = library.NewTypelessVector();
    for (std::size_t i = 0, size = SequenceSize(seen); i < size; ++i) {
      Ptr<containers::ISharedTypelessObject> element = ListElement(seen, i);
      Ptr<containers::ISharedTypelessObject> duplicate =
          element ? DeepCopy(library, Inspect(element.get()), element.get(), depth + 1) : nullptr;
      copy->PushBack(duplicate.get());
      (void)duplicate.release();  // the list took it over
    }
    return MakeObjectValue(library, std::move(copy));
  }
  if (value == nullptr) return MakeEmpty(library);
  Ptr<containers::ISharedTypelessObject> copy(
      adopt, static_cast<containers::ISharedTypelessObject*>(value->NewInstance()));
  copy->CopyFrom(value);
  return copy;
}

inline Ptr<containers::ISharedTypelessObject> DeepCopy(
    const Library& library, const containers::ISharedTypelessObject& value) {
  return DeepCopy(library, Inspect(&value), &value);
}

}  // namespace detail
}  // namespace kivo::sdk
