// The property-list value that requests and replies are made of: null, Boolean, integer,
// floating point, text, byte data, array and dictionary, each kept distinct. A dictionary keeps
// its entries in the order they came and its keys may be values of any kind.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace tarnel {

using Bytes = std::vector<std::uint8_t>;

class Value;
struct DictionaryEntry;

struct Null {
  bool operator==(const Null&) const = default;
};

using Array = std::vector<Value>;

// Entries in their own order; no two keys are equal (the transport refuses duplicates).
class Dictionary {
 public:
  // Defined below DictionaryEntry: clang instantiates the vector's members where these are
  // defined, and the entry type must be complete there.
  Dictionary();
  Dictionary(const Dictionary&);
  Dictionary(Dictionary&&) noexcept;
  Dictionary& operator=(const Dictionary&);
  Dictionary& operator=(Dictionary&&) noexcept;
  ~Dictionary();
  Dictionary(std::initializer_list<DictionaryEntry> entries);

  const std::vector<DictionaryEntry>& entries() const { return entries_; }
  bool empty() const;
  std::size_t size() const;

  // The value stored under the text key `key`, matched exactly; nullptr when there is none.
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  // The value stored under a key equal to `key`; nullptr when there is none.
  const Value* findKey(const Value& key) const;

  void append(Value key, Value value);

  bool operator==(const Dictionary&) const;

 private:
  std::vector<DictionaryEntry> entries_;
};

class Value {
 public:
  using Storage =
      std::variant<Null, bool, std::int64_t, double, std::string, Bytes, Array, Dictionary>;

  Value() = default;  // null
  Value(Null) {}
  template <std::same_as<bool> B>
  Value(B boolean) : storage_(boolean) {}
  template <std::integral I>
  requires(!std::same_as<I, bool> && !std::same_as<I, char>) Value(I integer)
      : storage_(static_cast<std::int64_t>(integer)) {}
  template <std::floating_point F>
  Value(F real) : storage_(static_cast<double>(real)) {}
  Value(std::string text) : storage_(std::move(text)) {}
  Value(std::string_view text) : storage_(std::string(text)) {}
  Value(const char* text) : storage_(std::string(text)) {}
  Value(Bytes data) : storage_(std::move(data)) {}
  Value(Array array) : storage_(std::move(array)) {}
  Value(Dictionary dictionary) : storage_(std::move(dictionary)) {}

  template <class T>
  bool is() const {
    return std::holds_alternative<T>(storage_);
  }
  // The alternative T, or nullptr when the value holds another kind.
  template <class T>
  const T* get() const {
    return std::get_if<T>(&storage_);
  }
  // The same, to move a large part out of a value that is done with.
  template <class T>
  T* get() {
    return std::get_if<T>(&storage_);
  }
  const Storage& storage() const { return storage_; }

  bool operator==(const Value& other) const { return storage_ == other.storage_; }

 private:
  Storage storage_;
};

struct DictionaryEntry {
  Value key;
  Value value;
  bool operator==(const DictionaryEntry&) const = default;
};

inline Dictionary::Dictionary() = default;
inline Dictionary::Dictionary(const Dictionary&) = default;
inline Dictionary::Dictionary(Dictionary&&) noexcept = default;
inline Dictionary& Dictionary::operator=(const Dictionary&) = default;
inline Dictionary& Dictionary::operator=(Dictionary&&) noexcept = default;
inline Dictionary::~Dictionary() = default;
inline bool Dictionary::empty() const { return entries_.empty(); }
inline std::size_t Dictionary::size() const { return entries_.size(); }

}  // namespace tarnel
