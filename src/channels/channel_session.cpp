#include "channels/channel_session.h"

#include <cctype>
#include <cstdio>

namespace tarvik::channels {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view t, std::size_t i) {
  while (i < t.size() && IsBlank(t[i])) ++i;
  return i;
}

std::string Capitals(std::string_view t) {
  std::string out(t);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The number of a port or radio channel field: at most two characters, read
// as far as they are digits.
int SmallNumber(std::string_view field) {
  int n = 0;
  for (std::size_t i = 0; i < field.size() && i < 2; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(field[i]))) break;
    n = n * 10 + (field[i] - '0');
  }
  return n;
}

// The digipeaters inside "( ... )" starting at `open`; `end` receives the
// place after ")". Nothing for an unclosed list, a call that does not parse
// or more than eight calls.
std::optional<ax25::ViaList> ReadViaList(std::string_view t, std::size_t open, std::size_t& end) {
  const std::size_t close = t.find(')', open);
  if (close == std::string_view::npos) return std::nullopt;
  end = close + 1;
  std::string_view inner = t.substr(open + 1, close - open - 1);
  if (inner.size() > kViaTextCapacity) inner = inner.substr(0, kViaTextCapacity);
  ax25::ViaList via{};
  std::size_t count = 0;
  std::size_t i = 0;
  while ((i = SkipBlanks(inner, i)) < inner.size()) {
    std::size_t j = i;
    while (j < inner.size() && !IsBlank(inner[j])) ++j;
    const auto call = ax25::ParseCall(inner.substr(i, j - i));
    if (!call || call->empty() || count == ax25::kMaxVia) return std::nullopt;
    via[count++] = *call;
    i = j;
  }
  return via;
}

std::string ViaText(std::string_view t, std::size_t open, std::size_t& end) {
  const std::size_t close = t.find(')', open);
  end = close == std::string_view::npos ? t.size() : close + 1;
  std::string_view inner = t.substr(open + 1, (close == std::string_view::npos ? t.size() : close) - open - 1);
  if (inner.size() > kViaTextCapacity) inner = inner.substr(0, kViaTextCapacity);
  // Blanks at either end would show up doubled in the node command.
  std::size_t a = SkipBlanks(inner, 0);
  std::size_t b = inner.size();
  while (b > a && IsBlank(inner[b - 1])) --b;
  return std::string(inner.substr(a, b - a));
}

}  // namespace

// --- connect texts ---------------------------------------------------------------

std::optional<ConnectTarget> ParseConnectText(std::string_view text) {
  ConnectTarget target;
  std::size_t i = SkipBlanks(text, 0);
  // Port and radio channel belong to the first word; a ":" further on is
  // part of a path item (a node alias) and leaves them at 0.
  std::size_t wordEnd = i;
  while (wordEnd < text.size() && !IsBlank(text[wordEnd]) && text[wordEnd] != '(') ++wordEnd;
  const std::string_view first = text.substr(i, wordEnd - i);
  if (const std::size_t colon = first.find(':'); colon != std::string_view::npos) {
    target.port = SmallNumber(first.substr(0, colon));
    i += colon + 1;
    const std::string_view after = first.substr(colon + 1);
    if (const std::size_t second = after.find(':'); second != std::string_view::npos) {
      target.radioChannel = SmallNumber(after.substr(0, second));
      i += second + 1;
    }
  }
  std::size_t j = i;
  while (j < text.size() && !IsBlank(text[j]) && text[j] != '(') ++j;
  const std::string_view word = text.substr(i, j - i);
  if (word.size() > kCallWordCapacity) return std::nullopt;  // no call is that long
  target.requestedCall = Capitals(word);
  const auto remote = ax25::ParseCall(target.requestedCall);
  if (!remote || remote->empty()) return std::nullopt;
  target.remote = *remote;

  i = SkipBlanks(text, j);
  if (i < text.size() && text[i] == '(') {
    std::size_t end = i;
    const auto via = ReadViaList(text, i, end);
    if (!via) return std::nullopt;
    target.via = *via;
    i = SkipBlanks(text, end);
  }
  target.path = std::string(text.substr(i));
  return target;
}

int CheckConnectPort(const core::PortTable& ports, int port, int radioChannel) {
  const core::PortRecord* record = ports.Find(port);
  if (!record || !record->open()) return 21;
  if (radioChannel < 0 || radioChannel >= core::kRadioChannelCount ||
      !record->channels[static_cast<std::size_t>(radioChannel)].configured())
    return 22;
  return 0;
}

