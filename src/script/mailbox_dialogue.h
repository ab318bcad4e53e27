#pragma once
// The mailbox dialogue of a channel: what the program understands of a
// mailbox (bulletin board) it is connected to.
//
// On every connect the station's mailbox type (the BOX field of its record)
// selects a "[BOX-n]" definition: its prompt becomes the prompt of the
// channel's scripts, and its start texts and line formats drive the
// check-list recorder, which writes check lists and file lists into the
// station's list file (LOGPATH + station file name + ".lst").
//
// At every prompt (a complete line, or the unterminated tail once):
//   - a mail being read ends: it becomes new in the mail store;
//   - a list being recorded ends, and the CHECK control shows the list;
//   - while mail is being sent, the mail just sent is marked sent and the
//     next waiting one goes out ("s " + addressee, the subject, the text),
//     one message per prompt.
// A mail being read takes every received line into its text file, up to a
// line "NNNN" (answered with "mail is ok") or the prompt.
//
// The password answer: armed by the PASSWD control or a script, the next
// received line or tail (only what came after arming) is the challenge,
// answered by the method of the station's password type.
//
// Everything here comes from the air: the list file and the mail files are
// named by the program (the list file from the call's letters and digits
// only, the mail files by number), and every field is bounded.

#include <memory>
#include <string>

#include "channels/channel_part.h"
#include "channels/channel_window.h"
#include "core/app.h"
#include "script/channel_scripts.h"

namespace tarvik::script {

// Texts shown in the channel's terminal window.
inline constexpr std::string_view kNoPasswordFile = "Password file not found !";
inline constexpr std::string_view kCorruptPasswordFile = "Password file corrupt !";
inline constexpr std::string_view kPasswordMethodUnknown = "Password method not implemented !";
inline constexpr std::string_view kMailOk = "mail is ok";

// Adds the mailbox dialogue's parts to a channel's parts: the mailbox
// stage (prompt, mail reading, password) and the check-list recorder with
// the CHECK control, which opens the check-list window (checklist_window.h)
// of `forms`.
void AddMailboxParts(core::App& app, ui::FormRuntime& forms, channels::ChannelParts& parts);

// The script commands that reach the mailbox dialogue (readmail, sendmail,
// checklist, clearlist, passwd, CHECK_LIST_EMPTY, SEND_MAIL_EMPTY).
void InstallMailboxServices(core::App& app, ScriptServices& services);

// The list file of a call in LOGPATH.
std::string ListFilePath(core::App& app, const std::string& call);

}  // namespace tarvik::script
