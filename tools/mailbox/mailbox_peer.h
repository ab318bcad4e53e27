#pragma once
// A typical packet-radio mailbox, played by one channel part: the peer that
// the mailbox session is tried and tested against. It talks like the
// mailboxes that the shipped box definition "[BOX-1]" describes:
//
//   on connect    "Welcome to <call>, ..." and the prompt "<call>>" (no
//                 line end, as a mailbox leaves it for the user's command)
//   PW            a challenge "Challenge> n n n n n": the characters of the
//                 user's password at those places; a right answer logs in,
//                 a wrong one ends the connection
//   L             the check list: a header line "Msg#  From ...", one line
//                 per message not yet read, then the prompt
//   R <n>         the message: header lines, a blank line, its text
//   S <call>      a message for <call>: the next line is its subject, the
//                 lines after it its text, up to a line "NNNN"
//   B or Q        "73" and the end of the connection
// Every answer starts on a line of its own (after a carriage return), so
// the prompt's line ends when the next answer begins. Without a password
// the mailbox takes PW, B and Q only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channels/channel_part.h"

namespace tarvik::tools {

struct PeerMessage {
  int number = 0;
  std::string from, to, date, subject;
  std::vector<std::string> lines;
  bool read = false;
};

struct MailboxBook {
  std::string password = "TARVIK73";  // the user's password at this mailbox
  std::vector<PeerMessage> messages;   // for the user, numbered from 101
  std::vector<PeerMessage> received;   // stored by S
  int logins = 0;
  std::vector<std::string> heard;  // every line received, in order
  std::function<void(const std::string&)> log;  // what happens, for the one who watches
};

// Two new messages for `user` (the standard session's mailbox).
MailboxBook StandardBook(const std::string& user);

// The mailbox's part of one channel; `book` outlives the channel.
std::unique_ptr<channels::ChannelPart> MailboxPeerPart(MailboxBook& book);

}  // namespace tarvik::tools
