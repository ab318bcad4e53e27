#pragma once
// The message service: every notice, warning and question the program shows
// is a number whose text and level come from the message file, so wording and
// language live outside the program.
//
// A message is shown in the status line or in one of four message dialogs
// (1610 notice, 1620 yes/no, 1630 yes/no/cancel, 1640 error); the window that
// asked learns the answer later as user event 1650 + answer (0 NEIN, 1 JA,
// 3 ABBRUCH) with the message number as argument, always through the post.
// In batch mode no dialog is shown: the text may go to "batch.log" and the
// answer JA is posted at once.

#include <functional>
#include <string>
#include <vector>

#include "ui/toolkit/toolkit.h"

namespace tarvik::core {

inline constexpr int kAnswerBase = 1650;
inline constexpr int kAnswerNo = 0;
inline constexpr int kAnswerYes = 1;
inline constexpr int kAnswerCancel = 3;

// The answer Enter gives in a question's dialog. A question that ends a
// connection or deletes data asks with No as the default, so that a key
// pressed in a hurry keeps things as they are.
enum class DefaultAnswer { Yes, No };

// Task window events the service uses for the status line.
inline constexpr int kEvtStatusClear = 982;
inline constexpr int kEvtStatusField0 = 983;

// Where the service finds its settings; read at every message so that
// changes made at run time apply at once.
struct MessageSettings {
  std::string messageFile;  // path of the message file
  std::string flags;        // FLAGS: position 4 batch mode, position 5 batch log
  std::string logPath;      // LOGPATH, ends with "/"
};

// One message as found in the file.
struct MessageLine {
  bool found = false;
  bool disabled = false;  // the file lists it with a negative number
  int level = 0;
  std::string text;  // raw text, "\n" pairs and "%s" still in place
};

// A message dialog to show: the asking window, the kind (1..4), the message
// number, the dialog's window description number (1610..1640) and its lines
// (at least three; more when the text needs them). `done` takes the answer
// (0 NEIN, 1 JA, 3 ABBRUCH) once it closes; `defaultNo` makes Enter answer
// NEIN.
struct DialogRequest {
  ui::WindowId asker = ui::kNoWindow;
  int kind = 1;
  int number = 0;
  int dialogNumber = 1610;
  std::vector<std::string> lines;
  std::function<void(int)> done;
  bool defaultNo = false;
};

// Shows a dialog as a form built from its window description; returns false
// when it cannot (no description), and the toolkit's own message dialog is
// shown instead. The form runtime above the core installs it.
using DialogPresenter = std::function<bool(DialogRequest&)>;

class MessageService {
 public:
  using SettingsSource = std::function<MessageSettings()>;
  MessageService(ui::Toolkit& toolkit, SettingsSource settings);

  void setTaskWindow(ui::WindowId task) { taskWindow_ = task; }
  void setDialogPresenter(DialogPresenter presenter) { presenter_ = std::move(presenter); }

  void ShowMessage(ui::WindowId window, int kind, int number, const std::string& text1 = {},
                   const std::string& text2 = {}, DefaultAnswer defaultAnswer = DefaultAnswer::Yes);
  void ShowMessageNumber(ui::WindowId window, int kind, int number, long value,
                         const std::string& text2 = {});
  void ShowGroupMessage(int group, int number);

  // Looks a message up the way ShowMessage does; false when the file cannot
  // be opened.
  bool lookup(int number, MessageLine& out) const;

  // Fills "%s" places and turns "\n" pairs into line breaks: " \r" for a
  // dialog, "  " for the status line.
  static std::string format(const std::string& raw, const std::string& text1,
                            const std::string& text2, bool forDialog);

  // The lines of a dialog text: broken at each CR, and a line longer than
  // 79 characters continued on the next line, after its last blank when
  // that is near the end, else at the 79th character. Nothing of the text is
  // lost: the lines put together give it back. Always at least three lines;
  // missing ones are empty.
  static std::vector<std::string> dialogLines(const std::string& text);

 private:
  void answerLater(ui::WindowId window, int answer, int number);
  void showDialog(ui::WindowId window, int kind, int number, const std::string& text,
                  DefaultAnswer defaultAnswer);

  ui::Toolkit& toolkit_;
  SettingsSource settings_;
  ui::WindowId taskWindow_ = ui::kNoWindow;
  DialogPresenter presenter_;
};

}  // namespace tarvik::core
