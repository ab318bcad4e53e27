#pragma once
// The station's configuration, read once at start from the INI file into
// memory. Every other part of the program reads settings from here, never
// from the file; the configuration dialogs change them here and write them
// back through the writers, which rewrite the file in place.
//
// Settings are addressed by number (GetSetting/SetSetting); texts keep the
// capacities the INI fields have always had and are cut to them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_writer.h"
#include "core/port_table.h"

namespace tarvik::core {

// Setting numbers of GetSetting/SetSetting (the table is in config_fields.h).
enum Setting : int {
  kSettingDebug = 0,
  kSettingMyName = 1,
  kSettingMyCall = 2,
  kSettingSavePath = 3,
  kSettingLogPath = 4,
  kSettingTmpPath = 5,
  kSettingCnfPath = 6,
  kSettingTempFile = 7,     // a fresh temporary file name in TMPPATH
  kSettingRunningNumber = 8,
  kSettingIniDirectory = 9,
  kSettingIniPath = 10,
  kSettingMessageFile = 11,
  kSettingEditor = 12,
  kSettingMyBbsPath = 13,
  kSettingFlags = 14,
  kSettingChrset = 15,
  kSettingSsidMask = 17,
  kSettingBackground = 18,
  kSettingPubPath = 19,
  kSettingPrompt = 20,
  kSetting7PlusGo = 21,
  kSetting7PlusStop = 22,
  kSettingWelcome = 23,
  kSettingIconDll = 24,
  kSettingAutoStop = 25,
  kSettingHelpFile = 26,
  kSettingDebugSrv = 27,
  kSettingRcall = 29,
  kSettingMy2BbsPath = 30,
  kSettingTcpIp = 38,
  kSettingTcpPort = 39,
  kSettingGoText = 40,
  kSettingStopText = 41,
  kSettingExpPath = 42,
  kSettingScrollback = 43,  // lines the text panes keep
  kSettingTcpListen = 44,   // LISTEN: the address the TCP/IP server listens on
  kSettingAlertConnect = 50,  // ALERTCONNECT: 1 sound, 2 desktop notification, 3 both
  kSettingAlertText = 51,     // ALERTTEXT: the same for text in a channel in the background
  kSettingKeepText = 52,    // KEEPTEXT: "0" closes a channel window when its link ends
};

// Lists of GetConfigList.
enum ConfigListNumber : int {
  kListConnectTexts = 2,  // [CONNECT]: a node reports it has connected onwards
  kListFailTexts = 3,     // [FAIL]: a node reports the onward connect failed
};

// Fields of section [TARVIK] and the settings derived from the INI path.
struct ConfigRecord {
  std::string debug;          // DEBUG, setting 0
  std::string debugSrv;       // DEBUG-SRV, setting 27
  std::string myName;         // MYNAME, setting 1
  std::string myCall;         // MYCALL up to the first ",": setting 2
  std::string baseCall;       // MYCALL up to the first "-"
  int defaultSsid = 0;
  std::string ssidMask;       // setting 17: position n "1" = SSID n enabled
  std::string rcall;          // RCALL, first word: setting 29
  std::string myBbsPath;      // MYBBSPATH, setting 13
  std::string my2BbsPath;     // MY2BBSPATH, setting 30
  std::string flags;          // FLAGS, setting 14
  std::string chrset;         // CHRSET, setting 15
  std::string tcpIp;          // TCP/IP, setting 38
  std::string port;           // PORT, setting 39
  std::string listen;         // LISTEN, setting 44: the server's address, empty = 127.0.0.1
  std::string savePath;       // SAVEPATH, setting 3
  std::string logPath;        // LOGPATH, setting 4
  std::string tmpPath;        // TMPPATH, setting 5
  std::string cnfPath;        // CNFPATH, setting 6
  std::string pubPath;        // PUBPATH, setting 19
  std::string expPath;        // EXPPATH, setting 42
  std::string messageFile;    // MESSAGEFILE, setting 11
  std::string prompt;         // PROMPT, setting 20
  std::string sevenPlusGo;    // 7P_GO, setting 21
  std::string sevenPlusStop;  // 7P_STOP, setting 22
  std::string goText;         // GO_TEXT, marker 40
  std::string stopText;       // STOP_TEXT, marker 41
  std::string editor;         // EDITOR, setting 12
  std::string background;     // BACKGROUND, setting 18
  std::string welcome;        // WELCOME, setting 23
  std::string helpFile;       // HELPFILE, setting 26
  std::string autoStop;       // AUTOSTOP, setting 25
  std::string iconDll;        // ICONDLL, setting 24
  std::string scrollback;     // SCROLLBACK, setting 43: lines a text pane keeps (+1)
  std::string monTime;        // MONTIME, setting 45: "1" stamps the monitor's header lines
  std::string alertConnect;   // ALERTCONNECT, setting 50 (empty: 3)
  std::string alertText;      // ALERTTEXT, setting 51 (empty: 2)
  std::string keepText;       // KEEPTEXT, setting 52: "0" closes ended channels, else they stay
  std::string iniDirectory;   // setting 9: INI path up to and including the last "/"
  std::string iniPath;        // setting 10
};

// Home directory and "0"/"1" access string of one level of the remote
// command service.
struct LevelRecord {
  std::string home;
  std::string access;
  friend bool operator==(const LevelRecord&, const LevelRecord&) = default;
};

// One line of a configured list. Entries of list 10 carry the number of the
// mailbox section they were taken from.
struct ConfigListEntry {
  std::string text;
  int number = 0;
  friend bool operator==(const ConfigListEntry&, const ConfigListEntry&) = default;
};
using ConfigList = std::vector<ConfigListEntry>;

// A bitmap named in [BITMAPS]. Images are drawn by the user interface from
// the file; the table only records where it is and whether it could be read.
struct BitmapEntry {
  std::string path;
  bool readable = false;
};

inline constexpr int kLevelCount = 6;
inline constexpr int kBitmapSlots = 50;
inline constexpr std::size_t kPathCapacity = 127;
inline constexpr std::size_t kLevelTextCapacity = 127;
inline constexpr std::size_t kBoxNameCapacity = 32;
inline constexpr int kRunEntries = 10;

// Setting numbers that are markers for StartsWithMarker.
inline constexpr int kMarker7PlusGo = 21;
inline constexpr int kMarker7PlusStop = 22;
inline constexpr int kMarkerGoText = 40;
inline constexpr int kMarkerStopText = 41;

class Configuration {
 public:
  Configuration();

