#pragma once
// Message dialogs as forms, and the forms' place in the running program.
//
// The four message dialogs (1610 notice, 1620 yes/no, 1630 yes/no/cancel,
// 1640 error) are forms of their window descriptions. Which buttons a dialog
// shows is up to its description; the program knows them by name: "JA",
// "NEIN", "ABBRUCH" are buttons, "ZEILE1".."ZEILE3" the three text lines.
// The answer goes to the asking window as user event 1650 + answer when the
// dialog is destroyed:
//   1 (JA)      button JA, Enter, command 0 in 1610 and 1640, any other close
//   0 (NEIN)    button NEIN, command 0 in 1620
//   3 (ABBRUCH) button ABBRUCH, command 0 in 1630

#include <functional>
#include <memory>

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::ui {

// Symbolic ids of the message dialog controls.
enum MessageDialogId : int {
  kIdJa = 1,
  kIdNein = 2,
  kIdAbbruch = 3,
  kIdZeile1 = 4,
  kIdZeile2 = 5,
  kIdZeile3 = 6,
};

bool MessageDialogNames(std::string_view name, int& id);

class MessageDialogForm final : public Form {
 public:
  // `done` receives the answer when the dialog is destroyed.
  MessageDialogForm(FormRuntime& runtime, const core::DialogRequest& request, WindowId parent);
  int answer() const { return answer_; }

 protected:
  bool filterEvent(Event& event) override;
  bool ownerEvent(Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void finish(int answer);
  void fitLines();
  std::vector<std::string> lines_;
  std::function<void(int)> done_;
  int answer_ = 1;  // closing it any other way means JA
  WindowId previous_ = kNoWindow;
  bool defaultNo_ = false;  // Enter answers NEIN
};

// Opens the dialog of a request as a form when its description exists in
// CNFPATH; false otherwise (the caller falls back to the toolkit's dialog).
bool PresentMessageDialog(FormRuntime& runtime, core::DialogRequest& request);

// The form environment of a running program: settings, messages, help and
// the task window from the application core.
FormEnvironment MakeFormEnvironment(core::App& app);

// Sets up forms for the program: the runtime, the global flags the core
// knows (1002 frame mode, 1003 3-D controls) and message dialogs as forms.
// The message service keeps the runtime alive; the caller may keep the
// pointer to register window creators.
std::shared_ptr<FormRuntime> InstallForms(core::App& app);

}  // namespace tarvik::ui
