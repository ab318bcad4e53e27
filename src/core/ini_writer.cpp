#include "core/ini_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "core/ini_reader.h"

namespace tarvik::core {
namespace {

// A value written into a line must not start another line.
std::string_view singleLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

std::string_view cut(std::string_view text, std::size_t capacity) {
  return singleLine(text).substr(0, capacity);
}

// Appended text must start on a line of its own even when the file's last
// line has no line end.
void endLine(std::string& out) {
  if (!out.empty() && out.back() != '\n') out += '\n';
}

// Lines longer than a reader line arrive in pieces; a piece that continues
// a line shares that line's fate, so a writer never keeps half a line.
bool continuesLine(const std::vector<std::string>& lines, std::size_t i) {
  return i > 0 && !lines[i - 1].empty() && lines[i - 1].back() != '\n';
}

bool isPortSectionHeader(std::string_view line, int port) {
  if (!IsIniHeader(line)) return false;
  const std::string p = "[P" + std::to_string(port);
  auto has = [&](const std::string& name) { return line.find(name) != std::string_view::npos; };
  if (has(p + "]") || has(p + "INI]") || has(p + "DEINI]")) return true;
  for (int k = 0; k < kRadioChannelCount; ++k) {
    if (has(p + "CHAN" + std::to_string(k) + "]")) return true;
  }
  return false;
}

const char* protocolName(std::int16_t protocol) {
  switch (protocol) {
    case kProtocolKiss: return "KISS";
    case kProtocolSmack: return "SMACK";
    case kProtocolRmnc: return "RMNC";
    case kProtocolHost: return "HOST";
    default: return "NONE";
  }
}

// A port of type 0 is written with a name that reads back as 0; writing it
// as TCPIP would make a port that was never opened a TCP/IP port on the
// next start.
const char* devTypeName(std::int16_t devType) {
  switch (devType) {
    case kDevTypeTnc: return "TNC";
    case kDevTypeCom: return "COM";
    case kDevTypeTcpIp: return "TCPIP";
    default: return "NONE";
  }
}

void appendTextBlock(std::string& out, std::string_view header, std::string_view block) {
  block = block.substr(0, kIniTextCapacity);
  if (block.empty()) return;
  out += "\n";
  out += header;
  out += "\n";
  while (!block.empty()) {
    auto nl = block.find('\n');
    std::string_view line = block.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out += line;
    out += '\n';
    block = nl == std::string_view::npos ? std::string_view{} : block.substr(nl + 1);
  }
}

void appendNumber(std::string& out, const char* key, int value) {
  out += key;
  out += '=';
  out += std::to_string(value);
  out += '\n';
}

void appendEntry(std::string& out, std::string_view name, const IniValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    out += singleLine(name);
    out += '=';
    out += singleLine(*text);
    out += '\n';
  } else if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
    out += singleLine(name);
    out += '\n';
    for (const auto& line : *list) {
      out += singleLine(line);
      out += '\n';
    }
    out += '\n';
  }
}

// The copy is on the disk before it takes the file's name, so that even a
// power cut leaves the old or the new file; it keeps the file's permissions.
bool writeDurably(const std::filesystem::path& copy, std::string_view contents,
                  const std::filesystem::path& original) {
  struct stat st {};
  const mode_t mode = ::stat(original.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < contents.size();) {
    const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok) ::unlink(copy.c_str());
  return ok;
}

