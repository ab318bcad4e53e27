#include "script/script.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tarvik::script {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The text up to the first blank, at most `limit` characters; `text` moves
// past that blank.
std::string TakeWord(std::string_view& text, std::size_t limit) {
  const std::size_t blank = text.find_first_of(" \t");
  std::string word(text.substr(0, std::min(blank, limit)));
  text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
  return word;
}

std::string FirstWord(std::string_view text, std::size_t limit) { return TakeWord(text, limit); }

// A label reference: an optional ":" and the name up to the next blank.
std::string LabelName(std::string_view text) {
  text = SkipBlanks(text);
  if (!text.empty() && text.front() == ':') text.remove_prefix(1);
  return FirstWord(text, kNameLimit);
}

// A decimal number as a script writes it; anything unreadable is 0 and
// everything is kept inside `int` so that counters never overflow.
long Number(std::string_view text) {
  const std::string s(text.substr(0, 11));
  const long value = std::strtol(s.c_str(), nullptr, 10);
  return std::clamp(value, static_cast<long>(INT_MIN / 2), static_cast<long>(INT_MAX / 2));
}

// "%name%" -> name; the text between the first and the second "%".
std::string PercentName(std::string_view text) {
  const std::size_t first = text.find('%');
  if (first == std::string_view::npos) return {};
  text.remove_prefix(first + 1);
  return std::string(text.substr(0, std::min(text.find('%'), kNameLimit)));
}

std::string Cut(std::string_view text, std::size_t limit) { return std::string(text.substr(0, limit)); }

}  // namespace

Script::Script(ScriptHost& host, const ui::LocalTime& created) : host_(host), reference_(DateNow(created)) {}

// --- starting and ending ---------------------------------------------------------------

bool Script::open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  return file_ != nullptr;
}

bool Script::Start(const std::string& path) {
  File previous = std::move(file_);
  if (!open(path)) {
    file_ = std::move(previous);  // the running script goes on
    return false;
  }
  path_ = Cut(path, 127);
  returnPath_.clear();
  returnPosition_ = 0;
  state_ = RunState::Running;
  timeout_ = -1;
  timeoutLabel_.clear();
  promptWait_ = false;
  host_.Running(true);
  scanLabels();
  host_.Wake();
  return true;
}

void Script::scanLabels() {
  while (!atEnd()) {
    const std::string line = readLine();
    if (!line.empty() && line.front() == ':') defineLabel(std::string_view(line).substr(1));
  }
  std::rewind(file_.get());
}

void Script::end() {
  state_ = RunState::Stopped;
  file_.reset();
  host_.Running(false);
}

void Script::Stop() {
  timeout_ = -1;
  state_ = RunState::Stopped;
  file_.reset();
  checkList_.clear();
  path_.clear();
  host_.Running(false);
}

// --- reading lines ---------------------------------------------------------------------

// A file that cannot be read on (a directory named as a script, a read
// error) ends like one that is read to its end.
bool Script::atEnd() const { return !file_ || std::feof(file_.get()) || std::ferror(file_.get()); }

std::string Script::readLine() {
  char buffer[kLineReadLimit + 1];
  if (!file_ || !std::fgets(buffer, sizeof buffer, file_.get())) return {};
  std::string line(buffer);  // a NUL byte in the file ends the line here
  const bool complete = line.find('\n') != std::string::npos;
  if (!complete && !std::feof(file_.get())) {
    // DECIDED: the rest of an over-long line is dropped up to its line
    // break; read as a line of its own it would run as a command that the
    // author never wrote.
    int c;
    while ((c = std::fgetc(file_.get())) != EOF && c != '\n') {
    }
  }
  if (const std::size_t nl = line.find('\n'); nl != std::string::npos) line.resize(nl);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  std::string_view text = SkipBlanks(line);
  return Cut(text, kLineBufferLimit);
}

// --- running ---------------------------------------------------------------------------

