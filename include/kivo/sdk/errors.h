// Why an operation of the client layer failed: Reason, the exception Error, and Result<T>.
// SPDX-License-Identifier: MIT
#pragma once

// Every operation that can fail has a checked form answering a Result (a value or an Error) and
// a throwing form. An Error names the reason, the path (or list index) and, where it applies, the
// stored and the asked type; its what() text says all of it in one line:
//
//   "station/idd": missing (no member "idd" in "station")
//   "station/id": wrong type: holds int64, asked for text
//   "count": not representable: int64 300 does not fit int8
//   "a//b": bad path: empty segment

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

namespace kivo::sdk {

enum class Reason {
  kMissing,           ///< no member at the path, or no element at the index
  kWrongType,         ///< the value is of another type than the one asked for
  kNotRepresentable,  ///< a number that the asked type cannot hold exactly
  kBadPath,           ///< an empty path or segment, a leading or trailing slash, a NUL byte
  kThroughNonRecord,  ///< the path runs through a member that is not a record
  kBadJson,           ///< JSON text that does not parse, or holds what a record cannot
};

/// The words for reason, as they appear in Error texts.
constexpr const char* ReasonText(Reason reason) noexcept {
  switch (reason) {
    case Reason::kMissing:
      return "missing";
    case Reason::kWrongType:
      return "wrong type";
    case Reason::kNotRepresentable:
      return "not representable";
    case Reason::kBadPath:
      return "bad path";
    case Reason::kThroughNonRecord:
      return "path runs through a non-record member";
    case Reason::kBadJson:
      return "bad JSON";
  }
  return "unknown";
}

/// What went wrong in the client layer: a Reason, the path it concerns, and the details.
class Error : public std::runtime_error {
 public:
  /// An error for reason at where (a path, "[3]" for a list index, or empty), with detail saying
  /// more; line and column locate a JSON error (1-based, 0 when they do not apply).
  Error(Reason reason, std::string where, const std::string& detail, std::size_t line = 0,
        std::size_t column = 0)
      : std::runtime_error(Describe(reason, where, detail, line, column)),
        reason_(reason),
        where_(std::move(where)),
        line_(line),
        column_(column) {}

  /// Why it failed.
  Reason reason() const noexcept { return reason_; }
  /// The path or index the error is about; empty for the value itself.
  const std::string& where() const noexcept { return where_; }
  /// The line of a text being read where it failed (1-based; 0 when none).
  std::size_t line() const noexcept { return line_; }
  /// The column of that line (1-based; 0 when none).
  std::size_t column() const noexcept { return column_; }

 private:
  static std::string Describe(Reason reason, const std::string& where, const std::string& detail,
                              std::size_t line, std::size_t column) {
    std::string text;
    if (line != 0)
      text = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": ";
    if (!where.empty()) text += "\"" + where + "\": ";
    text += ReasonText(reason);
    if (!detail.empty())
      text += (reason == Reason::kMissing ? " (" : ": ") + detail +
              (reason == Reason::kMissing ? ")" : "");
    return text;
  }

  Reason reason_;
  std::string where_;
  std::size_t line_;
  std::size_t column_;
};

/// A T or the Error that kept it from being made.
template <class T>
class [[nodiscard]] Result {
 public:
  /// A value.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  /// A failure.
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT

  /// True when it holds a value.
  bool ok() const noexcept { return state_.index() == 0; }
  /// True when it holds a value.
  explicit operator bool() const noexcept { return ok(); }

  /// The value; throws the Error when there is none.
  T& value() & {
    ThrowIfError();
    return std::get<0>(state_);
  }
  /// The value; throws the Error when there is none.
  const T& value() const& {
    ThrowIfError();
    return std::get<0>(state_);
  }
  /// The value, moved out; throws the Error when there is none.
  T&& value() && {
    ThrowIfError();
    return std::get<0>(std::move(state_));
  }
  /// The value; it must be there.
  T& operator*() & { return value(); }
  /// The value; it must be there.
  const T& operator*() const& { return value(); }
  /// The value; it must be there.
  T* operator->() { return &value(); }
  /// The value; it must be there.
  const T* operator->() const { return &value(); }

  /// The value, or nullopt when there is none.
  std::optional<T> optional() && {
    if (!ok()) return std::nullopt;
    return std::get<0>(std::move(state_));
  }

  /// The error; the Result must hold one.
  const Error& error() const { return std::get<1>(state_); }

 private:
  void ThrowIfError() const {
    if (!ok()) throw std::get<1>(state_);
  }

  std::variant<T, Error> state_;
};

/// The outcome of an operation that gives no value: success or an Error.
class [[nodiscard]] Status {
 public:
  Status() noexcept = default;
  /// A failure.
  Status(Error error) : error_(std::move(error)) {}  // NOLINT

  /// True on success.
  bool ok() const noexcept { return !error_.has_value(); }
  /// True on success.
  explicit operator bool() const noexcept { return ok(); }
  /// The error; the Status must hold one.
  const Error& error() const { return *error_; }
  /// Throws the error, if any.
  void value() const {
    if (error_) throw *error_;
  }

 private:
  std::optional<Error> error_;
};

}  // namespace kivo::sdk
