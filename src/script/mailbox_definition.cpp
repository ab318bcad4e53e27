#include "script/mailbox_definition.h"

namespace tarvik::script {

namespace {

constexpr std::size_t kValueSize = 127;
constexpr std::size_t kShortValueSize = 63;

// The value of a key that occurs in the line: after "=" up to a TAB.
bool ValueOf(const std::string& line, std::string_view key, std::size_t limit, std::string& value) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return false;
  std::string_view rest = std::string_view(line).substr(at + key.size());
  rest = rest.substr(0, rest.find('\t'));
  value = std::string(rest.substr(0, limit));
  return true;
}

void ReplaceFirst(std::string& text, std::string_view what, std::string_view with) {
  if (const std::size_t at = text.find(what); at != std::string::npos) text.replace(at, what.size(), with);
}

}  // namespace

MailboxDefinition ParseMailboxDefinition(const std::vector<std::string>& lines,
                                         const std::function<std::string(const std::string&)>& expand) {
  // DECIDED: every value starts empty, the line formats and IGNORE too, so
  // that no value of the mailbox met before applies to this one.
  MailboxDefinition d;
  std::string value;
  for (const std::string& line : lines) {
    if (ValueOf(line, "C_START=", kValueSize, value)) d.checkStart = value;
    else if (ValueOf(line, "L_START=", kValueSize, value)) d.fileStart = value;
    else if (ValueOf(line, "READ=", kShortValueSize, value)) d.read = value;
    else if (ValueOf(line, "IGNORE=", kShortValueSize, value)) d.ignore = value;
    else if (ValueOf(line, "L_FILE=", kValueSize, value)) d.fileBoard = value;
    else if (ValueOf(line, "C_LINE=", kValueSize, value)) d.checkLine = CompileLineFormat(value);
    else if (ValueOf(line, "L_LINE=", kValueSize, value)) d.fileLine = CompileLineFormat(value);
    else if (ValueOf(line, "PROMPT=", kValueSize, value)) d.prompt = expand ? expand(value) : value;
  }
  return d;
}

std::string ReadCommand(std::string_view pattern, std::string_view number, std::string_view file,
                        std::string_view mailbox) {
  std::string command(pattern);
  ReplaceFirst(command, "!FNUM", number);
  ReplaceFirst(command, "!FILE", file);
  ReplaceFirst(command, "!MBX", mailbox);
  return command;
}

}  // namespace tarvik::script
