// JSON for the client layer: Parse text into records and values, and bridge to nlohmann::json.
// SPDX-License-Identifier: MIT
#pragma once

// Only modules that want JSON include this header; it needs nlohmann::json (Debian:
// nlohmann-json3-dev), and the library itself never sees it.
//
//   kivo::sdk::Result<kivo::sdk::Record> config = kivo::sdk::Parse(library, text);
//   if (!config) std::puts(config.error().what());  // "line 3, column 7: bad JSON: ..."
//   nlohmann::json j = *config;                      // and back: RecordFromJson(library, j)
//
// How JSON becomes values: null an empty value, true/false a bool, an integer an int64 (a uint64
// above the int64 range), any other number a double, a string a text, an object a record, an
// array of numbers a numeric vector (int64, uint64 or double, the first that holds them all
// exactly), any other array a list. Texts and keys must not hold NUL bytes, nor keys a slash,
// and nesting stops at 100 levels: such input answers Reason::kBadJson.
//
// Dump then Parse gives a record == to the original for every record the layer makes with finite
// numbers and UTF-8 texts (NaN and infinities dump as texts; other bytes as \u00XX escapes).

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "kivo/sdk/errors.h"
#include "kivo/sdk/inspect.h"
#include "kivo/sdk/record.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {
namespace detail {

inline nlohmann::json NumberToJson(const Number& n) {
  if (n.form == Number::kSigned) return n.i;
  if (n.form == Number::kUnsigned) return n.u;
  return n.d;
}

inline nlohmann::json SeenToJson(const Inspection& seen, int depth) {
  if (seen.IsScalarNumber()) return NumberToJson(ScalarNumber(seen));
  switch (seen.kind) {
    case Kind::kBool:
      return ScalarBool(seen);
    case Kind::kText: {
      std::size_t size = 0;
      const char* text = TextOf(seen, &size);
      return std::string(text, size);
    }
    case Kind::kNumbers: {
      nlohmann::json array = nlohmann::json::array();
      for (std::size_t i = 0, size = SequenceSize(seen); i < size; ++i) {
        array.push_back(NumberToJson(NumberAt(seen, i)));
      }
      return array;
    }
    case Kind::kList: {
      nlohmann::json array = nlohmann::json::array();
      for (std::size_t i = 0, size = SequenceSize(seen); i < size; ++i) {
        Ptr<containers::ISharedTypelessObject> element = ListElement(seen, i);
        array.push_back(depth < kMaxDepth ? SeenToJson(Inspect(element.get()), depth + 1)
                                          : nlohmann::json());
      }
      return array;
    }
    case Kind::kRecord: {
      nlohmann::json object = nlohmann::json::object();
      const auto& record = static_cast<const containers::ICompoundObject&>(*seen.object);
      for (const std::string& key : RecordKeys(record)) {
        Ptr<containers::ISharedTypelessObject> member(adopt, record.GetConst(key.c_str(), nullptr));
        object[key] =
            depth < kMaxDepth ? SeenToJson(Inspect(member.get()), depth + 1) : nlohmann::json();
      }
      return object;
    }
    case Kind::kBytes:
      return {{"type", seen.unique->GetTypeId()->name}};
    case Kind::kObject:
      return {{"interface", seen.object->GetInterfaceId()->name}};
    default:
      return nullptr;
  }
}

/// The vector an all-number array makes, or null when the array is a list.
inline Ptr<containers::ISharedTypelessObject> NumbersFromJson(const Library& library,
                                                              const nlohmann::json& array) {
  bool all_signed = true;
  bool all_unsigned = true;
  bool all_double = true;
  for (const nlohmann::json& element : array) {
    if (element.is_number_integer() && !element.is_number_unsigned()) {
      all_unsigned = element.get<std::int64_t>() >= 0 && all_unsigned;
      double unused = 0;
      all_double = all_double && FitExactly(Number::Of(element.get<std::int64_t>()), &unused);
    } else if (element.is_number_unsigned()) {
      const auto value = element.get<std::uint64_t>();
      all_signed = all_signed && value <= std::uint64_t{std::numeric_limits<std::int64_t>::max()};
      all_double = all_double && value < (std::uint64_t{1} << 53);
    } else if (element.is_number_float()) {
      all_signed = all_unsigned = false;
    } else {
      return nullptr;
    }
  }
  if (array.empty() || !(all_signed || all_unsigned || all_double)) return nullptr;
  const auto make = [&](auto tag) {
    using T = decltype(tag);
    Ptr<containers::ITypedVectorObject<VectorElementT<T>>> vector =
        library.NewVector<VectorElementT<T>>();
    for (const nlohmann::json& element : array) vector->PushBack(element.get<T>());
    return MakeObjectValue(library, std::move(vector));
  };
  if (all_signed) return make(std::int64_t{});
  if (all_unsigned) return make(std::uint64_t{});
  return make(double{});
}

inline Result<Ptr<containers::ISharedTypelessObject>> FromJson(const Library& library,
                                                               const nlohmann::json& json,
                                                               const std::string& where,
                                                               int depth) {
  if (depth > kMaxDepth) {
    return Error(Reason::kBadJson, where, "nested deeper than " + std::to_string(kMaxDepth));
  }
  switch (json.type()) {
    case nlohmann::json::value_t::null:
      return MakeEmpty(library);
    case nlohmann::json::value_t::boolean:
      return MakeScalar(library, json.get<bool>());
    case nlohmann::json::value_t::number_integer:
      return MakeScalar(library, json.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
      const auto value = json.get<std::uint64_t>();
      if (value <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
        return MakeScalar(library, static_cast<std::int64_t>(value));
      }
      return MakeScalar(library, value);
    }
    case nlohmann::json::value_t::number_float:
      return MakeScalar(library, json.get<double>());
    case nlohmann::json::value_t::string: {
      const auto& text = json.get_ref<const std::string&>();
      if (text.find('\0') != std::string::npos) {
        return Error(Reason::kBadJson, where, "a text holds a NUL byte");
      }
      return MakeText(library, text);
    }
    case nlohmann::json::value_t::array: {
      if (Ptr<containers::ISharedTypelessObject> numbers = NumbersFromJson(library, json)) {
        return numbers;
      }
      Ptr<containers::ITypelessVectorObject> list = library.NewTypelessVector();
      std::size_t index = 0;
      for (const nlohmann::json& element : json) {
        Result<Ptr<containers::ISharedTypelessObject>> made =
            FromJson(library, element, where + "[" + std::to_string(index++) + "]", depth + 1);
        if (!made) return made.error();
        list->PushBack(made->get());
        (void)made->release();  // the list took it over
      }
      return MakeObjectValue(library, std::move(list));
    }
    case nlohmann::json::value_t::object: {
      Ptr<containers::ICompoundObject> record = library.NewRecord();
      for (const auto& [key, member] : json.items()) {
        const std::string path = where.empty() ? key : where + "/" + key;
        if (key.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
          return Error(Reason::kBadJson, path, "a key holds a slash or a NUL byte");
        }
        Result<Ptr<containers::ISharedTypelessObject>> made =
            FromJson(library, member, path, depth + 1);
        if (!made) return made.error();
        record->Set(key.c_str(), made->get(), true);
      }
      return MakeObjectValue(library, std::move(record));
    }
    default:
      return Error(Reason::kBadJson, where, "binary or discarded value");
  }
}

/// The JSON in text, or an Error with the line and column where it stops being JSON.
inline Result<nlohmann::json> ParseJson(std::string_view text) {
  try {
    return nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& error) {
    const std::size_t end = std::min(error.byte == 0 ? 0 : error.byte - 1, text.size());
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < end; ++i) {
      column = text[i] == '\n' ? 1 : column + 1;
      line += text[i] == '\n' ? 1 : 0;
    }
    std::string reason = error.what();
    const std::size_t colon = reason.find(": ", reason.find("parse error"));
    if (colon != std::string::npos) reason.erase(0, colon + 2);
    return Error(Reason::kBadJson, "", reason, line, column);
  } catch (const nlohmann::json::exception& error) {  // a number beyond double's range
    std::string reason = error.what();
    reason.erase(0, reason.find("] ") == std::string::npos ? 0 : reason.find("] ") + 2);
    return Error(Reason::kBadJson, "", reason);
  }
}

}  // namespace detail

