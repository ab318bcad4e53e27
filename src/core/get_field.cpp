#include "core/get_field.h"

namespace tarvik::core {

std::optional<std::string_view> GetField(std::string_view source, std::string& destination,
                                         char separator, std::size_t size, bool keepBlanks) {
  destination.clear();
  if (source.empty() || source.front() == '\r' || source.front() == '\n') return std::nullopt;

  std::string_view field;
  std::string_view rest;
  if (const auto sep = source.find(separator); sep != std::string_view::npos) {
    field = source.substr(0, sep);
    rest = source.substr(sep + 1);
  } else {
    field = source;
    while (!field.empty() && (field.back() == '\r' || field.back() == '\n')) field.remove_suffix(1);
    rest = source.substr(source.size());
  }

  const std::size_t keep = size == 0 ? 0 : size - 1;
  if (field.size() > keep) field = field.substr(0, keep);
  if (!keepBlanks) {
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  }
  destination.assign(field);
  return rest;
}

}  // namespace tarvik::core
