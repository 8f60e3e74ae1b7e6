// Dump(): any library object as readable JSON text, for logs and debugging.
// SPDX-License-Identifier: MIT
#pragma once

// How each kind reads:
//   string object     "text"; bytes that are not UTF-8 appear as \u00XX, one per byte
//   numeric vector    [1, 2.5, 3] on one line; NaN and infinities as "NaN", "Infinity", "-Infinity"
//   typeless vector   [element, ...]
//   record            {"key": member, ...} in key order
//   typeless value    its payload: the payload object's dump; a scalar of scalar_types.h as a
//                     number or true/false; null when empty or labelled void; otherwise
//                     {"type": "<record name>"}
//   anything else     {"interface": "<record name>"}
// indent is the number of spaces per level; 0 writes everything on one line. Records nested deeper
// than kDumpMaxDepth (for instance a record that holds itself) end in "<nested too deep>".
//
// NOTE: The signed and unsigned 8-bit vectors report one record; both print as signed numbers.
// NOTE: A payload object must implement IObject, as every library object does.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/interface_codes.h"
#include "kivo/containers/string_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/scalar_types.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {

inline constexpr int kDumpMaxDepth = 100;

namespace detail {

/// The length of the UTF-8 sequence at text[0, size), or 0 when it is not one.
inline std::size_t Utf8SequenceLength(const unsigned char* text, std::size_t size) noexcept {
  const unsigned char lead = text[0];
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (length > size) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
  }
  /// Overlong three- and four-byte forms, surrogates and code points above U+10FFFF.
  if (lead == 0xE0 && text[1] < 0xA0) return 0;
  if (lead == 0xED && text[1] >= 0xA0) return 0;
  if (lead == 0xF0 && text[1] < 0x90) return 0;
  if (lead == 0xF4 && text[1] >= 0x90) return 0;
  return length;
}

class DumpWriter {
 public:
  explicit DumpWriter(int indent) : indent_(std::max(indent, 0)) {}

  std::string Take() { return std::move(out_); }

  void Object(const utility::IObject* object) {
    if (object == nullptr) {
      out_ += "null";
      return;
    }
    if (depth_ >= kDumpMaxDepth) {
      out_ += "\"<nested too deep>\"";
      return;
    }
    ++depth_;
    Dispatch(*object);
    --depth_;
  }

  void Text(const char* text, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    out_ += '"';
    for (std::size_t i = 0; i < size;) {
      const unsigned char byte = bytes[i];
      if (byte == '"' || byte == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(byte);
      } else if (byte == '\n') {
        out_ += "\\n";
      } else if (byte == '\t') {
        out_ += "\\t";
      } else if (byte == '\r') {
        out_ += "\\r";
      } else if (byte >= 0x20 && byte < 0x7F) {
        out_ += static_cast<char>(byte);
      } else if (const std::size_t length = Utf8SequenceLength(bytes + i, size - i)) {
        out_.append(text + i, length);
        i += length;
        continue;
      } else {
        out_ += "\\u00";
        out_ += kHex[byte >> 4];
        out_ += kHex[byte & 0xF];
      }
      ++i;
    }
    out_ += '"';
  }

 private:
  void Dispatch(const utility::IObject& object) {
    const utility::InterfaceId* id = object.GetInterfaceId();
    switch (id->code) {
      case containers::kStringObjectCode: {
        const auto& text = static_cast<const containers::IStringObject&>(object);
        const char* chars = text.GetString();  // a null text reads as ""
        Text(chars != nullptr ? chars : "",
             chars != nullptr ? static_cast<std::size_t>(text.GetLength()) : 0);
        return;
      }
      case containers::kTypelessVectorObjectCode:
        return Elements(static_cast<const containers::ITypelessVectorObject&>(object));
      case containers::kSharedTypelessObjectCode:
        return Payload(HeldUnique(static_cast<const containers::ISharedTypelessObject&>(object)));
      case containers::kUniqueTypelessObjectCode:
        return Payload(&static_cast<const containers::IUniqueTypelessObject&>(object));
      case containers::kCompoundObjectCode:
        return Members(static_cast<const containers::ICompoundObject&>(object));
      default:
        if (AnyOf(NumberVectorElements{}, [&](auto tag) {
              using E = typename decltype(tag)::type;
              if (id->code != utility::InterfaceCode<containers::ITypedVectorObject<E>>()) {
                return false;
              }
              Numbers<E>(object);
              return true;
            })) {
          return;
        }
        out_ += "{\"interface\": ";
        Text(id->name, std::strlen(id->name));
        out_ += '}';
    }
  }

