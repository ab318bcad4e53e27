#include "core/message_service.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace tarvik::core {

namespace {

// The message file is read in lines of at most 254 characters; a longer line
// continues as the next line.
constexpr std::size_t kMaxLine = 254;

struct File {
  std::FILE* f = nullptr;
  explicit File(const std::string& path, const char* mode) : f(std::fopen(path.c_str(), mode)) {}
  ~File() {
    if (f) std::fclose(f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
};

bool readLine(std::FILE* f, std::string& line) {
  char buf[kMaxLine + 1];
  if (!std::fgets(buf, sizeof buf, f)) return false;
  line.assign(buf);
  return true;
}

// Reads a decimal integer of at most 11 characters at pos; advances pos.
long readNumber(const std::string& s, std::size_t& pos) {
  std::string digits;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) digits += s[pos++];
  while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])) && digits.size() < 11)
    digits += s[pos++];
  while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
  return std::strtol(digits.c_str(), nullptr, 10);
}

void skipBlanks(const std::string& s, std::size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
}

bool isMessageLine(const std::string& line) {
  return !line.empty() && (std::isdigit(static_cast<unsigned char>(line[0])) || line[0] == '-');
}

// Splits a message line into number, level and text.
void parseMessageLine(const std::string& line, long& number, int& level, std::string& text) {
  std::size_t pos = 0;
  number = readNumber(line, pos);
  skipBlanks(line, pos);
  level = static_cast<int>(readNumber(line, pos));
  skipBlanks(line, pos);
  std::size_t end = line.find_first_of("\t\r\n", pos);
  text = line.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

constexpr std::size_t kDialogLineWidth = 79;
constexpr std::size_t kDialogLines = 3;
// A line is broken at a blank only from this column on.
constexpr std::size_t kDialogWrapFrom = 60;

}  // namespace

MessageService::MessageService(ui::Toolkit& toolkit, SettingsSource settings)
    : toolkit_(toolkit), settings_(std::move(settings)) {}

bool MessageService::lookup(int number, MessageLine& out) const {
  out = MessageLine{};
  File file(settings_().messageFile, "rb");
  if (!file.f) return false;
  std::string line;
  const long wanted = std::labs(static_cast<long>(number));
  while (readLine(file.f, line)) {
    if (!line.empty() && line[0] == '[') break;
    if (!isMessageLine(line)) continue;
    long n = 0;
    int level = 0;
    std::string text;
    parseMessageLine(line, n, level, text);
    out.level = level;
    if (std::labs(n) == wanted) {
      out.found = true;
      out.disabled = n < 0;
      out.text = text;
      return true;
    }
  }
  return true;
}

std::string MessageService::format(const std::string& raw, const std::string& text1,
                                   const std::string& text2, bool forDialog) {
  std::string s;
  s.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == 'n') {
      s += ' ';
      s += forDialog ? '\r' : ' ';
      ++i;
    } else {
      s += raw[i];
    }
  }
  // The first "%s" takes text 1 and the next one after it text 2. An empty
  // text still fills its place, so no bare "%s" ever reaches the operator; a
  // "%s" inside text 1 (a file name, a remote station's input) stays as it is.
  std::size_t pos = 0;
  for (const std::string* t : {&text1, &text2}) {
    std::size_t at = s.find("%s", pos);
    if (at == std::string::npos) break;
    s.replace(at, 2, *t);
    pos = at + t->size();
  }
  return s;
}

std::vector<std::string> MessageService::dialogLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t cr = text.find('\r', start);
    std::string line = text.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
    while (line.size() > kDialogLineWidth) {
      // Broken after a blank near the end of the line, else at the line's
      // width (a long path); the blank stays with the line, so the lines
      // put together again give the text unchanged.
      std::size_t cut = line.rfind(' ', kDialogLineWidth - 1);
      cut = cut != std::string::npos && cut + 1 >= kDialogWrapFrom ? cut + 1 : kDialogLineWidth;
      lines.push_back(line.substr(0, cut));
      line.erase(0, cut);
    }
    lines.push_back(line);
    if (cr == std::string::npos) break;
    start = cr + 1;
  }
  if (lines.size() < kDialogLines) lines.resize(kDialogLines);
  return lines;
}