void Script::Continue() {
  yielded_ = false;
  if (!file_) return;
  int lines = 0;
  do {
    const std::string line = readLine();
    state_ = line.empty() ? RunState::Running : execute(line);
    if (!file_) {  // a call or return could not open its file
      end();
      return;
    }
    if (++lines >= kLinesPerEvent && state_ == RunState::Running && !atEnd()) {
      // A script that never waits goes on at the next tick, so that it can
      // never keep the event loop from timers, frames and the operator.
      yielded_ = true;
      return;
    }
  } while (!atEnd() && state_ == RunState::Running && !host_.SendingFile());
  if (!atEnd() && state_ != RunState::Stopped) return;
  end();
}

void Script::resume() {
  timeout_ = -1;
  promptWait_ = false;
  timeoutLabel_.clear();
  state_ = RunState::Running;
  host_.Wake();
}

bool Script::satisfies(std::string_view text) const {
  if (state_ == RunState::WaitPrompt) return IsPrompt(text);
  return state_ == RunState::WaitText && text.find(awaited_) != std::string_view::npos;
}

// The start of a line that an earlier wait took as a tail (the prompt
// without a line end, say) is not new: only what came after it counts, so
// that the prompt that ended one wait cannot end the next one as well when
// its line end arrives.
void Script::ReceivedLine(std::string_view line) {
  if (consumed_ > 0 && line.substr(0, consumed_) == std::string_view(tail_).substr(0, consumed_))
    line.remove_prefix(consumed_);
  consumed_ = 0;
  tail_.clear();
  if (!file_) return;
  switch (state_) {
    case RunState::WaitPrompt:
    case RunState::WaitText:
      if (satisfies(line)) resume();
      break;
    case RunState::WaitLine: {
      while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
      if (line.empty()) break;
      variables_.Define(awaited_, line.substr(0, kValueLimit));
      resume();
      break;
    }
    default: break;
  }
}

void Script::ReceivedTail(std::string_view tail) {
  tail = tail.substr(0, kTailLimit);
  if (tail.substr(0, consumed_) != std::string_view(tail_).substr(0, consumed_)) consumed_ = 0;  // not the same line
  tail_ = std::string(tail);
  if (!file_ || consumed_ >= tail_.size()) return;
  if (satisfies(std::string_view(tail_).substr(consumed_))) {
    consumed_ = tail_.size();
    resume();
  }
}

// A wait that begins looks at the tail already received and not yet taken
// by a wait: a fast mailbox's prompt often arrives together with the
// connection, before the script's first wait.
RunState Script::wait(RunState state) {
  state_ = state;
  if (consumed_ < tail_.size() && satisfies(std::string_view(tail_).substr(consumed_))) {
    consumed_ = tail_.size();
    timeout_ = -1;
    promptWait_ = false;
    timeoutLabel_.clear();
    return RunState::Running;
  }
  return state;
}

// What the script sends asks for a new answer: the tail received so far
// answers something earlier and satisfies no later wait.
void Script::sent() { consumed_ = tail_.size(); }

void Script::Tick() {
  if (yielded_ && file_) {
    yielded_ = false;
    host_.Wake();
  }
  if (state_ == RunState::Delay && delay_ >= 0) {
    if (delay_ == 0) host_.Wake();
    --delay_;
  }
  if (timeout_ >= 0) {
    if (timeout_ == 0) {
      if (!timeoutLabel_.empty()) jump(timeoutLabel_);
      // DECIDED: the timed-out wait is over at once; left in its wait
      // state, a matching line arriving before the continue event would
      // post a second one and skip the script's next wait.
      if (state_ != RunState::Stopped) state_ = RunState::Running;
      promptWait_ = false;
      host_.Wake();
    }
    --timeout_;
  }
}

void Script::FileSendDone() {
  if (file_) host_.Wake();
}

// --- macros and prompt -----------------------------------------------------------------

