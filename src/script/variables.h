#pragma once
// The variable table of a channel's scripts: variables and labels share one
// table of at most 100 entries and one name space (names compared exactly).
// A label is an entry whose file position was set by a label line; its
// value and counter serve the loop command. The table lives as long as the
// channel and survives from one script to the next.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::script {

inline constexpr std::size_t kVariableCapacity = 100;

struct Variable {
  std::string name;
  std::string value;
  std::optional<long> position;  // set only by a label line
  long counter = 0;
};

class VariableTable {
 public:
  // Index of the entry, or -1.
  int Find(std::string_view name) const;
  // Creates or replaces (position and counter start again); -1 when the
  // table is full or the name is empty.
  int Define(std::string_view name, std::string_view value);
  // Removes every entry of that name.
  void Delete(std::string_view name);
  // The value, or "<name> undefined".
  std::string Value(std::string_view name) const;
  Variable* Get(std::string_view name);
  const Variable* Get(std::string_view name) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<Variable> entries_;
};

}  // namespace tarvik::script
