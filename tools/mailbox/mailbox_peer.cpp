#include "tools/mailbox/mailbox_peer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "ax25/link.h"
#include "channels/channel_window.h"

namespace tarvik::tools {

namespace {

using channels::ChannelWindow;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

class MailboxPeer final : public channels::ChannelPart {
 public:
  explicit MailboxPeer(MailboxBook& book) : book_(book) {}

  channels::LineStage stage() const override { return channels::LineStage::Remote; }
  void Closing(ChannelWindow&) override { tell(user_ + " disconnected"); }

  void Connected(ChannelWindow& ch) override {
    call_ = ax25::LinkInfo(ch.toolkit(), ch.link(), 2).value_or("BBS");
    if (const std::size_t dash = call_.find('-'); dash != std::string::npos) call_.resize(dash);
    user_ = ch.remoteText();
    tell(user_ + " connected");
    send(ch, "Welcome to " + call_ + ", the Tarvik test mailbox.\rLog in with PW, list with L, read with R n.\r");
    prompt(ch);
  }

  channels::LineResult Line(ChannelWindow& ch, const std::string& line) override {
    book_.heard.push_back(line);
    switch (state_) {
      case State::Challenge: answer(ch, line); break;
      case State::Subject:
        incoming_.subject = line;
        state_ = State::Text;
        break;
      case State::Text:
        if (line.rfind("NNNN", 0) == 0 || line == "\x1a") {
          incoming_.number = 200 + static_cast<int>(book_.received.size());
          book_.received.push_back(incoming_);
          tell("stored message " + std::to_string(incoming_.number) + " from " + user_ + " for " + incoming_.to +
               ": " + incoming_.subject);
          send(ch, "\rMessage stored as " + std::to_string(incoming_.number) + ".\r");
          state_ = State::Command;
          prompt(ch);
        } else {
          incoming_.lines.push_back(line);
        }
        break;
      case State::Command: command(ch, line); break;
    }
    return channels::LineResult::Taken;
  }

 private:
  enum class State { Command, Challenge, Subject, Text };

  void tell(const std::string& text) {
    if (book_.log) book_.log(text);
  }
  void send(ChannelWindow& ch, const std::string& text) { ch.SendText(text); }
  void prompt(ChannelWindow& ch) { send(ch, call_ + ">"); }

  void command(ChannelWindow& ch, const std::string& line) {
    const std::string word = Upper(line.substr(0, line.find(' ')));
    const std::string rest = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    if (word == "B" || word == "Q") {
      send(ch, "\r73 de " + call_ + "\r");
      tell(user_ + " left");
      ch.Disconnect(false);
      return;
    }
    if (word == "PW") {
      challenge_.clear();
      std::string numbers;
      const int length = static_cast<int>(book_.password.size());
      for (int i = 0; i < 5 && length > 0; ++i) {
        const int n = (seed_ = seed_ * 7 + 3) % length + 1;
        challenge_ += book_.password[static_cast<std::size_t>(n - 1)];
        numbers += " " + std::to_string(n);
      }
      send(ch, "\rChallenge>" + numbers + "\r");
      state_ = State::Challenge;
      return;
    }
    if (!loggedIn_) {
      send(ch, "\rPlease log in with PW first.\r");
    } else if (word == "L") {
      send(ch, "\rMsg#  From      Board     Date      Bytes  Subject\r");
      for (const PeerMessage& m : book_.messages)
        if (!m.read) send(ch, Row(m));
    } else if (word == "R") {
      const int number = std::atoi(rest.c_str());
      auto m = std::find_if(book_.messages.begin(), book_.messages.end(),
                            [number](const PeerMessage& x) { return x.number == number; });
      if (m == book_.messages.end()) {
        send(ch, "\rNo message " + rest + ".\r");
      } else {
        send(ch, "\rFrom: " + m->from + " @ " + call_ + " (" + m->from + ")\rTo:   " + m->to + "\rDate: " + m->date +
                     "\rSubject: " + m->subject + "\r\r");
        for (const std::string& l : m->lines) send(ch, l + "\r");
        m->read = true;
        tell(user_ + " read message " + rest);
      }
    } else if (word == "S" && !rest.empty()) {
      incoming_ = PeerMessage{};
      incoming_.to = rest;
      incoming_.from = user_;
      state_ = State::Subject;
      send(ch, "\rSubject:\r");
      return;
    } else {
      send(ch, "\rUnknown command: " + word + "\r");
    }
    prompt(ch);
  }

  static std::string Row(const PeerMessage& m) {
    char row[160];
    std::snprintf(row, sizeof row, "%-5d %-9s %-9s %-9s %-6zu %s\r", m.number, m.from.c_str(), m.to.c_str(),
                  m.date.c_str(), m.lines.size() * 40, m.subject.c_str());
    return row;
  }

  void answer(ChannelWindow& ch, const std::string& line) {
    state_ = State::Command;
    if (line != challenge_) {
      send(ch, "\rWrong password.\r");
      ch.Disconnect(false);
      return;
    }
    loggedIn_ = true;
    ++book_.logins;
    tell(user_ + " logged in");
    send(ch, "\rLogged in, " + user_ + ".\r");
    prompt(ch);
  }

  MailboxBook& book_;
  std::string call_, user_, challenge_;
  State state_ = State::Command;
  bool loggedIn_ = false;
  unsigned seed_ = 5;
  PeerMessage incoming_;
};

}  // namespace

MailboxBook StandardBook(const std::string& user) {
  MailboxBook book;
  book.messages.push_back({101, "DL1ABC", user, "10.12.26", "Meeting on Friday",
                           {"Hello,", "the club meets on Friday at 19:00.", "73 Hans"}});
  book.messages.push_back({102, "DL2XYZ", user, "10.12.26", "Antenna for sale",
                           {"A 2 m yagi, 9 elements, hardly used.", "Price on request."}});
  return book;
}

std::unique_ptr<channels::ChannelPart> MailboxPeerPart(MailboxBook& book) { return std::make_unique<MailboxPeer>(book); }

}  // namespace tarvik::tools
