#pragma once
// The logbook: one line per finished connection in LOGPATH + own call +
// ".log", in time order, and its archives LOGPATH + yyyymmdd + ".lar".
//
// A line is "%-12.12s Ch %1.1s,%-12.12s  %-16.16s" (other station, radio
// channel, frequency text, start "dd.mm.yyyy hh:mm") followed by
// " - %-16.16s %-32.32s\n" (end, only "hh:mm" on the start's day of the
// month, and the remark). Start date and time are at characters 32 to 47.
//
// Every change rewrites its file whole through a temporary file and a
// rename: a program killed at any moment leaves the old or the new file.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::store {

// Columns of a logbook line.
inline constexpr std::size_t kLogStartAt = 32;
inline constexpr std::size_t kLogDisplayWidth = 100;
inline constexpr std::size_t kLogLineRead = 127;

std::string LogbookPath(const std::string& logPath, const std::string& ownCall);
// LOGPATH + yyyymmdd + ".lar"; nothing for a date that is none.
std::optional<std::string> ArchivePath(const std::string& logPath, std::string_view date);

// Adds a line (with its "\n") at the end of the logbook; false when it
// cannot be written, and the file is then as it was.
bool AppendLogbookLine(const std::string& path, std::string_view line);

// The display file's text for the list control: each line (up to 127
// characters read) without its line end, padded with blanks to 100
// characters or cut there, TAB over the characters 12, 31, 48 and 67.
std::string LogbookDisplayText(std::string_view logText);
// Writes the display file of a logbook or archive file (a missing one
// gives an empty list); false when the display file cannot be written.
bool WriteLogbookDisplay(const std::string& source, const std::string& display);

// yyyymmdd of "day.month.year" (the first three "."-separated numbers, the
// year ended by a blank or the end); nothing when it is not a date.
std::optional<long> DateKey(std::string_view date);

enum class ArchiveResult { Archived, Nothing, Failed };
// Moves the lines from the start of the logbook whose start date is not
// after `date` into the archive of that date, up to the first later line.
// An archive of that date already there keeps its lines: the new ones are
// added behind them.
ArchiveResult ArchiveLogbook(const std::string& logPath, const std::string& ownCall, std::string_view date);

}  // namespace tarvik::store
