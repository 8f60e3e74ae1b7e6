// Record, List and Value: the library's records, lists and values as C++ values with reasons.
// SPDX-License-Identifier: MIT
#pragma once

// A Record holds its Library, so calls name neither:
//
//   kivo::sdk::Record config(library, {{"name", "Greenhouse 7"}, {"id", 4711},
//                                      {"location", {{"latitude", 52.52}}}});
//   config.Set("readings/temperature_c", {21.5, 22.25});      // makes "readings" on the way
//   std::int64_t id = config.At<std::int64_t>("id");          // throws Error naming path and types
//   std::optional<double> lat = config.Get<double>("location/latitude");
//   for (const auto& [key, value] : config) std::puts(key.c_str());
//
// Reading: Find<T> answers a Result (the value or an Error with its Reason), Get<T> an optional,
// At<T> the value or throws the Error. T is std::string, bool, any integer or floating type (a
// stored number converts when the asked type holds it: integers exactly and within range, floating
// numbers within range), std::vector of such numbers or of other readable types, Record, List,
// Value, or a struct listed with KIVO_SDK_FIELDS.
// Writing: Set stores texts (null reads as ""), bool, numbers at their own width, numeric ranges
// and braced numbers as vectors, other ranges as lists, copies of Records, Lists and Values, and
// nested records from braced {key, value} pairs. It throws Error on a bad path or a path through a
// member that is not a record; TrySet answers a Status instead. Such a member is replaced only
// with PathMode::kReplaceNonRecords.
//
// Records, Lists and Values are handles: a copy refers to the same data (as a share of the
// library's value does), and a Record read from a path is the nested record itself, so changes
// made through it show in its parent. Clone() makes an independent deep copy; Set stores one.
// == compares data: numbers by value whatever their types, numeric vectors and lists element by
// element (so Dump and Parse round-trip to an equal record).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "kivo/containers/compound_object.h"
#include "kivo/containers/typed_vector_object.h"
#include "kivo/containers/typeless_object.h"
#include "kivo/sdk/dump.h"
#include "kivo/sdk/errors.h"
#include "kivo/sdk/fields.h"
#include "kivo/sdk/inspect.h"
#include "kivo/sdk/library.h"
#include "kivo/sdk/ptr.h"
#include "kivo/sdk/values.h"

namespace kivo::sdk {

class Value;
class Record;
class List;
struct Member;

/// What Set does with a member on the path that is not a record.
enum class PathMode {
  kStrict,             ///< fail with Reason::kThroughNonRecord
  kReplaceNonRecords,  ///< replace it with a new record
};

namespace detail {

template <class T>
constexpr bool IsTextType() noexcept {
  return std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view> ||
         std::is_same_v<T, const char*> || std::is_same_v<T, char*>;
}

template <class T, class = void>
struct RangeOf {};
template <class T>
struct RangeOf<T, std::void_t<decltype(std::begin(std::declval<const T&>())),
                              decltype(std::end(std::declval<const T&>()))>> {
  using value_type = std::decay_t<decltype(*std::begin(std::declval<const T&>()))>;
};

template <class T, class = void>
inline constexpr bool kIsRange = false;
template <class T>
inline constexpr bool kIsRange<T, std::void_t<typename RangeOf<T>::value_type>> = true;

template <class T, class = void>
inline constexpr bool kIsContiguous = false;
template <class T>
inline constexpr bool kIsContiguous<T, std::void_t<decltype(std::data(std::declval<const T&>())),
                                                   decltype(std::size(std::declval<const T&>()))>> =
    true;

template <class T>
struct IsStdVector : std::false_type {};
template <class E, class A>
struct IsStdVector<std::vector<E, A>> : std::true_type {};

/// True for what Set stores through Item's general constructor.
template <class T>
constexpr bool IsItem() noexcept {
  if constexpr (std::is_array_v<T> || IsTextType<T>()) {
    return false;  // texts have constructors of their own
  } else if constexpr (std::is_same_v<T, bool> || kIsNumber<T>) {
    return true;
  } else if constexpr (std::is_same_v<T, Record> || std::is_same_v<T, List> ||
                       std::is_same_v<T, Value>) {
    return true;
  } else if constexpr (kHasFields<T>) {
    return true;
  } else if constexpr (kIsRange<T>) {
    using E = typename RangeOf<T>::value_type;
    return IsTextType<E>() || IsItem<E>();
  } else {
    return false;
  }
}

std::optional<Error> CheckPath(std::string_view path);
Ptr<containers::ISharedTypelessObject> DeepCopyRecord(const Library& library,
                                                      const containers::ICompoundObject& record);
Ptr<containers::ISharedTypelessObject> DeepCopyList(const Library& library,
                                                    const containers::ITypelessVectorObject& list);

}  // namespace detail

/// A value for Set, Append and braced records; made implicitly from what it stores. It refers to
/// its argument, so it lives only as long as the call it is passed to.
class Item {
 public:
  /// Null: an empty value.
  Item(std::nullptr_t) noexcept : make_(&MakeNull) {}  // NOLINT: an empty value
  /// A text up to its first NUL.
  Item(const char* text) noexcept  // NOLINT
      : data_(text != nullptr ? text : ""),
        size_(text != nullptr ? std::strlen(text) : 0),
        make_(&MakeText) {}
  /// A text.
  Item(std::string_view text) noexcept  // NOLINT
      : data_(text.data() != nullptr ? text.data() : ""), size_(text.size()), make_(&MakeText) {}
  /// A text.
  Item(const std::string& text) noexcept  // NOLINT
      : data_(text.c_str()), size_(text.size()), make_(&MakeText) {}
  /// A scalar, a Record, List or Value (copied), or a std::vector of numbers.
  template <class T, class = std::enable_if_t<detail::IsItem<T>()>>
  Item(const T& value) noexcept : data_(&value), make_(&MakeFrom<T>) {}  // NOLINT
  /// A numeric vector.
  template <class N, class = std::enable_if_t<detail::kIsNumber<N>>>
  Item(std::initializer_list<N> numbers) noexcept  // NOLINT: a numeric vector
      : data_(numbers.begin()), size_(numbers.size()), make_(&MakeNumbers<N>) {}
  /// A braced record.
  Item(std::initializer_list<Member> members) noexcept;  // NOLINT: a record

