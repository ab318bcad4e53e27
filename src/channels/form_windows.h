#pragma once
// The windows of this subsystem that the form runtime opens by number, and
// the program's own pane for described text controls ("CTL_FIFO").
//
// After InstallChannelForms the runtime opens the monitor (1050), the heard
// list (1080), the frame generator (1140) and the ping window (1280) through
// OpenWindowById, and every form with a text
// control gets a FIFO text pane (ui/fifo_text.h) in its place, whose
// notices go to the form as user event <symbolic id>.

#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

void InstallChannelForms(core::App& app, ui::FormRuntime& forms);

}  // namespace tarvik::channels