  // Reads the whole file. False when it cannot be opened; the settings are
  // then empty.
  bool LoadConfiguration(const std::filesystem::path& path);
  // Drops settings, lists, levels and bitmaps; the port table stays for the
  // port shutdown.
  void ReleaseConfiguration();

  // A setting by number; numbers without a setting give the number itself.
  // Setting 7 hands out a fresh temporary file name and setting 8 the next
  // running number; both advance the shared counter.
  std::string GetSetting(int number);
  // Replaces a setting in memory; numbers that cannot be set are ignored.
  void SetSetting(int number, std::string_view text);

  // True when `text` begins with the marker `which` (21, 22, 40, 41). An
  // empty marker matches every text; other numbers never match.
  bool StartsWithMarker(int which, std::string_view text) const;

  // Lists 1..4 and 10..19; null for numbers that have no list.
  const ConfigList* GetConfigList(int number) const;

  // The parameters of a radio channel, or the TCPCHAN record when the port
  // or radio channel is out of range or radio channel 0 of the port is not
  // configured.
  const ChannelParams& GetChannelParams(int port, int radioChannel) const;

  // Levels 0..5; null for others.
  const LevelRecord* GetLevelRecord(int level) const;
  // Stores a level in memory (cut to capacity); false for other numbers.
  bool SetLevelRecord(int level, std::string_view home, std::string_view access);

  // A bitmap slot that holds a readable file; null otherwise.
  const BitmapEntry* GetBitmap(int slot) const;

  // The programs to start when the main window opens: RUN-0, RUN-1, ... read
  // afresh from the file, up to the first missing key or the first value
  // without ";".
  std::vector<std::string> ReadRunPrograms() const;

  // TCP/IP is switched on when its setting starts with "J" or "Y".
  bool TcpIpSwitchedOn() const;

  // Writers: they change the INI file (setting 10) through its copy and
  // return false, leaving the file unchanged, when it cannot be rewritten.
  bool SavePortSections(int port);
  bool RemovePortSections(int port);
  bool WriteIniEntry(std::string_view name, const IniValue& value = {});
  // Sets the own call in memory (call, base call, default SSID, mask) and
  // writes MYCALL as CALL-a,b,c.
  bool WriteMyCall(std::string_view baseCall, std::string_view ssidMask);
  // Writes "TCP/IP" as Yes/No and PORT; setting 38 becomes "X" (switched on
  // but not started until the next start) or "N".
  bool WriteTcpIpSettings(bool enabled, std::string_view port);
  // Writes section [LEVELn] from the level record in memory.
  bool WriteLevelSection(int level);

  const ConfigRecord& Record() const { return record_; }
  PortTable& Ports() { return ports_; }
  const PortTable& Ports() const { return ports_; }
  ChannelParams& TcpChannel() { return tcpChannel_; }
  const ChannelParams& TcpChannel() const { return tcpChannel_; }
  ChannelParams& ComChannel() { return comChannel_; }
  const ChannelParams& ComChannel() const { return comChannel_; }
  ChannelParams& DefChannel() { return defChannel_; }
  const ChannelParams& DefChannel() const { return defChannel_; }

 private:
  void reset();
  void setMyCall(std::string_view value);

  ConfigRecord record_;
  // The INI file the writers rewrite. Setting 10 keeps only 127 characters;
  // a cut path must never be written to.
  std::string iniFile_;
  std::int32_t runningNumber_ = 0;
  std::array<LevelRecord, kLevelCount> levels_{};
  std::array<ConfigList, 20> lists_{};
  std::array<std::optional<BitmapEntry>, kBitmapSlots> bitmaps_{};
  ChannelParams tcpChannel_;
  ChannelParams comChannel_;
  ChannelParams defChannel_;
  PortTable ports_;
};

}  // namespace tarvik::core