  /// A new value holding what this item describes; the caller owns it.
  Ptr<containers::ISharedTypelessObject> Make(const Library& library) const {
    return make_(library, *this);
  }

 private:
  using Maker = Ptr<containers::ISharedTypelessObject> (*)(const Library&, const Item&);

  static Ptr<containers::ISharedTypelessObject> MakeNull(const Library& library, const Item&) {
    return MakeEmpty(library);
  }
  static Ptr<containers::ISharedTypelessObject> MakeText(const Library& library, const Item& item) {
    return sdk::MakeText(library,
                         std::string_view(static_cast<const char*>(item.data_), item.size_));
  }
  template <class N>
  static Ptr<containers::ISharedTypelessObject> MakeNumbers(const Library& library,
                                                            const Item& item) {
    return MakeVector(library, static_cast<const N*>(item.data_), item.size_);
  }
  static Ptr<containers::ISharedTypelessObject> MakeRecord(const Library& library,
                                                           const Item& item);
  template <class T>
  static Ptr<containers::ISharedTypelessObject> MakeFrom(const Library& library, const Item& item);

  const void* data_ = nullptr;
  std::size_t size_ = 0;
  Maker make_;
};

/// One member of a braced record: {"key", value}. The key is a path, as for Set.
struct Member {
  /// The key: a path.
  std::string_view key;
  /// The value.
  Item value;
};

inline Item::Item(std::initializer_list<Member> members) noexcept
    : data_(members.begin()), size_(members.size()), make_(&MakeRecord) {}

/// One value of a record or list: a share of it, read like a record member.
class Value {
 public:
  /// Takes ownership of value (may be null: then the Value is missing).
  Value(const Library& library, Ptr<containers::ISharedTypelessObject> value) noexcept
      : library_(library), value_(std::move(value)) {}
  /// A share of other's value.
  Value(const Value& other) : library_(other.library_), value_(Share(other.value_)) {}
  /// Shares other's value.
  Value& operator=(const Value& other) {
    if (this != &other) value_ = Share(other.value_);
    library_ = other.library_;
    return *this;
  }
  /// Takes other's value over.
  Value(Value&&) noexcept = default;
  /// Takes other's value over.
  Value& operator=(Value&&) noexcept = default;

