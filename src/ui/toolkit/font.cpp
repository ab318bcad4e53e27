#include "ui/toolkit/font.h"

#include <charconv>

namespace tarvik::ui {

std::string FontSpec::serialize() const {
  std::string fam;
  for (char c : family)
    if (c != ',' && c != '\n' && c != '\r') fam += c;
  return fam + ',' + std::to_string(style) + ',' + std::to_string(size);
}

std::optional<FontSpec> FontSpec::deserialize(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.remove_suffix(1);
  const auto c1 = text.find(',');
  if (c1 == std::string_view::npos) return std::nullopt;
  const auto c2 = text.find(',', c1 + 1);
  if (c2 == std::string_view::npos) return std::nullopt;
  FontSpec f;
  f.family = std::string(text.substr(0, c1));
  if (f.family.empty()) return std::nullopt;
  auto number = [](std::string_view t, auto& out) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty();
  };
  if (!number(text.substr(c1 + 1, c2 - c1 - 1), f.style)) return std::nullopt;
  if (!number(text.substr(c2 + 1), f.size) || f.size <= 0) return std::nullopt;
  return f;
}

}  // namespace tarvik::ui
