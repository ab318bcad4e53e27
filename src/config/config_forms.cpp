#include "config/config_forms.h"

#include "config/config_form_base.h"

namespace tarvik::config {
namespace {

// A configuration window is open once: asking again raises it.
ui::WindowId Raise(ui::FormRuntime& forms, int number) {
  for (const ui::WindowId open : forms.windowsOf(number)) {
    forms.toolkit().raise(open);
    return open;
  }
  return ui::kNoWindow;
}

int PortOf(std::intptr_t argument) {
  return argument >= 0 && argument < core::kPortCount ? static_cast<int>(argument) : -1;
}

}  // namespace

void InstallConfigForms(core::App& app, ui::FormRuntime& forms) {
  forms.registerCreator(kPortFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t arg) {
    return OpenPortForm(app, rt, parent, PortOf(arg));
  });
  forms.registerCreator(kChannelFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t arg) {
    return OpenChannelForm(app, rt, parent, PortOf(arg));
  });
  forms.registerCreator(kStationFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    const ui::WindowId open = Raise(rt, kStationFormNumber);
    return open != ui::kNoWindow ? open : OpenStationForm(app, rt, parent);
  });
  forms.registerCreator(kAccessFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    const ui::WindowId open = Raise(rt, kAccessFormNumber);
    return open != ui::kNoWindow ? open : OpenAccessForm(app, rt, parent);
  });
  forms.registerCreator(kTcpIpFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    const ui::WindowId open = Raise(rt, kTcpIpFormNumber);
    return open != ui::kNoWindow ? open : OpenTcpIpForm(app, rt, parent);
  });
  forms.registerCreator(kPasswordFormNumber, [&app](ui::FormRuntime& rt, ui::WindowId parent, std::intptr_t) {
    const auto* call = rt.openArgument<ui::CallArgument>();
    return call ? OpenPasswordForm(app, rt, parent, call->call) : ui::kNoWindow;
  });
}

}  // namespace tarvik::config
