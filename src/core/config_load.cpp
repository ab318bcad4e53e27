#include <cctype>
#include <fstream>
#include <system_error>

#include "core/config.h"
#include "core/config_fields.h"
#include "core/get_field.h"
#include "core/ini_reader.h"
#include "core/number.h"

namespace tarvik::core {

using detail::CutTo;

namespace {

// Lines of two characters or fewer, line end included, are empty lines and
// lone line ends; lists and text blocks skip them.
constexpr std::size_t kShortLine = 2;
// Free texts in port sections are compared by name, so a line's worth is
// plenty.
constexpr std::size_t kNameCapacity = kIniLineChunk;
constexpr std::size_t kBitmapNameCapacity = 127;

std::string_view withoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

void readChannel(IniReader& ini, ChannelParams& c) {
  c.title = ini.ReadText("TITLE", kChannelTitleCapacity);
  c.qrg = ini.ReadText("QRG", kChannelQrgCapacity);
  c.window = ini.ReadInt16("WINDOW");
  c.paclen = ini.ReadInt16("PACLEN");
  c.t1 = ini.ReadInt16("T1");
  c.t2 = ini.ReadInt16("T2");
  c.t2dama = ini.ReadInt16("T2DAMA");
  c.t3 = ini.ReadInt16("T3");
  c.retry = ini.ReadInt16("RETRY");
  c.l2f = ini.ReadInt16("L2F");
  c.txdelay = ini.ReadInt16("TXDELAY");
  c.txtail = ini.ReadInt16("TXTAIL");
  c.persist = ini.ReadInt16("PERSIST");
  c.slottime = ini.ReadInt16("SLOTTIME");
  c.baud = ini.ReadInt16("BAUD");
  c.linkRules = ini.ReadInt16("LINKRULES");
}

// Comments and short lines go; the rest is joined with CR LF. A line that
// would push the block past its capacity is left out.
std::string readTextBlock(IniReader& ini, std::string_view header) {
  std::string block;
  if (!ini.FindSection(header)) return block;
  for (const auto& raw : ini.SectionLines()) {
    std::string_view line = raw;
    line = line.substr(0, line.find('#'));
    if (line.size() <= kShortLine) continue;
    line = withoutLineEnd(line);
    const std::size_t needed = line.size() + (block.empty() ? 0 : 2);
    if (block.size() + needed > kIniTextCapacity) continue;
    if (!block.empty()) block += "\r\n";
    block += line;
  }
  return block;
}

ConfigList readList(IniReader& ini, std::string_view header) {
  ConfigList list;
  if (!ini.FindSection(header)) return list;
  for (const auto& line : ini.SectionLines()) {
    if (line.size() <= kShortLine) continue;
    list.push_back({std::string(withoutLineEnd(line)), 0});
  }
  return list;
}

bool readableFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool Configuration::LoadConfiguration(const std::filesystem::path& path) {
  reset();
  auto opened = IniReader::Open(path);
  if (!opened) return false;
  IniReader& ini = *opened;

  iniFile_ = path.string();
  record_.iniPath = CutTo(iniFile_, kPathCapacity);
  const auto slash = iniFile_.rfind('/');
  const std::string iniDirectory = slash == std::string::npos ? std::string() : iniFile_.substr(0, slash + 1);
  record_.iniDirectory = CutTo(iniDirectory, kPathCapacity);

  if (ini.FindSection("[TARVIK]")) {
    std::string rawCall;
    std::string rawRcall;
    for (const auto& f : detail::kSettingFields) {
      if (f.key.empty()) continue;
      if (f.key == detail::kMyCallKey) {
        rawCall = ini.ReadText(f.key, detail::kRawCallCapacity);
      } else if (f.key == detail::kRcallKey) {
        rawRcall = ini.ReadText(f.key, detail::kRawCallCapacity);
      } else {
        record_.*(f.member) = ini.ReadText(f.key, f.capacity);
      }
    }
    setMyCall(rawCall);
    const std::string rcall = upper(rawRcall);
    record_.rcall = CutTo(std::string_view(rcall).substr(0, rcall.find(' ')),
                          detail::FindSettingField(29)->capacity);
  }

  for (int level = 0; level < kLevelCount; ++level) {
    auto& l = levels_[static_cast<std::size_t>(level)];
    if (!ini.FindSection("[LEVEL" + std::to_string(level) + "]")) continue;
    l.home = ini.ReadText("HOME", kLevelTextCapacity);
    l.access = ini.ReadText("ACCESS", kLevelTextCapacity);
  }

  for (int n = 0; n < kPortCount; ++n) {
    PortRecord& port = ports_[n];
    // What the running drivers entered stays; the configuration is new.
    const auto window = port.portWindow;
    const auto link = port.transparentLink;
    port = PortRecord{};
    port.portWindow = window;
    port.transparentLink = link;

    const std::string p = "[P" + std::to_string(n);
    if (!ini.FindSection(p + "]")) continue;
    port.title = ini.ReadText("TITLE", kPortTitleCapacity);
    port.device = ini.ReadText("DEVICE", kPortDeviceCapacity);
    port.protocol = ProtocolFromName(ini.ReadText("PROTOCOL", kNameCapacity));
    port.devType = DevTypeFromName(ini.ReadText("DEVTYPE", kNameCapacity));
    port.iniText = readTextBlock(ini, p + "INI]");
    port.deiniText = readTextBlock(ini, p + "DEINI]");
    for (int k = 0; k < kRadioChannelCount; ++k) {
      if (ini.FindSection(p + "CHAN" + std::to_string(k) + "]")) {
        readChannel(ini, port.channels[static_cast<std::size_t>(k)]);
      }
    }
  }

  if (ini.FindSection("TCPCHAN")) readChannel(ini, tcpChannel_);
  if (ini.FindSection("COMCHAN")) readChannel(ini, comChannel_);
  if (ini.FindSection("DEFCHAN")) readChannel(ini, defChannel_);

  if (ini.FindSection("[BITMAPS]")) {
    // A line without a slot number takes the slot after the previous one.
    long long slot = -1;
    for (const auto& line : ini.SectionLines()) {
      if (line.size() <= kShortLine) continue;
      std::string name;
      const auto rest = GetField(line, name, ' ', kBitmapNameCapacity + 1);
      slot = rest && HasNumber(*rest) ? ParseInt32(*rest) : slot + 1;
      if (slot < 0 || slot >= kBitmapSlots) continue;
      BitmapEntry entry;
      entry.path = iniDirectory + "bitmaps/" + name;
      entry.readable = readableFile(entry.path);
      bitmaps_[static_cast<std::size_t>(slot)] = std::move(entry);
    }
  }

  if (auto winmenu = IniReader::Open(record_.cnfPath + "WINMENU.CNF")) {
    lists_[1] = readList(*winmenu, "[WINMENU]");
  }
  lists_[2] = readList(ini, "[CONNECT]");
  lists_[3] = readList(ini, "[FAIL]");
  lists_[4] = readList(ini, "[FROM]");
  for (int n = 1; n <= 9; ++n) {
    const std::string header = "[BOX-" + std::to_string(n) + "]";
    if (!ini.FindSection(header)) continue;
    lists_[static_cast<std::size_t>(10 + n)] = readList(ini, header);
    // The mailbox's name: the text between the first "=" and the next ";"
    // of the section's first line.
    ConfigListEntry entry{{}, n};
    if (const auto lines = ini.SectionLines(); !lines.empty()) {
      const std::string_view first = lines.front();
      if (const auto eq = first.find('='); eq != std::string_view::npos) {
        GetField(first.substr(eq + 1), entry.text, ';', kBoxNameCapacity + 1);
      }
    }
    lists_[10].push_back(std::move(entry));
  }
  return true;
}

std::vector<std::string> Configuration::ReadRunPrograms() const {
  std::vector<std::string> programs;
  auto ini = IniReader::Open(iniFile_);
  if (!ini || !ini->FindSection("[TARVIK]")) return programs;
  for (int n = 0; n < kRunEntries; ++n) {
    auto value = ini->ReadKey("RUN-" + std::to_string(n), kPathCapacity);
    if (!value || value->find(';') == std::string::npos) break;
    programs.push_back(std::move(*value));
  }
  return programs;
}

}  // namespace tarvik::core