  /// The value as T, or the Error why it is not one.
  template <class T>
  [[nodiscard]] Result<T> Find() const;
  /// The value as T; empty when it is not one.
  template <class T>
  [[nodiscard]] std::optional<T> Get() const {
    return Find<T>().optional();
  }
  /// The value as T; throws Error when it is not one.
  template <class T>
  [[nodiscard]] T As() const {
    return Find<T>().value();
  }
  /// The value's type.
  [[nodiscard]] ValueType Type() const {
    return detail::TypeOf(library_, detail::Inspect(value_.get()));
  }
  /// The value as JSON text.
  std::string Dump(int indent = 2) const { return sdk::Dump(value_.get(), indent); }

  /// The library's value; owned by this Value (null when missing).
  containers::ISharedTypelessObject* object() const noexcept { return value_.get(); }
  /// The library this Value creates objects with.
  const Library& library() const noexcept { return library_; }

  /// True when both hold the same data.
  friend bool operator==(const Value& a, const Value& b) {
    return detail::SameValue(a.value_.get(), b.value_.get());
  }
  /// Not ==.
  friend bool operator!=(const Value& a, const Value& b) { return !(a == b); }

 private:
  static Ptr<containers::ISharedTypelessObject> Share(
      const Ptr<containers::ISharedTypelessObject>& value) {
    return value ? Adopt(value->Share()) : nullptr;
  }

  Library library_;
  Ptr<containers::ISharedTypelessObject> value_;
};

/// A record of named members of any type, reached by paths such as "a/b/c".
class Record {
 public:
  class Iterator;

  /// A new empty record.
  explicit Record(const Library& library)
      : Record(library, MakeObjectValue(library, library.NewRecord())) {}
  /// A new record with members, set in order as by Set.
  Record(const Library& library, std::initializer_list<Member> members);
  /// Takes ownership of record.
  Record(const Library& library, Ptr<containers::ICompoundObject> record)
      : Record(library, MakeObjectValue(library, std::move(record))) {}
  /// Takes ownership of value, which must hold a record (Error kWrongType otherwise).
  Record(const Library& library, Ptr<containers::ISharedTypelessObject> value)
      : library_(library), holder_(std::move(value)) {
    record_ = holder_ ? PayloadAs<containers::ICompoundObject>(*holder_) : nullptr;
    if (record_ == nullptr) {
      throw Error(Reason::kWrongType, "",
                  "holds " + detail::TypeOf(library_, detail::Inspect(holder_.get())).ToString() +
                      ", asked for record");
    }
  }
  /// A Record that works on record without owning it; record must outlive it (and its copies).
  static Record View(const Library& library, containers::ICompoundObject& record) {
    return Record(library, nullptr, &record);
  }

  /// A share of other's record.
  Record(const Record& other)
      : library_(other.library_),
        holder_(other.holder_ ? Adopt(other.holder_->Share()) : nullptr),
        record_(other.record_) {}
  /// Shares other's record.
  Record& operator=(const Record& other) {
    Record copy(other);
    return *this = std::move(copy);
  }
  /// Takes other's record over.
  Record(Record&& other) noexcept
      : library_(other.library_),
        holder_(std::move(other.holder_)),
        record_(std::exchange(other.record_, nullptr)) {}
  /// Takes other's record over.
  Record& operator=(Record&& other) noexcept {
    library_ = other.library_;
    holder_ = std::move(other.holder_);
    record_ = std::exchange(other.record_, nullptr);
    return *this;
  }

  /// Stores a copy of value at path, making records on the way; throws Error when TrySet fails.
  Record& Set(std::string_view path, const Item& value, PathMode mode = PathMode::kStrict) {
    TrySet(path, value, mode).value();
    return *this;
  }
  /// Stores a copy of value at path, making records on the way. Fails with kBadPath, or with
  /// kThroughNonRecord when a member on the path is not a record (unless mode replaces it).
  [[nodiscard]] Status TrySet(std::string_view path, const Item& value,
                              PathMode mode = PathMode::kStrict) {
    if (std::optional<Error> bad = detail::CheckPath(path)) return *bad;
    const std::string full(path);
    if (mode == PathMode::kStrict) {
      for (std::size_t slash = full.find('/'); slash != std::string::npos;
           slash = full.find('/', slash + 1)) {
        const std::string head = full.substr(0, slash);
        if (!record_->Contains(head.c_str(), nullptr)) break;
        if (!record_->Contains(head.c_str(), detail::RecordTypeId())) {
          return Error(Reason::kThroughNonRecord, full,
                       "\"" + head + "\" holds " + TypeAt(head).ToString() +
                           "; PathMode::kReplaceNonRecords replaces it");
        }
      }
    }
    Ptr<containers::ISharedTypelessObject> made;
    try {
      made = value.Make(library_);  // a braced record may hold a bad path of its own
    } catch (const Error& error) {
      return error;
    }
    record_->Set(full.c_str(), made.get(), true);
    return {};
  }

