#pragma once
// A mailbox definition: how one type of mailbox talks, from a "[BOX-n]"
// section of the configuration. Each line holds a key anywhere in it; the
// value runs from after "=" to a TAB or the line's end, blanks kept.
//   PROMPT=  the prompt, up to three parts separated by "*", with macros
//   C_START= text that starts a check list;   C_LINE= its line format
//   L_START= text that starts a file list;    L_LINE= its line format
//   L_FILE=  text after which a file list names its board
//   READ=    the read command of the check-list window ("!FNUM", "!FILE"
//            and "!MBX" stand for the entry's fields)
//   IGNORE=  lines that contain it are never recorded

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script/mailbox_lines.h"

namespace tarvik::script {

struct MailboxDefinition {
  std::string prompt;  // expanded, before it is split into parts
  std::string checkStart, fileStart, fileBoard, read, ignore;
  LineFormat checkLine, fileLine;
};

// The definition the lines of a section give; `expand` expands the
// macros of the prompt. Every value is cut to its limit.
MailboxDefinition ParseMailboxDefinition(const std::vector<std::string>& lines,
                                         const std::function<std::string(const std::string&)>& expand);

// The read command of the check-list window: the first "!FNUM" of the
// pattern replaced by the number, then the first "!FILE" by the board, then
// the first "!MBX" by the mailbox.
std::string ReadCommand(std::string_view pattern, std::string_view number, std::string_view file,
                        std::string_view mailbox);

}  // namespace tarvik::script