  template <class T>
  void Numbers(const utility::IObject& object) {
    const auto& vector = static_cast<const containers::ITypedVectorObject<T>&>(object);
    const auto count = static_cast<std::size_t>(vector.GetSize());
    const T* elements = vector.GetData();
    out_ += '[';
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) out_ += ", ";
      Number(elements[i]);
    }
    out_ += ']';
  }

  template <class T>
  void Number(T value) {
    if constexpr (std::is_floating_point_v<T>) {
      if (std::isnan(value)) {
        out_ += "\"NaN\"";
        return;
      }
      if (std::isinf(value)) {
        out_ += value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
        return;
      }
      char buffer[64];
      const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
      out_.append(buffer, result.ptr);
    } else if constexpr (std::is_same_v<T, bool>) {
      out_ += value ? "true" : "false";
    } else if constexpr (std::is_signed_v<T>) {
      out_ += std::to_string(static_cast<long long>(value));
    } else {
      out_ += std::to_string(static_cast<unsigned long long>(value));
    }
  }

  void Elements(const containers::ITypelessVectorObject& vector) {
    const auto count = static_cast<std::size_t>(vector.GetSize());
    containers::ISharedTypelessObject* const* elements = vector.GetData();
    Open('[', count);
    for (std::size_t i = 0; i < count; ++i) {
      Item(i);
      Object(elements[i]);
    }
    Close(']', count);
  }

  void Members(const containers::ICompoundObject& record) {
    const std::vector<std::string> keys = RecordKeys(record);
    Open('{', keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      Item(i);
      Text(keys[i].data(), keys[i].size());
      out_ += ": ";
      Ptr<containers::ISharedTypelessObject> member(adopt,
                                                    record.GetConst(keys[i].c_str(), nullptr));
      Object(member.get());
    }
    Close('}', keys.size());
  }

  void Payload(const containers::IUniqueTypelessObject* unique) {
    if (unique == nullptr) {
      out_ += "null";
      return;
    }
    const void* data = unique->GetConstData();
    const bool inline_bytes = IsInlinePayload(unique, data);
    if (data != nullptr && !inline_bytes) {
      // A payload object speaks for itself, whatever its label says.
      Object(static_cast<const utility::IObject*>(
          static_cast<const utility::ISharedInterface*>(data)));
      return;
    }
    const utility::InterfaceId* type = unique->GetTypeId();
    if (type == nullptr) {
      out_ += "{\"type\": null}";
      return;
    }
    if (type->code == containers::kVoidCode) {
      out_ += "null";
      return;
    }
    if (inline_bytes && Scalar(type->code, data)) return;
    out_ += "{\"type\": ";
    Text(type->name, std::strlen(type->name));
    out_ += '}';
  }

  /// Writes the scalar at data when code is a scalar record's; false otherwise.
  bool Scalar(std::uint32_t code, const void* data) {
    return AnyOf(ScalarTypes{}, [&](auto tag) {
      using T = typename decltype(tag)::type;
      if (code != ScalarCode<T>()) return false;
      using Stored = std::conditional_t<std::is_same_v<T, bool>, std::uint8_t, T>;
      Stored stored;
      std::memcpy(&stored, data, sizeof(Stored));
      if constexpr (std::is_same_v<T, bool>) {
        Number(stored != 0);
      } else {
        Number(stored);
      }
      return true;
    });
  }

  void Open(char bracket, std::size_t count) {
    out_ += bracket;
    if (count != 0) ++level_;
  }

  void Item(std::size_t index) {
    if (index != 0) out_ += ',';
    if (indent_ > 0) {
      NewLine();
    } else if (index != 0) {
      out_ += ' ';
    }
  }

  void Close(char bracket, std::size_t count) {
    if (count != 0) {
      --level_;
      if (indent_ > 0) NewLine();
    }
    out_ += bracket;
  }

  void NewLine() {
    out_ += '\n';
    out_.append(static_cast<std::size_t>(level_ * indent_), ' ');
  }

  std::string out_;
  int indent_;
  int level_ = 0;
  int depth_ = 0;
};

}  // namespace detail

/// object as JSON text (see the table above); "null" for a null object. Reads object and everything
/// it holds without changing them; allocates only the shares a record hands out for its members.
inline std::string Dump(const utility::IObject* object, int indent = 2) {
  detail::DumpWriter writer(indent);
  writer.Object(object);
  return writer.Take();
}

/// object as JSON text; see above.
inline std::string Dump(const utility::IObject& object, int indent = 2) {
  return Dump(&object, indent);
}

}  // namespace kivo::sdk
