#pragma once
// Where each numbered setting lives, how many characters it keeps, which INI
// key of section [TARVIK] fills it and whether SetSetting may change it.
// Shared by the reader and the setting accessors of Configuration only.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "core/config.h"

namespace tarvik::core::detail {

struct SettingField {
  int number;
  std::string_view key;  // empty: not read from [TARVIK]
  std::string ConfigRecord::*member;
  std::size_t capacity;
  bool settable;
  bool marker_only = false;  // a marker for StartsWithMarker, no setting
};

inline constexpr std::string_view kMyCallKey = "MYCALL";
inline constexpr std::string_view kRcallKey = "RCALL";
inline constexpr std::size_t kRawCallCapacity = 127;

// Keys in the order they are read, then the settings that come from no key.
inline constexpr std::array kSettingFields{
    SettingField{0, "DEBUG", &ConfigRecord::debug, 11, true},
    SettingField{27, "DEBUG-SRV", &ConfigRecord::debugSrv, 127, false},
    SettingField{1, "MYNAME", &ConfigRecord::myName, 79, true},
    SettingField{2, kMyCallKey, &ConfigRecord::myCall, 11, true},
    SettingField{29, kRcallKey, &ConfigRecord::rcall, 6, true},
    SettingField{13, "MYBBSPATH", &ConfigRecord::myBbsPath, 127, true},
    SettingField{30, "MY2BBSPATH", &ConfigRecord::my2BbsPath, 127, true},
    SettingField{14, "FLAGS", &ConfigRecord::flags, 11, true},
    SettingField{15, "CHRSET", &ConfigRecord::chrset, 11, true},
    SettingField{38, "TCP/IP", &ConfigRecord::tcpIp, 1, true},
    SettingField{39, "PORT", &ConfigRecord::port, 11, true},
    SettingField{44, "LISTEN", &ConfigRecord::listen, 63, false},
    SettingField{3, "SAVEPATH", &ConfigRecord::savePath, 127, false},
    SettingField{4, "LOGPATH", &ConfigRecord::logPath, 127, false},
    SettingField{5, "TMPPATH", &ConfigRecord::tmpPath, 127, true},
    SettingField{6, "CNFPATH", &ConfigRecord::cnfPath, 127, false},
    SettingField{19, "PUBPATH", &ConfigRecord::pubPath, 127, true},
    SettingField{42, "EXPPATH", &ConfigRecord::expPath, 127, false},
    SettingField{11, "MESSAGEFILE", &ConfigRecord::messageFile, 127, true},
    SettingField{20, "PROMPT", &ConfigRecord::prompt, 127, true},
    SettingField{21, "7P_GO", &ConfigRecord::sevenPlusGo, 127, true},
    SettingField{22, "7P_STOP", &ConfigRecord::sevenPlusStop, 127, true},
    SettingField{40, "GO_TEXT", &ConfigRecord::goText, 127, false, true},
    SettingField{41, "STOP_TEXT", &ConfigRecord::stopText, 127, false, true},
    SettingField{12, "EDITOR", &ConfigRecord::editor, 127, true},
    SettingField{18, "BACKGROUND", &ConfigRecord::background, 127, true},
    SettingField{23, "WELCOME", &ConfigRecord::welcome, 127, true},
    SettingField{26, "HELPFILE", &ConfigRecord::helpFile, 127, true},
    SettingField{25, "AUTOSTOP", &ConfigRecord::autoStop, 1, true},
    SettingField{24, "ICONDLL", &ConfigRecord::iconDll, 127, true},
    SettingField{43, "SCROLLBACK", &ConfigRecord::scrollback, 11, false},
    SettingField{45, "MONTIME", &ConfigRecord::monTime, 1, true},
    SettingField{50, "ALERTCONNECT", &ConfigRecord::alertConnect, 1, true},
    SettingField{51, "ALERTTEXT", &ConfigRecord::alertText, 1, true},
    SettingField{52, "KEEPTEXT", &ConfigRecord::keepText, 1, true},
    SettingField{9, "", &ConfigRecord::iniDirectory, 127, true},
    SettingField{10, "", &ConfigRecord::iniPath, 127, true},
    SettingField{17, "", &ConfigRecord::ssidMask, 16, false},
};

inline const SettingField* FindSettingField(int number) {
  for (const auto& f : kSettingFields) {
    if (f.number == number) return &f;
  }
  return nullptr;
}

inline std::string CutTo(std::string_view text, std::size_t capacity) {
  return std::string(text.substr(0, capacity));
}

}  // namespace tarvik::core::detail
