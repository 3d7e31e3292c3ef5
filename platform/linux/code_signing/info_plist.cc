#include "platform/linux/code_signing/info_plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace tarnel::linux_platform {

namespace {

constexpr int kMaxDepth = 32;

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// libplist hands out copies of strings and data that the caller frees.
struct CFree {
  void operator()(char* text) const { std::free(text); }
};
using CString = std::unique_ptr<char, CFree>;

std::optional<Value> convert(plist_t node, int depth);

std::optional<Dictionary> convertDictionary(plist_t node, int depth) {
  Dictionary dictionary;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(node, &iterator);
  if (!iterator) return std::nullopt;
  const std::unique_ptr<void, decltype(&std::free)> ownedIterator(iterator, &std::free);
  while (true) {
    char* rawKey = nullptr;
    plist_t item = nullptr;
    plist_dict_next_item(node, iterator, &rawKey, &item);
    const CString key(rawKey);
    if (!item) break;
    if (!key) return std::nullopt;
    auto value = convert(item, depth + 1);
    if (!value) return std::nullopt;
    dictionary.append(std::string(key.get()), std::move(*value));
  }
  return dictionary;
}

std::optional<Value> convert(plist_t node, int depth) {
  if (depth > kMaxDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return Value(value != 0);
    }
    case PLIST_UINT: {
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      // libplist keeps negative integers in two's complement.
      return Value(static_cast<std::int64_t>(value));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return Value(value);
    }
    case PLIST_STRING: {
      char* raw = nullptr;
      plist_get_string_val(node, &raw);
      const CString text(raw);
      if (!text) return std::nullopt;
      return Value(std::string(text.get()));
    }
    case PLIST_DATA: {
      char* raw = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &raw, &length);
      const CString data(raw);
      if (!data && length > 0) return std::nullopt;
      const auto* begin = reinterpret_cast<const std::uint8_t*>(data.get());
      return Value(Bytes(begin, begin + length));
    }
    case PLIST_ARRAY: {
      Array array;
      const std::uint32_t count = plist_array_get_size(node);
      for (std::uint32_t i = 0; i < count; ++i) {
        auto item = convert(plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        array.push_back(std::move(*item));
      }
      return Value(std::move(array));
    }
    case PLIST_DICT: {
      auto dictionary = convertDictionary(node, depth);
      if (!dictionary) return std::nullopt;
      return Value(std::move(*dictionary));
    }
    default:
      // Dates and keyed-archive identifiers have no counterpart among the helper's values; they
      // are present but never equal to a text.
      return Value();
  }
}

}  // namespace

std::optional<Dictionary> parseInfoDictionary(std::span<const std::uint8_t> xml) {
  if (xml.empty() || xml.size() > kMaxInfoPlistLength) return std::nullopt;
  // libplist ends the process when it is asked for a string that holds a NUL character (its
  // getter asserts that the length it keeps is that of the C string); XML can carry one only as a
  // raw byte, which XML does not allow.
  if (std::ranges::find(xml, 0) != xml.end()) return std::nullopt;
  plist_t raw = nullptr;
  plist_from_xml(reinterpret_cast<const char*>(xml.data()), static_cast<std::uint32_t>(xml.size()),
                 &raw);
  const PlistPtr root(raw);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
  return convertDictionary(root.get(), 0);
}

}  // namespace tarnel::linux_platform