std::string Script::Expand(std::string_view text) {
  const ChannelFacts facts = host_.Facts();
  MacroContext context{facts.myCall, facts.yourCall, facts.yourName, facts.lastCon, facts.now,
                       &reference_,  &gpsStart_,     &gpsEnd_,       &variables_};
  return script::Expand(text, context);
}

bool Script::IsPrompt(std::string_view text) const {
  bool any = false;
  for (std::size_t i = 0; i < prompt_.size(); ++i) {
    if (prompt_[i].empty()) continue;
    any = true;
    const std::size_t at = text.find(prompt_[i]);
    if (at == std::string_view::npos || (i == 0 && at != 0)) return false;
  }
  return any;
}

void Script::SetPrompt(std::string_view definition) {
  for (std::string& part : prompt_) part.clear();
  for (std::size_t i = 0; i < prompt_.size(); ++i) {
    const std::size_t star = i + 1 < prompt_.size() ? definition.find('*') : std::string_view::npos;
    prompt_[i] = Cut(definition.substr(0, star), kPromptPartLimit);
    if (star == std::string_view::npos) break;
    definition.remove_prefix(star + 1);
  }
}

// --- commands --------------------------------------------------------------------------

RunState Script::execute(const std::string& line) {
  const std::string_view rest = std::string_view(line).substr(1);
  switch (line.front()) {
    case '#': return RunState::Running;
    case ':': defineLabel(rest); return RunState::Running;
    case '/':
      sent();
      host_.SendLine(Expand(rest));
      return RunState::Running;
    case '?': return waitFor(rest);
    case '!': host_.RemoteCommand(std::string(rest), true); return RunState::Running;
    case '.': {
      sent();
      const std::string command = Expand(rest);
      host_.Notice("." + command);
      host_.RemoteCommand(command, false);
      return RunState::Running;
    }
    default: break;
  }
  std::string_view argument = line;
  std::string word = TakeWord(argument, kNameLimit);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

  if (word == "send" || word == "readmail" || word == "sendmail" || word == "disconnect" || word == "passwd")
    sent();
  if (word == "send") host_.SendLine(Expand(argument));
  else if (word == "waitfor") return waitFor(argument);
  else if (word == "goto") jump(LabelName(argument));
  else if (word == "loop") loop(argument);
  else if (word == "log") log(argument);
  else if (word == "if") branch(argument, true);
  else if (word == "ifn") branch(argument, false);
  else if (word == "call") call(argument);
  else if (word == "return") doReturn();
  else if (word == "set") set(argument);
  else if (word == "inc") inc(argument);
  else if (word == "disconnect") {
    timeout_ = -1;
    host_.Disconnect(*this);
  } else if (word == "delay") {
    delay_ = static_cast<int>(Number(FirstWord(argument, 11)));
    return RunState::Delay;
  } else if (word == "readln") return readLn(argument);
  else if (word == "stop") return RunState::Stopped;
  else if (word == "readmail") host_.ReadMail(std::string(argument));
  else if (word == "sendmail") host_.SendMail();
  else if (word == "checklist") host_.CheckListToRequests(*this);
  else if (word == "clearlist") {
    checkList_.clear();
    host_.ClearList();
  } else if (word == "passwd") host_.ArmPassword();
  else if (word == "tokenize") tokenize(argument);
  else if (word == "export") exportFile(argument);
  else if (word == "gpsstart") gps(argument, gpsStart_);
  else if (word == "gpsend") gps(argument, gpsEnd_);
  else {
    host_.Notice(host_.InvalidCommandText());
    host_.Notice(line);
  }
  return RunState::Running;
}

void Script::defineLabel(std::string_view name) {
  const std::string label = FirstWord(name, kNameLimit);
  const int index = variables_.Define(label, "0");
  if (index < 0 || !file_) return;
  Variable* v = variables_.Get(label);
  v->position = std::ftell(file_.get());
}

