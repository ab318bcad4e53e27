#pragma once
// Writers of the INI file. A change is made on a copy beside the file (its
// path with the last character replaced by "~", TARVIK.IN~ for TARVIK.INI)
// which is then renamed over the original, so a crash leaves either the old
// or the new file, never a half-written one. A writer that cannot read the
// file or create the copy changes nothing.
//
// The text transforms are exposed separately so that they can be checked
// without touching files.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/port_table.h"

namespace tarvik::core {

// What WriteIniEntry puts in place of a name: nothing (the entry is removed),
// a value for a key, or the lines of a section.
using IniValue = std::variant<std::monostate, std::string, std::vector<std::string>>;

// The copy a writer works on; empty when the path cannot have one.
std::filesystem::path IniCopyPath(const std::filesystem::path& iniPath);

// Reads the file as reader lines, lets `transform` build the new content,
// writes it to the copy and renames the copy over the file.
bool RewriteIniFile(const std::filesystem::path& iniPath,
                    const std::function<std::string(const std::vector<std::string>&)>& transform);

// The file without the sections of port n ([Pn], [PnINI], [PnDEINI],
// [PnCHAN0] ... [PnCHAN7]); every other line stays as it was.
std::string RemovePortSectionsText(const std::vector<std::string>& lines, int port);

// The sections of a port as they are appended when it is saved. Only radio
// channels with a window above 0 are written.
std::string FormatPortSections(int port, const PortRecord& record);

// The file with `name` replaced, appended or removed. A name starting with
// "[" is a section: its header line (any header beginning with the name) and
// the lines up to the next header go. Otherwise it is a key: every line whose
// key (text before "=") is exactly the name goes, in every section; a mere
// prefix does not count, so writing DEBUG keeps DEBUG-SRV. The new entry is
// written where the first old one stood. A key that was not there is added
// at the end of `keySection` (a header containing that text) so that the
// reader finds it; a section, or a key whose section is missing, is appended
// after an empty line.
std::string ApplyIniEntry(const std::vector<std::string>& lines, std::string_view name,
                          const IniValue& value, std::string_view keySection = {});

// The file with keys of one section set: in the first section whose header
// contains `section`, each key's first line takes the new value (later
// duplicates in the section go), and a key the section lacks is added after
// its last key line. Comments, blank lines and other keys stay where they
// are. A missing section is appended after an empty line.
using IniKeyValue = std::pair<std::string, std::string>;
std::string ApplySectionKeys(const std::vector<std::string>& lines, std::string_view section,
                             const std::vector<IniKeyValue>& keys);

// The keys written by name all live in this section.
inline constexpr std::string_view kKeySection = "[TARVIK]";

// File-level writers built on the transforms above.
bool RemovePortSections(const std::filesystem::path& iniPath, int port);
bool SavePortSections(const std::filesystem::path& iniPath, int port, const PortRecord& record);
bool WriteIniEntry(const std::filesystem::path& iniPath, std::string_view name,
                   const IniValue& value = {});
bool WriteSectionKeys(const std::filesystem::path& iniPath, std::string_view section,
                      const std::vector<IniKeyValue>& keys);

}  // namespace tarvik::core
