#include "script/variables.h"

#include <algorithm>

namespace tarvik::script {

int VariableTable::Find(std::string_view name) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name == name) return static_cast<int>(i);
  return -1;
}

int VariableTable::Define(std::string_view name, std::string_view value) {
  if (name.empty()) return -1;
  int index = Find(name);
  if (index < 0) {
    if (entries_.size() >= kVariableCapacity) return -1;
    entries_.push_back({std::string(name), {}, std::nullopt, 0});
    index = static_cast<int>(entries_.size() - 1);
  }
  Variable& v = entries_[static_cast<std::size_t>(index)];
  v.value = std::string(value);
  v.position.reset();
  v.counter = 0;
  return index;
}

void VariableTable::Delete(std::string_view name) {
  std::erase_if(entries_, [&](const Variable& v) { return v.name == name; });
}

std::string VariableTable::Value(std::string_view name) const {
  if (const Variable* v = Get(name)) return v->value;
  return std::string(name) + " undefined";
}

Variable* VariableTable::Get(std::string_view name) {
  const int i = Find(name);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)];
}

const Variable* VariableTable::Get(std::string_view name) const {
  const int i = Find(name);
  return i < 0 ? nullptr : &entries_[static_cast<std::size_t>(i)];
}

}  // namespace tarvik::script