void Script::jump(std::string_view label) {
  const Variable* v = variables_.Get(label);
  if (!v || !v->position || !file_) return;
  std::fseek(file_.get(), *v->position, SEEK_SET);  // also clears the end-of-file flag
}

void Script::timeoutPart(std::string_view& argument) {
  const std::size_t at = argument.find('@');
  if (at == std::string_view::npos) return;
  std::string_view after = argument.substr(at + 1);
  argument = TrimRight(argument.substr(0, at));
  timeout_ = static_cast<int>(Number(TakeWord(after, 11)));
  timeoutLabel_ = LabelName(after);
}

RunState Script::waitFor(std::string_view argument) {
  timeoutPart(argument);
  if (argument.find("PROMPT") != std::string_view::npos) {
    promptWait_ = true;
    return wait(RunState::WaitPrompt);
  }
  awaited_ = Cut(Expand(argument), kValueLimit);
  return wait(RunState::WaitText);
}

RunState Script::readLn(std::string_view argument) {
  timeoutPart(argument);
  argument = SkipBlanks(argument);
  awaited_ = !argument.empty() && argument.front() == '%' ? PercentName(argument) : Cut(argument, kNameLimit);
  return RunState::WaitLine;
}

void Script::loop(std::string_view argument) {
  const std::string label = LabelName(argument);
  argument = SkipBlanks(argument);
  if (!argument.empty() && argument.front() == ':') argument.remove_prefix(1);
  TakeWord(argument, kNameLimit);
  Variable* v = variables_.Get(label);
  if (!v || !v->position) return;
  if (v->counter == 0) v->counter = Number(FirstWord(argument, 11));
  v->counter -= 1;
  if (v->counter > 0) {
    v->value = std::to_string(Number(v->value) + 1);
    jump(label);
  }
}

bool Script::condition(std::string_view text) {
  if (text == "CHECK_LIST_EMPTY") {
    if (checkList_.empty()) return true;
    const std::string entry = std::move(checkList_.front());
    checkList_.pop_front();
    host_.CheckListEntry(entry, variables_);
    return false;
  }
  if (text == "SEND_MAIL_EMPTY") return !host_.MailWaiting();
  auto side = [this](std::string_view s) {
    s = TrimRight(s);
    if (!s.empty() && s.front() == '%') return variables_.Value(PercentName(s));
    return std::string(s);
  };
  for (const char op : {'=', '~'}) {
    const std::size_t at = text.find(op);
    if (at == std::string_view::npos) continue;
    const std::string left = side(text.substr(0, at));
    std::string_view right = text.substr(at + 1);
    right = right.substr(0, right.find('#'));
    const std::string r = side(right);
    return op == '=' ? left == r : r.find(left) != std::string::npos;
  }
  if (!text.empty() && text.front() == '%') return variables_.Find(PercentName(text)) >= 0;
  // DECIDED: anything else, the empty condition among it, is false.
  return false;
}

void Script::branch(std::string_view argument, bool when) {
  const std::size_t open = argument.find('(');
  if (open == std::string_view::npos) return;  // no condition: no jump
  argument.remove_prefix(open + 1);
  const std::size_t close = argument.find(')');
  const std::string_view text = TrimRight(argument.substr(0, std::min(close, kConditionLimit)));
  const std::string label =
      close == std::string_view::npos ? std::string() : LabelName(argument.substr(close + 1));
  if (condition(text) == when && !label.empty()) jump(label);
}

void Script::call(std::string_view argument) {
  returnPosition_ = file_ ? std::ftell(file_.get()) : 0;
  if (file_) {
    file_.reset();
    host_.Running(false);
  }
  returnPath_ = path_;
  path_ = FirstWord(SkipBlanks(argument), 127);
  if (!open(path_)) return;
  host_.Running(true);
  scanLabels();
}

