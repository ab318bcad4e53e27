#pragma once
// The form runtime of a test station: the message service keeps it as long
// as the app runs, with the channels subsystem's windows registered.

#include "channels/form_windows.h"
#include "core/app.h"
#include "ui/message_dialog.h"

namespace tarvik::test {

inline ui::FormRuntime& ChannelForms(core::App& app) {
  ui::FormRuntime& forms = *ui::InstallForms(app);
  channels::InstallChannelForms(app, forms);
  return forms;
}

}  // namespace tarvik::test
