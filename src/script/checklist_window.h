#pragma once
// The check-list window (window 1200, "CHECK"): the station's list file in
// a list control, opened from a channel's CHECK control with the READ
// pattern of the station's mailbox definition. One per channel; the
// channel window is its parent.
//
// READ reads the selected entries one after the other without storing
// them (the mailbox's answer is only shown), FILE reads them each into the
// mail store; a double click on a line reads that line as FILE does. For
// each entry the window sends its channel user event 1200 + kind with the
// entry's date, call, board, title and the read command (the READ pattern
// with "!FNUM", "!FILE" and "!MBX" filled in). When the mailbox's answer
// has ended (the next prompt), the channel sends user event 1017 and the
// next entry goes; after the last the selection ends.
//
// While the window is open, entries the channel records go to the window
// (user event 1208 with the line) instead of straight into the file; the
// window adds them to the list, which is the list file itself.
//
// DEL without a selection empties the list and its file and tells the
// channel (user event 1207); with a selection it removes those lines.

#include <string>
#include <string_view>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::script {

inline constexpr int kCheckListNumber = 1200;

enum CheckListEvent : int {
  kEvtCheckListNext = 1017,     // to the window: the answer ended, read the next entry
  kEvtCheckListRead = 1200,     // + kind, to the channel: a CheckListRequest
  kEvtCheckListCleared = 1207,  // to the channel: the list and its file were emptied
  kEvtCheckListEntry = 1208,    // to the window: a TextPayload, one recorded entry
};

// Kinds of a read request: read into the mail store, or only shown.
inline constexpr int kReadStore = 6;
inline constexpr int kReadShow = 9;

// One entry to read, from the window to its channel.
struct CheckListRequest : ui::Payload {
  std::string date, call, file, title, command;
};

// How the window starts: the list file and the mailbox's read pattern.
struct CheckListStart : ui::OpenArgument {
  CheckListStart(std::string path, std::string pattern) : listPath(std::move(path)), readPattern(std::move(pattern)) {}
  std::string listPath, readPattern;
};

// The request for one line of a list file (fields split at TABs, trailing
// blanks removed, each cut to its size).
CheckListRequest ReadRequest(std::string_view entry, std::string_view pattern);

// Registers window 1200 with the runtime.
void InstallCheckListForm(core::App& app, ui::FormRuntime& forms);

// The check-list window of a channel window; kNoWindow when none is open.
ui::WindowId CheckListWindowOf(ui::FormRuntime& forms, ui::WindowId channel);

}  // namespace tarvik::script