void Script::doReturn() {
  if (returnPath_.empty()) return;
  file_.reset();
  host_.Running(false);
  path_ = returnPath_;
  const long position = returnPosition_;
  returnPath_.clear();
  returnPosition_ = 0;
  if (!open(path_)) return;
  host_.Running(true);
  std::fseek(file_.get(), position, SEEK_SET);
}

void Script::set(std::string_view argument) {
  if (!argument.empty() && argument.front() == ':') argument.remove_prefix(1);
  std::string name;
  if (const std::size_t eq = argument.find('='); eq != std::string_view::npos) {
    name = Cut(argument.substr(0, eq), kNameLimit);
    argument.remove_prefix(eq + 1);
  } else {
    name = TakeWord(argument, kNameLimit);
  }
  if (name == "PROMPT") {
    SetPrompt(Expand(argument));
    return;
  }
  const std::string value = FirstWord(argument, kValueLimit);
  if (value.empty()) {
    variables_.Delete(name);
    return;
  }
  if (variables_.Define(name, value) < 0) return;  // the table is full
  variables_.Get(name)->counter = Number(value);
}

void Script::inc(std::string_view argument) {
  const std::string name = TakeWord(argument, kNameLimit);
  const std::string amount = FirstWord(argument, 11);
  Variable* v = variables_.Get(name);
  if (!v) return;
  v->counter = std::clamp(v->counter + (amount.empty() ? 1 : Number(amount)), static_cast<long>(INT_MIN / 2),
                          static_cast<long>(INT_MAX / 2));
  v->value = std::to_string(v->counter);
}

void Script::log(std::string_view argument) {
  const std::string text = Expand(argument);
  const ui::LocalTime now = host_.Facts().now;
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d.log", now.year, now.month);
  File out(std::fopen((host_.LogPath() + name).c_str(), "ab"));
  if (!out) return;  // a log that cannot be written is skipped
  std::fwrite(text.data(), 1, text.size(), out.get());
  std::fputc('\n', out.get());
}

void Script::tokenize(std::string_view argument) {
  for (int i = 1; i <= kTokenCount; ++i) variables_.Delete("T" + std::to_string(i));
  argument = SkipBlanks(argument);
  if (argument.empty() || argument.front() != '%') return;
  const Variable* source = variables_.Get(PercentName(argument));
  if (!source) return;
  const std::string value = source->value;  // the table changes below
  std::string_view rest = value;
  for (int i = 1; i <= kTokenCount; ++i) {
    const std::size_t blank = rest.find(' ');
    const std::string_view word = rest.substr(0, blank);
    const std::string name = "T" + std::to_string(i);
    if (variables_.Define(name, word.substr(0, kValueLimit)) >= 0)
      variables_.Get(name)->counter = Number(word);
    if (blank == std::string_view::npos) break;
    rest.remove_prefix(blank + 1);
  }
}

void Script::exportFile(std::string_view argument) {
  const std::string expanded = Expand(argument);
  const std::string name = FirstWord(SkipBlanks(expanded), 127);
  const std::string source = host_.CurrentDirectory() + name;
  const std::string target = host_.ExportDirectory() + name;
  // DECIDED: the name is a file name only; a name that leaves the directory
  // (it may come from received text through a variable) is not copied.
  const bool plain = !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
  std::error_code error;
  if (plain && std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error)) {
    std::filesystem::remove(source, error);
    return;
  }
  host_.CopyFailed("DosCopy " + source + " nach " + target);
}

void Script::gps(std::string_view argument, DateRecord& record) {
  std::string text = Expand(argument);
  std::size_t sign = text.find('+');
  if (sign == std::string::npos) sign = text.find('-');
  long offset = 0;
  if (sign != std::string::npos) {
    offset = std::strtol(text.substr(sign, 12).c_str(), nullptr, 10);
    text.resize(sign);
  }
  record = DateParse(text);
  if (offset != 0) DateAddSeconds(static_cast<double>(offset), record);
}

}  // namespace tarvik::script