// The rename itself reaches the disk with the directory.
void syncDirectory(const std::filesystem::path& file) {
  const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::filesystem::path IniCopyPath(const std::filesystem::path& iniPath) {
  std::string s = iniPath.string();
  if (s.empty() || s.back() == '~' || s.back() == '/') return {};
  s.back() = '~';
  return s;
}

bool RewriteIniFile(const std::filesystem::path& iniPath,
                    const std::function<std::string(const std::vector<std::string>&)>& transform) {
  const auto copy = IniCopyPath(iniPath);
  if (copy.empty()) return false;
  const auto text = ReadWholeFile(iniPath);
  if (!text) return false;
  const std::string result = transform(SplitIniLines(*text));
  if (!writeDurably(copy, result, iniPath)) return false;
  std::error_code ec;
  std::filesystem::rename(copy, iniPath, ec);
  if (ec) {
    std::filesystem::remove(copy, ec);
    return false;
  }
  syncDirectory(iniPath);
  return true;
}

std::string RemovePortSectionsText(const std::vector<std::string>& lines, int port) {
  std::string out;
  bool dropping = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    if (!continuesLine(lines, i) && IsIniHeader(line)) dropping = isPortSectionHeader(line, port);
    if (!dropping) out += line;
  }
  return out;
}

std::string FormatPortSections(int port, const PortRecord& record) {
  std::string out;
  const std::string p = std::to_string(port);
  out += "[P" + p + "]\n";
  out += "TITLE=";
  out += cut(record.title, kPortTitleCapacity);
  out += "\nDEVICE=";
  out += cut(record.device, kPortDeviceCapacity);
  out += "\nPROTOCOL=";
  out += protocolName(record.protocol);
  out += "\nDEVTYPE=";
  out += devTypeName(record.devType);
  out += "\n";
  appendTextBlock(out, "[P" + p + "INI]", record.iniText);
  appendTextBlock(out, "[P" + p + "DEINI]", record.deiniText);
  for (int k = 0; k < kRadioChannelCount; ++k) {
    const ChannelParams& c = record.channels[static_cast<std::size_t>(k)];
    if (!c.configured()) continue;
    out += "\n[P" + p + "CHAN" + std::to_string(k) + "]\n";
    out += "TITLE=";
    out += cut(c.title, kChannelTitleCapacity);
    out += "\nQRG=";
    out += cut(c.qrg, kChannelQrgCapacity);
    out += "\n";
    appendNumber(out, "WINDOW", c.window);
    appendNumber(out, "PACLEN", c.paclen);
    appendNumber(out, "T1", c.t1);
    appendNumber(out, "T2", c.t2);
    appendNumber(out, "T2DAMA", c.t2dama);
    appendNumber(out, "T3", c.t3);
    appendNumber(out, "RETRY", c.retry);
    appendNumber(out, "L2F", c.l2f);
    appendNumber(out, "TXDELAY", c.txdelay);
    appendNumber(out, "TXTAIL", c.txtail);
    appendNumber(out, "PERSIST", c.persist);
    appendNumber(out, "SLOTTIME", c.slottime);
    if (c.baud != 0) appendNumber(out, "BAUD", c.baud);
    if (c.linkRules != 0) appendNumber(out, "LINKRULES", c.linkRules);
  }
  return out;
}

std::string ApplyIniEntry(const std::vector<std::string>& lines, std::string_view name,
                          const IniValue& value, std::string_view keySection) {
  const bool isSection = !name.empty() && name.front() == '[';
  const bool hasValue = !std::holds_alternative<std::monostate>(value);
  // Kept lines, with the new entry as one element where the first old entry
  // stood.
  std::vector<std::string> out;
  bool replaced = false;
  bool dropping = false;  // inside the old section being replaced
  bool droppedLast = false;
  auto placeEntry = [&] {
    if (!hasValue || replaced) return;
    std::string entry;
    appendEntry(entry, name, value);
    out.push_back(std::move(entry));
    replaced = true;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view l = lines[i];
    if (continuesLine(lines, i)) {
      if (!droppedLast) out.back() += l;
      continue;
    }
    bool drop = false;
    if (isSection) {
      if (IsIniHeader(l)) dropping = l.starts_with(name);
      drop = dropping;
      if (drop && IsIniHeader(l)) placeEntry();
    } else if (const auto key = IniLineKey(l); !name.empty() && key && *key == name) {
      drop = true;
      placeEntry();
    }
    droppedLast = drop;
    if (!drop) out.emplace_back(l);
  }

  if (hasValue && !replaced && !name.empty()) {
    std::string entry;
    appendEntry(entry, name, value);
    // A new key goes to the section it is read from, after its last key
    // line, so that blank lines and the comment that introduces the next
    // section stay with that one; only when the section is missing does it
    // go to the end of the file.
    std::size_t at = out.size();
    bool found = false;
    if (!isSection && !keySection.empty()) {
      for (std::size_t i = 0; i < out.size(); ++i) {
        if (!IsIniHeader(out[i]) || out[i].find(keySection) == std::string::npos) continue;
        at = i + 1;
        for (std::size_t j = i + 1; j < out.size() && !IsIniHeader(out[j]); ++j)
          if (IniLineKey(out[j])) at = j + 1;
        found = true;
        break;
      }
    }
    if (found) {
      if (at > 0) endLine(out[at - 1]);
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    } else {
      if (!out.empty()) endLine(out.back());
      out.emplace_back("\n");
      out.push_back(std::move(entry));
    }
  }

  std::string text;
  for (const auto& piece : out) text += piece;
  return text;
}