int ChooseOwnSsid(int firstSsid, const ax25::AddressRecord& remote, const ax25::ChannelTable& table) {
  const int start = ((firstSsid % 16) + 16) % 16;
  for (int k = 0; k < 16; ++k) {
    const int ssid = (start + k) % 16;
    bool used = false;
    for (const ax25::ChannelSlot& slot : table.slots)
      if (slot.inUse() && !slot.own.empty() && slot.own.ssid == ssid &&
          ax25::SameAddress(slot.remote, remote))
        used = true;
    if (!used) return ssid;
  }
  return start;
}

// --- received text ------------------------------------------------------------------

std::vector<ReceivedPiece> LineAssembler::Take(std::span<const std::uint8_t> bytes) {
  std::vector<ReceivedPiece> out;
  std::string piece;
  auto finish = [&] {
    ReceivedPiece p;
    p.continues = partialShown_;
    p.complete = true;
    p.line = partial_ + piece;
    p.text = std::move(piece);
    out.push_back(std::move(p));
    piece.clear();
    partial_.clear();
    partialShown_ = false;
  };
  for (const std::uint8_t b : bytes) {
    // A NUL would end the text for every C string routine further on.
    if (b == '\n' || b == 0) continue;
    if (b == '\r') {
      finish();
      continue;
    }
    piece += static_cast<char>(b);
    if (partial_.size() + piece.size() >= kLineLimit) finish();
  }
  if (!piece.empty()) {
    ReceivedPiece p;
    p.continues = partialShown_;
    p.text = piece;
    out.push_back(std::move(p));
    partial_ += piece;
    partialShown_ = true;
  }
  return out;
}

// --- the input line ---------------------------------------------------------------------

void InputHistory::Store(std::string line) {
  newest_ = (newest_ + 1) % kHistorySize;
  entries_[static_cast<std::size_t>(newest_)] = std::move(line);
  place_ = newest_;
  if (stored_ < kHistorySize) ++stored_;
}

// The place moves among the lines sent so far: before ten have been sent the
// empty places are skipped, and the ends meet.
int InputHistory::Step(int place, int by) const {
  const int next = (place + by + kHistorySize) % kHistorySize;
  const int age = (newest_ - next + kHistorySize) % kHistorySize;
  if (age < stored_) return next;
  return by < 0 ? newest_ : (newest_ - stored_ + 1 + kHistorySize) % kHistorySize;
}

const std::string& InputHistory::Up() {
  const std::string& entry = entries_[static_cast<std::size_t>(place_)];
  if (stored_ > 0) place_ = Step(place_, -1);
  return entry;
}

const std::string& InputHistory::Down() {
  if (stored_ > 0) place_ = Step(place_, 1);
  return entries_[static_cast<std::size_t>(place_)];
}

InputAction ClassifyInput(std::string_view line) {
  InputAction a;
  std::string s(line);
  if (!s.empty() && s[0] == '^') s = s.size() > 1 ? "\x01" + s.substr(1) : std::string();
  if (!s.empty() && s[0] == '~') {
    a.kind = InputKind::Ui;
    a.shown = s.substr(1);
    a.send = a.shown + "\r";
    return a;
  }
  if (s.size() >= 3 && s.compare(0, 3, "!//") == 0) {
    a.kind = InputKind::Local;
    a.send = s.substr(1);
    return a;
  }
  a.shown = s;
  if (!s.empty() && s.back() == '^') {
    s.pop_back();  // the operator asked for no line end
    a.send = s;
  } else {
    a.send = s + "\r";
  }
  return a;
}

std::optional<WrappedInput> WrapInput(std::string_view text, std::size_t maxLength) {
  if (maxLength == 0 || text.size() + 1 < maxLength) return std::nullopt;
  const std::size_t from = text.size() > kWrapWindow ? text.size() - kWrapWindow : 0;
  WrappedInput w;
  const std::size_t blank = text.find_last_of(' ');
  if (blank != std::string_view::npos && blank >= from) {
    w.first = std::string(text.substr(0, blank));
    w.rest = std::string(text.substr(blank + 1));
  } else {
    w.first = std::string(text);  // no place to break: the whole line goes
  }
  if (!text.empty() && text[0] == '~' && !w.rest.empty()) w.rest.insert(0, "~");
  return w;
}