  /// The member at path as T, or the Error why it is not one.
  template <class T>
  [[nodiscard]] Result<T> Find(std::string_view path) const;
  /// The member at path as T; empty when it is missing or not one.
  template <class T>
  [[nodiscard]] std::optional<T> Get(std::string_view path) const {
    return Find<T>(path).optional();
  }
  /// The member at path as T; throws Error when it is missing or not one.
  template <class T>
  [[nodiscard]] T At(std::string_view path) const {
    return Find<T>(path).value();
  }
  /// The member at path as a Value (a share of it); Error when there is none.
  [[nodiscard]] Result<Value> FindValue(std::string_view path) const {
    Result<Ptr<containers::ISharedTypelessObject>> found = Lookup(path);
    if (!found) return found.error();
    return Value(library_, std::move(found).value());
  }

  /// The type of the member at path; kind kMissing when there is none or the path is bad.
  [[nodiscard]] ValueType TypeAt(std::string_view path) const {
    Result<Ptr<containers::ISharedTypelessObject>> found = Lookup(path);
    if (!found) return ValueType{};
    return detail::TypeOf(library_, detail::Inspect(found->get()));
  }
  /// True when there is a member at path.
  [[nodiscard]] bool Contains(std::string_view path) const {
    return !detail::CheckPath(path) && record_->Contains(std::string(path).c_str(), nullptr);
  }
  /// Removes the member at path; kMissing (or the path's fault) when there is none.
  [[nodiscard]] Status Remove(std::string_view path) {
    Result<Ptr<containers::ISharedTypelessObject>> found = Lookup(path);
    if (!found) return found.error();
    record_->Remove(std::string(path).c_str());
    return {};
  }

  /// The direct keys in key order.
  std::vector<std::string> Keys() const { return RecordKeys(*record_); }
  /// The number of direct members.
  std::size_t Size() const { return record_->GetCount(); }
  /// True when there are no members.
  bool Empty() const { return record_->IsEmpty(); }

  /// Iterates (key, Value) pairs over the keys present when iteration starts.
  Iterator begin() const;
  /// Past the last member.
  Iterator end() const;

  /// An independent deep copy.
  [[nodiscard]] Record Clone() const {
    return Record(library_, detail::DeepCopyRecord(library_, *record_));
  }
  /// The library's merge: copies other's direct members in (replacing members of the same key when
  /// overwrite), nested records whole; answers how many it entered.
  std::uint64_t Merge(const Record& other, bool overwrite = true) {
    return record_->Merge(other.record_, overwrite);
  }
  /// Merges member by member: a record under a key both hold is merged into, anything else is
  /// replaced by a copy of other's.
  void MergeDeep(const Record& other) {
    if (record_ == other.record_) return;
    for (const std::string& key : other.Keys()) {
      Result<Record> mine = Find<Record>(key);
      Result<Record> theirs = other.Find<Record>(key);
      if (mine && theirs) {
        mine->MergeDeep(*theirs);
      } else if (Result<Value> value = other.FindValue(key)) {
        record_->Set(key.c_str(), detail::DeepCopy(library_, *value->object()).get(), true);
      }
    }
  }

  /// The record as JSON text.
  std::string Dump(int indent = 2) const { return sdk::Dump(record_, indent); }

  /// The library's record; owned by this Record's holders (or the viewed record's owner).
  containers::ICompoundObject& object() const noexcept { return *record_; }
  /// The library this Record creates objects with.
  const Library& library() const noexcept { return library_; }

  /// True when both hold the same data, member by member.
  friend bool operator==(const Record& a, const Record& b) {
    return detail::SameSeen(detail::SeenObject(Kind::kRecord, *a.record_),
                            detail::SeenObject(Kind::kRecord, *b.record_), 0);
  }
  /// Not ==.
  friend bool operator!=(const Record& a, const Record& b) { return !(a == b); }

 private:
  Record(const Library& library, std::nullptr_t, containers::ICompoundObject* record) noexcept
      : library_(library), record_(record) {}

