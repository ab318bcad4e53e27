#include <vector>

#include "core/config.h"
#include "core/config_fields.h"
#include "core/mycall.h"

namespace tarvik::core {

using detail::CutTo;

namespace {
constexpr int kTcpIpSetting = 38;
constexpr int kPortSetting = 39;
}  // namespace

bool Configuration::SavePortSections(int port) {
  const PortRecord* record = ports_.Find(port);
  if (!record || iniFile_.empty()) return false;
  return core::SavePortSections(iniFile_, port, *record);
}

bool Configuration::RemovePortSections(int port) {
  if (!PortTable::IsValidPort(port) || iniFile_.empty()) return false;
  return core::RemovePortSections(iniFile_, port);
}

bool Configuration::WriteIniEntry(std::string_view name, const IniValue& value) {
  if (iniFile_.empty()) return false;
  return core::WriteIniEntry(iniFile_, name, value);
}

bool Configuration::WriteMyCall(std::string_view baseCall, std::string_view ssidMask) {
  const std::string text = FormatMyCall(baseCall, ssidMask);
  // Memory takes exactly what the next start will read back from the file.
  setMyCall(text);
  return WriteIniEntry(detail::kMyCallKey, text);
}

bool Configuration::WriteTcpIpSettings(bool enabled, std::string_view port) {
  const bool written = WriteIniEntry("TCP/IP", std::string(enabled ? "Yes" : "No"));
  // "X": switched on in the file, but the server only starts on "J" or "Y",
  // which the next start reads.
  SetSetting(kTcpIpSetting, enabled ? "X" : "N");
  SetSetting(kPortSetting, port);
  const bool portWritten = WriteIniEntry("PORT", std::string(port));
  return written && portWritten;
}

bool Configuration::WriteLevelSection(int level) {
  const LevelRecord* l = GetLevelRecord(level);
  if (!l) return false;
  // Only the two keys change: comments and other lines of the section stay.
  if (iniFile_.empty()) return false;
  return WriteSectionKeys(iniFile_, "[LEVEL" + std::to_string(level) + "]",
                          {{"HOME", l->home}, {"ACCESS", l->access}});
}

}  // namespace tarvik::core
