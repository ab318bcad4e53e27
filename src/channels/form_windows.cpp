#include "channels/form_windows.h"

#include "channels/frame_generator_window.h"
#include "channels/heard_window.h"
#include "channels/monitor_window.h"
#include "channels/ping_window.h"
#include "ui/fifo_text.h"

namespace tarvik::channels {

void InstallChannelForms(core::App& app, ui::FormRuntime& forms) {
  // One pane kind for every text control of the program; a factory another
  // part installed first stays.
  if (!forms.paneFactory(ui::ControlType::TextControl))
    forms.setPaneFactory(ui::ControlType::TextControl,
                       [&app](ui::Form& form, const ui::ControlDescription& control) {
                         return std::make_unique<ui::FifoText>(
                             app.messages(), ui::FifoOptionsFor(control, form.listFont()));
                       });
  forms.registerCreator(kMonitorWindowNumber,
                        [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
                          return OpenMonitorWindow(app, rt, parent);
                        });
  forms.registerCreator(kFrameGeneratorNumber,
                        [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
                          return OpenFrameGenerator(app, rt, parent);
                        });
  forms.registerCreator(kHeardWindowNumber,
                        [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
                          return OpenHeardWindow(app, rt, parent);
                        });
  forms.registerCreator(kPingWindowNumber,
                        [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
                          return OpenPingWindow(app, rt, parent);
                        });
}

}  // namespace tarvik::channels
