#include "model/value.h"

#include <utility>

namespace tarnel {

Dictionary::Dictionary(std::initializer_list<DictionaryEntry> entries) : entries_(entries) {}

const Value* Dictionary::find(std::string_view key) const {
  for (const auto& entry : entries_) {
    if (const auto* text = entry.key.get<std::string>(); text && *text == key) return &entry.value;
  }
  return nullptr;
}

Value* Dictionary::find(std::string_view key) {
  return const_cast<Value*>(std::as_const(*this).find(key));
}

const Value* Dictionary::findKey(const Value& key) const {
  for (const auto& entry : entries_) {
    if (entry.key == key) return &entry.value;
  }
  return nullptr;
}

void Dictionary::append(Value key, Value value) {
  entries_.push_back(DictionaryEntry{std::move(key), std::move(value)});
}

bool Dictionary::operator==(const Dictionary& other) const { return entries_ == other.entries_; }

}  // namespace tarnel