// --- connect paths -----------------------------------------------------------------------

ConnectPath::ConnectPath(std::string requestedCall, std::string items, bool quiet)
    : requested_(std::move(requestedCall)), items_(std::move(items)), quiet_(quiet), active_(true) {}

PathStep ConnectPath::Connected(std::string_view connectedCall) {
  if (!active_) return {};
  if (!SameCall(requested_, connectedCall)) {
    active_ = false;
    return {PathStep::Kind::WrongStation, requested_, quiet_};
  }
  for (;;) {
    next_ = SkipBlanks(items_, next_);
    if (next_ >= items_.size()) {
      active_ = false;  // the last station of the path is reached
      return {};
    }
    if (items_[next_] == '(') {  // a digipeater list without a hop before it
      std::size_t end = next_;
      ViaText(items_, next_, end);
      next_ = end;
      continue;
    }
    std::size_t j = next_;
    while (j < items_.size() && !IsBlank(items_[j]) && items_[j] != '(') ++j;
    const std::string item = items_.substr(next_, j - next_);
    next_ = j;
    if (item[0] == '@') {
      active_ = false;
      return {PathStep::Kind::RunScript, item.substr(1)};
    }
    if (item[0] == '#') return {};
    std::string hop = Capitals(std::string_view(item).substr(0, kHopCapacity));
    requested_ = hop;
    if (hop.size() < 4) {
      active_ = false;
      return {PathStep::Kind::Failed, hop};
    }
    std::string command = "c " + hop;
    const std::size_t k = SkipBlanks(items_, next_);
    if (k < items_.size() && items_[k] == '(') {
      std::size_t end = k;
      const std::string via = ViaText(items_, k, end);
      next_ = end;
      if (!via.empty()) command += " " + via;
    }
    return {PathStep::Kind::SendConnect, command};
  }
}

std::optional<std::string> NodeReportCall(std::string_view line, const core::ConfigList* texts) {
  if (!texts) return std::nullopt;
  for (const core::ConfigListEntry& entry : *texts) {
    if (entry.text.empty()) continue;
    const std::size_t at = line.find(entry.text);
    if (at == std::string_view::npos) continue;
    std::size_t i = SkipBlanks(line, at + entry.text.size());
    if (i >= line.size()) continue;
    std::string call;
    bool ok = true;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (c == ':') {  // a node alias before the call
        call.clear();
        continue;
      }
      if (static_cast<unsigned char>(c) <= ',' || call.size() >= kHopCapacity) {
        ok = false;
        break;
      }
      call += c;
    }
    if (ok && call.size() >= 3) return call;
  }
  return std::nullopt;
}

bool SameCall(std::string_view a, std::string_view b) {
  const auto x = ax25::ParseCall(a);
  const auto y = ax25::ParseCall(b);
  if (x && y && !x->empty()) return ax25::SameAddress(*x, *y);
  return a == b;
}

// --- station files and the log -------------------------------------------------------------

std::string StationFileName(std::string_view call) {
  const std::size_t dash = call.find('-');
  std::string name(call.substr(0, std::min<std::size_t>(dash, 8)));
  if (dash == std::string_view::npos) return name;
  const std::string_view digits = call.substr(dash + 1);
  if (digits.empty() || digits.size() > 2) return name;
  int ssid = 0;
  for (const char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return name;
    ssid = ssid * 10 + (c - '0');
  }
  if (ssid <= 15) name += static_cast<char>('a' + ssid);
  return name;
}

std::string ConnectionLogLine(std::string_view remote, std::string_view radioChannel,
                              std::string_view qrg, std::string_view connectTime,
                              std::string_view endTime, std::string_view remark) {
  std::string end(endTime);
  if (endTime.size() > 11 && connectTime.size() >= 2 && endTime.substr(0, 2) == connectTime.substr(0, 2))
    end = std::string(endTime.substr(11));
  char head[160];
  std::snprintf(head, sizeof head, "%-12.12s Ch %1.1s,%-12.12s  %-16.16s", std::string(remote).c_str(),
                std::string(radioChannel).c_str(), std::string(qrg).c_str(),
                std::string(connectTime).c_str());
  char tail[160];
  std::snprintf(tail, sizeof tail, " - %-16.16s %-32.32s\n", end.c_str(), std::string(remark).c_str());
  return std::string(head) + tail;
}

}  // namespace tarvik::channels