  /// A share of the member at path, or why there is none.
  Result<Ptr<containers::ISharedTypelessObject>> Lookup(std::string_view path) const {
    if (std::optional<Error> bad = detail::CheckPath(path)) return *bad;
    const std::string full(path);
    Ptr<containers::ISharedTypelessObject> found(adopt, record_->GetConst(full.c_str(), nullptr));
    if (found) return found;
    std::size_t start = 0;
    for (std::size_t slash = full.find('/'); slash != std::string::npos;
         start = slash + 1, slash = full.find('/', start)) {
      const std::string head = full.substr(0, slash);
      if (!record_->Contains(head.c_str(), nullptr)) break;
      if (!record_->Contains(head.c_str(), detail::RecordTypeId())) {
        return Error(Reason::kThroughNonRecord, full,
                     "\"" + head + "\" holds " + TypeAt(head).ToString());
      }
    }
    const std::size_t end = full.find('/', start);
    std::string detail = "no member \"" + full.substr(start, end - start) + "\"";
    if (start != 0) detail += " in \"" + full.substr(0, start - 1) + "\"";
    return Error(Reason::kMissing, full, detail);
  }

  Library library_;
  Ptr<containers::ISharedTypelessObject> holder_;  ///< null for a view
  containers::ICompoundObject* record_;
};

/// Walks a Record's direct members in key order, as key and Value.
class Record::Iterator {
 public:
  /// Iterator traits.
  using iterator_category = std::input_iterator_tag;
  /// Iterator traits.
  using value_type = std::pair<std::string, Value>;
  /// Iterator traits.
  using difference_type = std::ptrdiff_t;
  /// Iterator traits.
  using pointer = void;
  /// Iterator traits.
  using reference = value_type;

  /// The member: its key and a Value.
  value_type operator*() const {
    const std::string& key = (*keys_)[index_];
    return {key, Value(record_->library_, Adopt(record_->record_->GetConst(key.c_str(), nullptr)))};
  }
  /// The next member.
  Iterator& operator++() {
    ++index_;
    return *this;
  }
  /// True at the same member.
  friend bool operator==(const Iterator& a, const Iterator& b) {
    return a.Done() == b.Done() && (a.Done() || a.index_ == b.index_);
  }
  /// Not ==.
  friend bool operator!=(const Iterator& a, const Iterator& b) { return !(a == b); }

 private:
  friend class Record;
  Iterator(const Record* record, std::shared_ptr<const std::vector<std::string>> keys)
      : record_(record), keys_(std::move(keys)) {}
  bool Done() const { return keys_ == nullptr || index_ >= keys_->size(); }

  const Record* record_;
  std::shared_ptr<const std::vector<std::string>> keys_;
  std::size_t index_ = 0;
};

inline Record::Iterator Record::begin() const {
  return Iterator(this, std::make_shared<const std::vector<std::string>>(Keys()));
}
inline Record::Iterator Record::end() const { return Iterator(this, nullptr); }

/// A list of values of any type, in order.
class List {
 public:
  class Iterator;

  /// A new empty list.
  explicit List(const Library& library)
      : List(library, MakeObjectValue(library, library.NewTypelessVector())) {}
  /// A new list holding copies of items, in order.
  List(const Library& library, std::initializer_list<Item> items) : List(library) {
    for (const Item& item : items) Append(item);
  }
  /// Takes ownership of value, which must hold a list (Error kWrongType otherwise).
  List(const Library& library, Ptr<containers::ISharedTypelessObject> value)
      : library_(library), holder_(std::move(value)) {
    list_ = holder_ ? PayloadAs<containers::ITypelessVectorObject>(*holder_) : nullptr;
    if (list_ == nullptr) {
      throw Error(Reason::kWrongType, "",
                  "holds " + detail::TypeOf(library_, detail::Inspect(holder_.get())).ToString() +
                      ", asked for list");
    }
  }
  /// A List that works on list without owning it; list must outlive it (and its copies).
  static List View(const Library& library, containers::ITypelessVectorObject& list) {
    return List(library, nullptr, &list);
  }

  /// A share of other's list.
  List(const List& other)
      : library_(other.library_),
        holder_(other.holder_ ? Adopt(other.holder_->Share()) : nullptr),
        list_(other.list_) {}
  /// Shares other's list.
  List& operator=(const List& other) {
    List copy(other);
    return *this = std::move(copy);
  }
  /// Takes other's list over.
  List(List&& other) noexcept
      : library_(other.library_),
        holder_(std::move(other.holder_)),
        list_(std::exchange(other.list_, nullptr)) {}
  /// Takes other's list over.
  List& operator=(List&& other) noexcept {
    library_ = other.library_;
    holder_ = std::move(other.holder_);
    list_ = std::exchange(other.list_, nullptr);
    return *this;
  }