void MessageService::answerLater(ui::WindowId window, int answer, int number) {
  toolkit_.post(window, ui::Event::user(kAnswerBase + answer, number));
}

void MessageService::ShowMessage(ui::WindowId window, int kind, int number,
                                 const std::string& text1, const std::string& text2,
                                 DefaultAnswer defaultAnswer) {
  MessageLine msg;
  const MessageSettings settings = settings_();
  if (!lookup(number, msg)) {
    // Without the message file there is no text to show but this one.
    toolkit_.errorBox("Dialogdatei " + settings.messageFile +
                      " konnte nicht ge\xF6" "ffnet werden.");
    answerLater(window, kAnswerYes, number);
    return;
  }
  if (msg.found && msg.disabled) {
    answerLater(window, kAnswerYes, number);
    return;
  }
  if (!msg.found) msg.text = "Dialog Nummer " + std::to_string(number) + " nicht konfiguriert!";

  if (kind == 1 && msg.level > 1) {
    if (msg.level == 3) toolkit_.beep();
    toolkit_.sendUser(taskWindow_, kEvtStatusField0, 0,
                      std::make_unique<ui::TextPayload>(format(msg.text, text1, text2, false)));
    answerLater(window, kAnswerYes, number);
    return;
  }
  if (kind == 1) toolkit_.sendUser(taskWindow_, kEvtStatusClear);
  if (kind < 1 || kind > 4) {
    answerLater(window, kAnswerYes, number);
    return;
  }
  showDialog(window, kind, number, format(msg.text, text1, text2, true), defaultAnswer);
}

void MessageService::ShowMessageNumber(ui::WindowId window, int kind, int number, long value,
                                       const std::string& text2) {
  ShowMessage(window, kind, number, std::to_string(value), text2);
}

void MessageService::showDialog(ui::WindowId window, int kind, int number,
                                const std::string& text, DefaultAnswer defaultAnswer) {
  const MessageSettings settings = settings_();
  const bool batch = settings.flags.size() > 4 && settings.flags[4] == '1';
  if (batch) {
    if (settings.flags.size() > 5 && settings.flags[5] == '1') {
      File log(settings.logPath + "batch.log", "ab");
      if (log.f) std::fprintf(log.f, "%s\n", text.c_str());
    }
    answerLater(window, kAnswerYes, number);
    return;
  }
  // Dialogs 1610 (notice) and 1640 (error) only acknowledge; 1620 asks yes or
  // no; 1630 adds cancel.
  ui::DialogButtons buttons;
  buttons.no = kind == 2 || kind == 3;
  buttons.cancel = kind == 3;
  // No can only be the default where there is a No to give.
  buttons.defaultNo = buttons.no && defaultAnswer == DefaultAnswer::No;
  std::vector<std::string> lines = dialogLines(text);
  const int dialogNumber = 1600 + kind * 10;
  auto done = [this, window, number](int answer) { answerLater(window, answer, number); };
  // The dialog is a form of its window description when the form runtime
  // can build one; otherwise the toolkit's own dialog asks the same.
  if (presenter_) {
    DialogRequest request{window, kind, number, dialogNumber, lines, done, buttons.defaultNo};
    if (presenter_(request)) return;
  }
  toolkit_.messageDialog(dialogNumber, "Tarvik", lines, buttons, std::move(done));
}

void MessageService::ShowGroupMessage(int group, int number) {
  File file(settings_().messageFile, "rb");
  if (!file.f) return;
  const std::string tag = "[" + std::to_string(group) + "]";
  std::string line;
  bool inGroup = false;
  while (readLine(file.f, line)) {
    if (!line.empty() && line[0] == '[') {
      if (inGroup) return;  // the group ended without the message
      inGroup = line.find(tag) != std::string::npos;
      continue;
    }
    if (!inGroup || !isMessageLine(line)) continue;
    long n = 0;
    int level = 0;
    std::string text;
    parseMessageLine(line, n, level, text);
    if (std::labs(n) == std::labs(static_cast<long>(number))) {
      if (n < 0) return;
      toolkit_.sendUser(taskWindow_, kEvtStatusField0, 0,
                        std::make_unique<ui::TextPayload>(format(text, {}, {}, false)));
      return;
    }
  }
}

}  // namespace tarvik::core
