#pragma once
// The mail store on screen: the mail list (window 1120, "MAIL") shows the
// directory in a list control, opens a message in the viewer, deletes it,
// and starts a new message or a reply in the mail send window (1290,
// "MAILSND"), where the text is written with the editor. Both programs are
// the EDITOR of the configuration, started with the file as argument.
//
// The list tells its parent (the main window) what the store holds after
// reading and deleting: user event 1120 + summary (no mail, mail, new
// mail). A message written in the send window reaches the list as user
// event 1299 (MailWritten): the list stores it with status 4, waiting to be
// sent.

#include <string>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::store {

inline constexpr int kMailListNumber = 1120;
inline constexpr int kMailSendNumber = 1290;
inline constexpr int kEvtMailSummary = 1120;  // + summary, to the list's parent
inline constexpr int kEvtMailWritten = 1299;

// How the send window starts: addressee, subject, and the message quoted
// in the text ("" for none).
struct MailDraft : ui::OpenArgument {
  MailDraft() = default;
  MailDraft(std::string t, std::string s, std::string q) : to(std::move(t)), subject(std::move(s)), quote(std::move(q)) {}
  std::string to, subject, quote;
};

// A written message, to the send window's parent.
struct MailWritten : ui::Payload {
  MailWritten(std::string t, std::string s, std::string p) : to(std::move(t)), subject(std::move(s)), path(std::move(p)) {}
  std::string to, subject, path;
};

// The addressee of a reply: the sender when there is one and it is not the
// own call, else the addressee of the message.
std::string ReplyAddressee(const std::string& to, const std::string& from, const std::string& ownCall);

// Registers windows 1120 and 1290 with the runtime.
void InstallMailForms(core::App& app, ui::FormRuntime& forms);

// At start: messages left incomplete leave the directory; the summary for
// the main window's MAIL control (1 when any message remains).
int MailAtStart(core::App& app);

}  // namespace tarvik::store