  /// Appends a copy of value.
  List& Append(const Item& value) {
    Ptr<containers::ISharedTypelessObject> made = value.Make(library_);
    list_->PushBack(made.get());
    (void)made.release();  // the list took it over
    return *this;
  }

  /// The number of elements.
  std::size_t Size() const { return static_cast<std::size_t>(list_->GetSize()); }
  /// True when there are no elements.
  bool Empty() const { return Size() == 0; }

  /// The element at index as T, or the Error why it is not one.
  template <class T>
  [[nodiscard]] Result<T> Find(std::size_t index) const;
  /// The element at index as T; empty when it is not one.
  template <class T>
  [[nodiscard]] std::optional<T> Get(std::size_t index) const {
    return Find<T>(index).optional();
  }
  /// The element at index as T; throws Error when it is not one.
  template <class T>
  [[nodiscard]] T At(std::size_t index) const {
    return Find<T>(index).value();
  }
  /// The type of the element at index.
  [[nodiscard]] ValueType TypeAt(std::size_t index) const {
    return detail::TypeOf(library_, detail::Inspect(Element(index).get()));
  }
  /// Removes the element at index; kMissing past the end.
  [[nodiscard]] Status Remove(std::size_t index) {
    if (index >= Size() || !list_->RemoveAt(static_cast<std::int32_t>(index))) {
      return Error(Reason::kMissing, Where(index), "the list holds " + std::to_string(Size()));
    }
    return {};
  }

  /// The first element.
  Iterator begin() const;
  /// Past the last element.
  Iterator end() const;

  /// A deep copy.
  [[nodiscard]] List Clone() const {
    return List(library_, detail::DeepCopyList(library_, *list_));
  }
  /// The list as JSON text.
  std::string Dump(int indent = 2) const { return sdk::Dump(list_, indent); }
  /// The library's vector; owned by this List.
  containers::ITypelessVectorObject& object() const noexcept { return *list_; }
  /// The library this List creates objects with.
  const Library& library() const noexcept { return library_; }

  /// True when both hold the same data, element by element.
  friend bool operator==(const List& a, const List& b) {
    return detail::SameSeen(detail::SeenObject(Kind::kList, *a.list_),
                            detail::SeenObject(Kind::kList, *b.list_), 0);
  }
  /// Not ==.
  friend bool operator!=(const List& a, const List& b) { return !(a == b); }

 private:
  List(const Library& library, std::nullptr_t, containers::ITypelessVectorObject* list) noexcept
      : library_(library), list_(list) {}
  static std::string Where(std::size_t index) { return "[" + std::to_string(index) + "]"; }
  Ptr<containers::ISharedTypelessObject> Element(std::size_t index) const {
    if (index >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return nullptr;
    return Adopt(list_->GetAt(static_cast<std::int32_t>(index)));
  }

  Library library_;
  Ptr<containers::ISharedTypelessObject> holder_;
  containers::ITypelessVectorObject* list_;
};

/// Walks a List's elements as Values, in order.
class List::Iterator {
 public:
  /// Iterator traits.
  using iterator_category = std::input_iterator_tag;
  /// Iterator traits.
  using value_type = Value;
  /// Iterator traits.
  using difference_type = std::ptrdiff_t;
  /// Iterator traits.
  using pointer = void;
  /// Iterator traits.
  using reference = Value;

  /// The element.
  Value operator*() const { return Value(list_->library_, list_->Element(index_)); }
  /// The next element.
  Iterator& operator++() {
    ++index_;
    return *this;
  }
  /// True at the same element.
  friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }
  /// Not ==.
  friend bool operator!=(const Iterator& a, const Iterator& b) { return !(a == b); }

 private:
  friend class List;
  Iterator(const List* list, std::size_t index) : list_(list), index_(index) {}

