#include "config/config_forms_checks.h"

#include <cctype>
#include <vector>

#include "core/mycall.h"
#include "core/port_table.h"

namespace tarvik::config {
namespace {

std::string Entry(std::string_view key, std::string_view value) {
  return std::string(key) + "=" + std::string(value);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The lines of a block without their line ends; empty lines left out.
std::vector<std::string_view> BlockLines(std::string_view block) {
  std::vector<std::string_view> lines;
  while (!block.empty()) {
    const std::size_t nl = block.find('\n');
    std::string_view line = block.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    block = nl == std::string_view::npos ? std::string_view{} : block.substr(nl + 1);
  }
  return lines;
}

}  // namespace

Check CheckIniValue(std::string_view key, std::string_view value) {
  if (value.find_first_of("#\r\n") != std::string_view::npos) return Refusal{kMsgBadIniValue, Entry(key, value), {}};
  return std::nullopt;
}

Check CheckIniBlock(std::string_view name, std::string_view block) {
  for (const std::string_view line : BlockLines(block)) {
    if (line.find('#') != std::string_view::npos || line.front() == '[' || line.size() < 2)
      return Refusal{kMsgBadIniLine, std::string(name), std::string(line)};
  }
  return std::nullopt;
}

std::string NormalIniBlock(std::string_view block) {
  std::string out;
  for (const std::string_view line : BlockLines(block)) {
    if (!out.empty()) out += "\r\n";
    out += line;
  }
  return out;
}

Check CheckNumber(std::string_view key, std::string_view text, int lo, int hi, int& out) {
  const std::string_view digits = Trim(text);
  long value = 0;
  bool ok = !digits.empty() && digits.size() <= 9;
  for (const char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) ok = false;
    value = value * 10 + (c - '0');
  }
  if (!ok || value < lo || value > hi)
    return Refusal{kMsgBadNumber, Entry(key, text), std::to_string(lo) + " - " + std::to_string(hi)};
  out = static_cast<int>(value);
  return std::nullopt;
}

Check CheckBaseCall(std::string_view call) {
  if (call.empty() || call.find('-') != std::string_view::npos || !core::IsValidCall(call))
    return Refusal{kMsgBadCall, std::string(call), {}};
  return std::nullopt;
}

Check CheckDevice(int devType, std::string_view device) {
  if (auto bad = CheckIniValue("DEVICE", device)) return bad;
  if (devType != core::kDevTypeTcpIp) return std::nullopt;
  const std::size_t semi = device.find(';');
  int port = 0;
  if (semi == std::string_view::npos || Trim(device.substr(0, semi)).empty() ||
      CheckNumber("PORT", device.substr(semi + 1), 1, 65535, port))
    return Refusal{kMsgBadTcpDevice, std::string(device), {}};
  return std::nullopt;
}

Check CheckDirectory(std::string_view key, std::string_view value) {
  if (!value.empty() && value.back() != '/') return Refusal{kMsgBadDirectory, Entry(key, value), {}};
  return std::nullopt;
}

Check CheckPassword(std::string_view password) {
  if (password.find_first_of("\t\r\n") != std::string_view::npos) return Refusal{kMsgBadPassword, {}, {}};
  return std::nullopt;
}

}  // namespace tarvik::config