std::string ApplySectionKeys(const std::vector<std::string>& lines, std::string_view section,
                             const std::vector<IniKeyValue>& keys) {
  auto entry = [](const IniKeyValue& kv) { return std::string(singleLine(kv.first)) + "=" +
                                                  std::string(singleLine(kv.second)) + "\n"; };
  std::vector<std::string> out;
  std::vector<bool> written(keys.size(), false);
  bool inSection = false, seen = false, droppedLast = false;
  std::size_t lastKey = 0;  // in `out`: where keys the section lacks go
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view l = lines[i];
    if (continuesLine(lines, i)) {
      if (!droppedLast) out.back() += l;
      continue;
    }
    droppedLast = false;
    if (IsIniHeader(l)) {
      inSection = !seen && l.find(section) != std::string_view::npos;
      seen = seen || inSection;
      out.emplace_back(l);
      if (inSection) lastKey = out.size();
      continue;
    }
    if (inSection) {
      const auto key = IniLineKey(l);
      std::size_t k = 0;
      while (key && k < keys.size() && keys[k].first != *key) ++k;
      if (key && k < keys.size()) {
        droppedLast = true;
        if (written[k]) continue;
        written[k] = true;
        out.push_back(entry(keys[k]));
        lastKey = out.size();
        continue;
      }
      if (key) lastKey = out.size() + 1;
    }
    out.emplace_back(l);
  }
  std::string missing;
  for (std::size_t k = 0; k < keys.size(); ++k)
    if (!written[k]) missing += entry(keys[k]);
  if (seen) {
    if (lastKey > 0) endLine(out[lastKey - 1]);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastKey), missing);
  } else {
    if (!out.empty()) endLine(out.back());
    out.emplace_back("\n" + std::string(singleLine(section)) + "\n" + missing);
  }
  std::string text;
  for (const auto& piece : out) text += piece;
  return text;
}

bool RemovePortSections(const std::filesystem::path& iniPath, int port) {
  return RewriteIniFile(iniPath, [port](const std::vector<std::string>& lines) {
    return RemovePortSectionsText(lines, port);
  });
}

bool SavePortSections(const std::filesystem::path& iniPath, int port, const PortRecord& record) {
  return RewriteIniFile(iniPath, [&](const std::vector<std::string>& lines) {
    std::string out = RemovePortSectionsText(lines, port);
    endLine(out);
    out += FormatPortSections(port, record);
    return out;
  });
}

bool WriteIniEntry(const std::filesystem::path& iniPath, std::string_view name,
                   const IniValue& value) {
  return RewriteIniFile(iniPath, [&](const std::vector<std::string>& lines) {
    return ApplyIniEntry(lines, name, value, kKeySection);
  });
}

bool WriteSectionKeys(const std::filesystem::path& iniPath, std::string_view section,
                      const std::vector<IniKeyValue>& keys) {
  return RewriteIniFile(iniPath, [&](const std::vector<std::string>& lines) {
    return ApplySectionKeys(lines, section, keys);
  });
}

}  // namespace tarvik::core