  const List* list_;
  std::size_t index_;
};

inline List::Iterator List::begin() const { return Iterator(this, 0); }
inline List::Iterator List::end() const { return Iterator(this, Size()); }

namespace detail {

inline std::optional<Error> CheckPath(std::string_view path) {
  const char* fault = nullptr;
  if (path.empty()) {
    fault = "empty path";
  } else if (path.find('\0') != std::string_view::npos) {
    fault = "NUL byte";
  } else if (path.front() == '/') {
    fault = "leading slash";
  } else if (path.back() == '/') {
    fault = "trailing slash";
  } else if (path.find("//") != std::string_view::npos) {
    fault = "empty segment";
  }
  if (fault == nullptr) return std::nullopt;
  return Error(Reason::kBadPath, std::string(path), fault);
}

/// What a type is called in Error texts.
template <class T>
std::string AskedName() {
  if constexpr (std::is_same_v<T, std::string>) {
    return "text";
  } else if constexpr (std::is_same_v<T, bool> || kIsNumber<T>) {
    return ScalarName<T>();
  } else if constexpr (std::is_same_v<T, Record> || kHasFields<T>) {
    return "record";
  } else if constexpr (std::is_same_v<T, List>) {
    return "list";
  } else if constexpr (std::is_same_v<T, Value>) {
    return "value";
  } else if constexpr (IsStdVector<T>::value) {
    using E = typename T::value_type;
    if constexpr (kIsNumber<E>) {
      return std::string("numbers of ") + ScalarName<E>();
    } else {
      return "list of " + AskedName<E>();
    }
  } else {
    return "an unreadable type";
  }
}

template <class T>
inline constexpr bool kIsReadable =
    std::is_same_v<T, std::string> || std::is_same_v<T, bool> || kIsNumber<T> ||
    std::is_same_v<T, Record> || std::is_same_v<T, List> || std::is_same_v<T, Value> ||
    kHasFields<T> || IsStdVector<T>::value;

/// value (owned) read as T; where names it in errors.
template <class T>
Result<T> Convert(const Library& library, Ptr<containers::ISharedTypelessObject> value,
                  const std::string& where) {
  static_assert(kIsReadable<T>, "not a readable type; see kivo/sdk/record.h");
  const Inspection seen = Inspect(value.get());
  if (seen.kind == Kind::kMissing) return Error(Reason::kMissing, where, "no value");
  const auto wrong = [&] {
    return Error(Reason::kWrongType, where,
                 "holds " + TypeOf(library, seen).ToString() + ", asked for " + AskedName<T>());
  };
  if constexpr (std::is_same_v<T, Value>) {
    return Value(library, std::move(value));
  } else if constexpr (std::is_same_v<T, std::string>) {
    if (seen.kind != Kind::kText) return wrong();
    std::size_t size = 0;
    const char* text = TextOf(seen, &size);
    return std::string(text, size);
  } else if constexpr (std::is_same_v<T, bool>) {
    if (seen.kind != Kind::kBool) return wrong();
    return ScalarBool(seen);
  } else if constexpr (kIsNumber<T>) {
    if (!seen.IsScalarNumber()) return wrong();
    const Number n = ScalarNumber(seen);
    T out{};
    if (!FitExactly(n, &out)) {
      return Error(Reason::kNotRepresentable, where,
                   std::string(KindName(seen.kind)) + " " + n.ToString() + " does not fit " +
                       AskedName<T>());
    }
    return out;
  } else if constexpr (std::is_same_v<T, Record> || std::is_same_v<T, List>) {
    if (seen.kind != (std::is_same_v<T, Record> ? Kind::kRecord : Kind::kList)) return wrong();
    return T(library, std::move(value));
  } else if constexpr (IsStdVector<T>::value) {
    using E = typename T::value_type;
    T out;
    if constexpr (kIsNumber<E>) {
      if (seen.kind == Kind::kNumbers) {
        const std::size_t size = SequenceSize(seen);
        out.reserve(size);
        for (std::size_t i = 0; i < size; ++i) {
          E element{};
          Number n = NumberAt(seen, i);
          // The two 8-bit vectors share one record: their bytes read as the asked signedness.
          if (seen.element == Kind::kInt8 && std::is_unsigned_v<E>) {
            n = Number::Of(static_cast<std::uint8_t>(n.i));
          }
          if (!FitExactly(n, &element)) {
            return Error(Reason::kNotRepresentable, where + "[" + std::to_string(i) + "]",
                         std::string(KindName(seen.element)) + " " + n.ToString() +
                             " does not fit " + AskedName<E>());
          }
          out.push_back(element);
        }
        return out;
      }
    }
    if (seen.kind != Kind::kList) return wrong();
    const std::size_t size = SequenceSize(seen);
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
      Result<E> element =
          Convert<E>(library, ListElement(seen, i), where + "[" + std::to_string(i) + "]");
      if (!element) return element.error();
      out.push_back(std::move(element).value());
    }
    return out;
  } else {
    if (seen.kind != Kind::kRecord) return wrong();
    const auto& record = static_cast<const containers::ICompoundObject&>(*seen.object);
    T out{};
    std::optional<Error> failure;
    ForEachField(out, [&](const char* name, auto& field) {
      if (failure) return;
      using F = std::decay_t<decltype(field)>;
      const std::string path = where.empty() ? name : where + "/" + name;
      Ptr<containers::ISharedTypelessObject> member = Adopt(record.GetConst(name, nullptr));
      if (!member) {
        failure = Error(Reason::kMissing, path, std::string("no member \"") + name + "\"");
        return;
      }
      Result<F> read = Convert<F>(library, std::move(member), path);
      if (read) {
        field = std::move(read).value();
      } else {
        failure = read.error();
      }
    });
    if (failure) return *failure;
    return out;
  }
}

inline Ptr<containers::ISharedTypelessObject> DeepCopyRecord(
    const Library& library, const containers::ICompoundObject& record) {
  return DeepCopy(library, SeenObject(Kind::kRecord, record), nullptr);
}

inline Ptr<containers::ISharedTypelessObject> DeepCopyList(
    const Library& library, const containers::ITypelessVectorObject& list) {
  return DeepCopy(library, SeenObject(Kind::kList, list), nullptr);
}

}  // namespace detail

