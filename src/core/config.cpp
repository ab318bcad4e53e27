#include "core/config.h"

#include <cstdio>

#include "core/config_fields.h"
#include "core/mycall.h"
#include "core/number.h"

namespace tarvik::core {

using detail::CutTo;
using detail::FindSettingField;

namespace {
constexpr int kTempNameSetting = 7;
constexpr int kRunningNumberSetting = 8;
}  // namespace

Configuration::Configuration() { reset(); }

void Configuration::reset() {
  record_ = ConfigRecord{};
  iniFile_.clear();
  record_.ssidMask = std::string(kEmptySsidMask);
  runningNumber_ = 0;
  levels_ = {};
  for (auto& list : lists_) list.clear();
  bitmaps_ = {};
  tcpChannel_ = {};
  comChannel_ = {};
  defChannel_ = {};
}

void Configuration::ReleaseConfiguration() { reset(); }

void Configuration::setMyCall(std::string_view value) {
  MyCall call = ParseMyCall(value);
  record_.myCall = std::move(call.callWithSsid);
  record_.baseCall = std::move(call.baseCall);
  record_.defaultSsid = call.defaultSsid;
  record_.ssidMask = std::move(call.ssidMask);
}

std::string Configuration::GetSetting(int number) {
  if (number == kTempNameSetting || number == kRunningNumberSetting) {
    const int n = runningNumber_;
    // The counter wraps instead of overflowing after 2^31 requests.
    runningNumber_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) + 1u);
    char digits[16];
    if (number == kTempNameSetting) {
      std::snprintf(digits, sizeof digits, "%.8d", n);
      return record_.tmpPath + digits + ".$$$";
    }
    std::snprintf(digits, sizeof digits, "%.5d", n);
    return digits;
  }
  if (const auto* f = FindSettingField(number); f && !f->marker_only) return record_.*(f->member);
  return std::to_string(number);
}

void Configuration::SetSetting(int number, std::string_view text) {
  if (number == kRunningNumberSetting) {
    runningNumber_ = ParseInt32(text);
    return;
  }
  if (const auto* f = FindSettingField(number); f && f->settable) {
    record_.*(f->member) = CutTo(text, f->capacity);
    if (number == 10) iniFile_ = record_.iniPath;
  }
}

bool Configuration::StartsWithMarker(int which, std::string_view text) const {
  const std::string* marker = nullptr;
  switch (which) {
    case kMarker7PlusGo: marker = &record_.sevenPlusGo; break;
    case kMarker7PlusStop: marker = &record_.sevenPlusStop; break;
    case kMarkerGoText: marker = &record_.goText; break;
    case kMarkerStopText: marker = &record_.stopText; break;
    default: return false;
  }
  return text.starts_with(*marker);
}

const ConfigList* Configuration::GetConfigList(int number) const {
  if ((number >= 1 && number <= 4) || (number >= 10 && number <= 19)) {
    return &lists_[static_cast<std::size_t>(number)];
  }
  return nullptr;
}

const ChannelParams& Configuration::GetChannelParams(int port, int radioChannel) const {
  const PortRecord* record = ports_.Find(port);
  if (!record || radioChannel < 0 || radioChannel >= kRadioChannelCount ||
      record->channels[0].window == 0) {
    return tcpChannel_;
  }
  return record->channels[static_cast<std::size_t>(radioChannel)];
}

const LevelRecord* Configuration::GetLevelRecord(int level) const {
  if (level < 0 || level >= kLevelCount) return nullptr;
  return &levels_[static_cast<std::size_t>(level)];
}

bool Configuration::SetLevelRecord(int level, std::string_view home, std::string_view access) {
  if (level < 0 || level >= kLevelCount) return false;
  auto& l = levels_[static_cast<std::size_t>(level)];
  l.home = CutTo(home, kLevelTextCapacity);
  l.access = CutTo(access, kLevelTextCapacity);
  return true;
}

const BitmapEntry* Configuration::GetBitmap(int slot) const {
  if (slot < 0 || slot >= kBitmapSlots) return nullptr;
  const auto& entry = bitmaps_[static_cast<std::size_t>(slot)];
  return entry && entry->readable ? &*entry : nullptr;
}

bool Configuration::TcpIpSwitchedOn() const {
  if (record_.tcpIp.empty()) return false;
  const char c = record_.tcpIp.front();
  return c == 'J' || c == 'j' || c == 'Y' || c == 'y';
}

}  // namespace tarvik::core