/// value, record or list as nlohmann::json (numbers keep their sign and integrality; bytes and
/// objects of other interfaces become {"type": name} and {"interface": name}).
inline nlohmann::json ToJson(const Value& value) {
  return detail::SeenToJson(detail::Inspect(value.object()), 0);
}
inline nlohmann::json ToJson(const Record& record) {
  return detail::SeenToJson(detail::SeenObject(Kind::kRecord, record.object()), 0);
}
inline nlohmann::json ToJson(const List& list) {
  return detail::SeenToJson(detail::SeenObject(Kind::kList, list.object()), 0);
}

/// The hooks that let nlohmann::json take these types: nlohmann::json j = record;
inline void to_json(nlohmann::json& json, const Value& value) { json = ToJson(value); }
inline void to_json(nlohmann::json& json, const Record& record) { json = ToJson(record); }
inline void to_json(nlohmann::json& json, const List& list) { json = ToJson(list); }

/// A new value from json; kBadJson for what a value cannot hold.
inline Result<Value> ValueFromJson(const Library& library, const nlohmann::json& json) {
  Result<Ptr<containers::ISharedTypelessObject>> made = detail::FromJson(library, json, "", 0);
  if (!made) return made.error();
  return Value(library, std::move(made).value());
}

/// A new record from a JSON object; kWrongType for another JSON value.
inline Result<Record> RecordFromJson(const Library& library, const nlohmann::json& json) {
  if (!json.is_object()) {
    return Error(Reason::kWrongType, "",
                 std::string("holds a JSON ") + json.type_name() + ", asked for record");
  }
  Result<Value> value = ValueFromJson(library, json);
  if (!value) return value.error();
  return value->As<Record>();
}

/// The value in JSON text.
inline Result<Value> ParseValue(const Library& library, std::string_view text) {
  Result<nlohmann::json> json = detail::ParseJson(text);
  if (!json) return json.error();
  return ValueFromJson(library, *json);
}

/// The record in JSON text, which must hold an object.
inline Result<Record> Parse(const Library& library, std::string_view text) {
  Result<nlohmann::json> json = detail::ParseJson(text);
  if (!json) return json.error();
  return RecordFromJson(library, *json);
}

}  // namespace kivo::sdk