template <class T>
Result<T> Value::Find() const {
  return detail::Convert<T>(library_, Share(value_), "");
}

template <class T>
Result<T> Record::Find(std::string_view path) const {
  Result<Ptr<containers::ISharedTypelessObject>> found = Lookup(path);
  if (!found) return found.error();
  return detail::Convert<T>(library_, std::move(found).value(), std::string(path));
}

template <class T>
Result<T> List::Find(std::size_t index) const {
  Ptr<containers::ISharedTypelessObject> element = Element(index);
  if (!element) {
    return Error(Reason::kMissing, Where(index), "the list holds " + std::to_string(Size()));
  }
  return detail::Convert<T>(library_, std::move(element), Where(index));
}

inline Record::Record(const Library& library, std::initializer_list<Member> members)
    : Record(library) {
  for (const Member& member : members) Set(member.key, member.value);
}

inline Ptr<containers::ISharedTypelessObject> Item::MakeRecord(const Library& library,
                                                               const Item& item) {
  Ptr<containers::ICompoundObject> made = library.NewRecord();
  Record record = Record::View(library, *made);
  const auto* members = static_cast<const Member*>(item.data_);
  for (std::size_t i = 0; i < item.size_; ++i) record.Set(members[i].key, members[i].value);
  return MakeObjectValue(library, std::move(made));
}

template <class T>
Ptr<containers::ISharedTypelessObject> Item::MakeFrom(const Library& library, const Item& item) {
  const T& value = *static_cast<const T*>(item.data_);
  if constexpr (std::is_same_v<T, bool> || detail::kIsNumber<T>) {
    return MakeScalar(library, value);
  } else if constexpr (std::is_same_v<T, Record>) {
    return detail::DeepCopyRecord(library, value.object());
  } else if constexpr (std::is_same_v<T, List>) {
    return detail::DeepCopyList(library, value.object());
  } else if constexpr (std::is_same_v<T, Value>) {
    return value.object() != nullptr ? detail::DeepCopy(library, *value.object())
                                     : MakeEmpty(library);
  } else if constexpr (detail::kHasFields<T>) {
    Ptr<containers::ICompoundObject> made = library.NewRecord();
    Record record = Record::View(library, *made);
    detail::ForEachField(value,
                         [&](const char* name, const auto& field) { record.Set(name, field); });
    return MakeObjectValue(library, std::move(made));
  } else if constexpr (detail::kIsContiguous<T> &&
                       detail::kIsNumber<typename detail::RangeOf<T>::value_type>) {
    return MakeVector(library, std::data(value), std::size(value));
  } else {
    Ptr<containers::ITypelessVectorObject> made = library.NewTypelessVector();
    List list = List::View(library, *made);
    for (const auto& element : value) list.Append(element);
    return MakeObjectValue(library, std::move(made));
  }
}

}  // namespace kivo::sdk
