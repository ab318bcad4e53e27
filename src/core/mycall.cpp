#include "core/mycall.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "core/get_field.h"
#include "core/number.h"

namespace tarvik::core {
namespace {

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A list entry counts only when it is a plain number: "3", " 3", "+3".
std::optional<int> ssidNumber(std::string_view text) {
  if (!HasNumber(text)) return std::nullopt;
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i != text.size()) return std::nullopt;
  return ParseInt32(text);
}

bool validSsid(int ssid) { return ssid >= 0 && ssid < kSsidCount; }

}  // namespace

MyCall ParseMyCall(std::string_view value) {
  const std::string text = upper(value);
  MyCall call;
  call.callWithSsid = text.substr(0, text.find(','));
  if (call.callWithSsid.size() > kCallWithSsidCapacity) {
    call.callWithSsid.resize(kCallWithSsidCapacity);
  }
  const auto dash = text.find('-');
  call.baseCall = text.substr(0, std::min(dash, kBaseCallCapacity));

  if (dash == std::string::npos) {
    call.ssidMask[0] = '1';
    return call;
  }
  std::string_view list = std::string_view(text).substr(dash + 1);
  list = list.substr(0, list.find(' '));

  std::string field;
  auto rest = GetField(list, field, ',', list.size() + 1);
  if (field == "*") {
    call.ssidMask.assign(kSsidCount, '1');
  } else {
    const auto first = ssidNumber(field);
    call.defaultSsid = first && validSsid(*first) ? *first : 0;
    call.ssidMask[static_cast<std::size_t>(call.defaultSsid)] = '1';
  }
  while (rest && !rest->empty()) {
    rest = GetField(*rest, field, ',', rest->size() + 1);
    if (const auto n = ssidNumber(field); n && validSsid(*n)) {
      call.ssidMask[static_cast<std::size_t>(*n)] = '1';
    }
  }
  return call;
}

bool IsValidCall(std::string_view callWithSsid) {
  const std::size_t dash = callWithSsid.find('-');
  const std::string_view base = callWithSsid.substr(0, dash);
  if (base.empty() || base.size() > kBaseCallCapacity) return false;
  for (char c : base)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  if (dash == std::string_view::npos) return true;
  const std::string_view ssid = callWithSsid.substr(dash + 1);
  if (ssid.empty() || ssid.size() > 2) return false;
  for (char c : ssid)
    if (c < '0' || c > '9') return false;
  return validSsid(std::stoi(std::string(ssid)));
}

std::string FormatMyCall(std::string_view baseCall, std::string_view ssidMask) {
  std::string text(baseCall.substr(0, kBaseCallCapacity));
  char sep = '-';
  for (int ssid = 0; ssid < kSsidCount && static_cast<std::size_t>(ssid) < ssidMask.size();
       ++ssid) {
    if (ssidMask[static_cast<std::size_t>(ssid)] != '1') continue;
    text += sep;
    text += std::to_string(ssid);
    sep = ',';
  }
  return text;
}

}  // namespace tarvik::core
