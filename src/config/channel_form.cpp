// The radio-channel window (1230): the link and KISS parameters of the eight
// radio channels of one port.

#include "config/config_form_base.h"
#include "config/config_forms.h"
#include "devices/serial_port_window.h"

namespace tarvik::config {
namespace {

enum Id : int {
  kExit = 0, kC0 = 1, kC7 = 8, kOk = 9, kClear, kDefaults, kApply, kTitle, kQrg,
  kWindow, kPaclen, kT1, kT2, kT3, kRetry, kTxDelay, kTxTail, kPersist, kSlotTime,
};
enum State : int { kCom = 0, kTnc = 1, kTcpIp = 3, kDef = 4 };

constexpr std::array<std::pair<std::string_view, int>, 24> kNames{{
    {"C0", 1}, {"C1", 2}, {"C2", 3}, {"C3", 4}, {"C4", 5}, {"C5", 6}, {"C6", 7}, {"C7", 8},
    {"OK", kOk}, {"CLR", kClear}, {"DEF", kDefaults}, {"APPLY", kApply}, {"TITLE", kTitle}, {"QRG", kQrg},
    {"WINDOW", kWindow}, {"PACLEN", kPaclen}, {"T1", kT1}, {"T2", kT2}, {"T3", kT3}, {"RETRY", kRetry},
    {"TXDELAY", kTxDelay}, {"TXTAIL", kTxTail}, {"PERSIST", kPersist}, {"SLOTTIME", kSlotTime},
}};
constexpr std::array<std::pair<std::string_view, int>, 4> kStates{
    {{"COM", kCom}, {"TNC", kTnc}, {"TCPIP", kTcpIp}, {"DEF", kDef}}};

// The numbers of a radio channel as the window shows them, with what a
// configured radio channel may hold: at most 7 frames outstanding (modulo
// 8), an information field of 1 to 256 bytes, and KISS values that fit the
// parameter byte (milliseconds in units of 10, persistence in percent).
struct NumberField {
  int id;
  std::string_view key;
  std::int16_t core::ChannelParams::*field;
  int lo, hi;
};
constexpr std::int16_t kMax16 = 32767;
constexpr std::array<NumberField, 10> kNumbers{{
    {kWindow, "WINDOW", &core::ChannelParams::window, 0, 7},
    {kPaclen, "PACLEN", &core::ChannelParams::paclen, 1, 256},
    {kT1, "T1", &core::ChannelParams::t1, 1, kMax16},
    {kT2, "T2", &core::ChannelParams::t2, 0, kMax16},
    {kT3, "T3", &core::ChannelParams::t3, 0, kMax16},
    {kRetry, "RETRY", &core::ChannelParams::retry, 1, kMax16},
    {kTxDelay, "TXDELAY", &core::ChannelParams::txdelay, 0, 2550},
    {kTxTail, "TXTAIL", &core::ChannelParams::txtail, 0, 2550},
    {kPersist, "PERSIST", &core::ChannelParams::persist, 0, 100},
    {kSlotTime, "SLOTTIME", &core::ChannelParams::slottime, 0, 2550},
}};

class ChannelForm final : public ConfigForm {
 public:
  ChannelForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port)
      : ConfigForm(app, forms, kChannelFormNumber, parent, kNames, kStates, "CHANCONF"),
        port_(port),
        copy_(app.config().Ports()[port]) {}

 protected:
  void onCommand(int command, std::intptr_t) override {
    if (command >= kC0 && command <= kC7) {
      select(command - kC0);
      return;
    }
    switch (command) {
      case kExit: close(); break;
      case kOk:
        if (take()) ok();
        break;
      // The shown radio channel goes into the copy; the window stays open
      // for the next one.
      case kApply: take(); break;
      case kClear: show(core::ChannelParams{}); break;
      case kDefaults: show(app().config().DefChannel()); break;
      case ui::kCallbackChanged:
      case kTitle: case kQrg: case kWindow: case kPaclen: case kT1: case kT2: case kT3: case kRetry:
      case kTxDelay: case kTxTail: case kPersist: case kSlotTime: break;
      default: unknownCommand(command);
    }
  }

 private:
  void onCreate() override {
    setNumberedTitle(std::to_string(port_));
    SetState(kCom, copy_.devType == core::kDevTypeCom ? 1 : 0);
    SetState(kTnc, copy_.devType == core::kDevTypeTnc ? 1 : 0);
    SetState(kTcpIp, copy_.devType == core::kDevTypeTcpIp ? 1 : 0);
    int first = 0;
    while (first < core::kRadioChannelCount && copy_.channels[static_cast<std::size_t>(first)].window == 0) ++first;
    select(first < core::kRadioChannelCount ? first : 0);
  }

  void select(int k) {
    current_ = k;
    toolkit().checkRadio(id(), controlOf(kC0 + k));
    show(copy_.channels[static_cast<std::size_t>(k)]);
  }

  void show(const core::ChannelParams& c) {
    SetState(kDef, c.window != 0 ? 1 : 0);
    SetCtlText(kTitle, c.title);
    SetCtlText(kQrg, c.qrg);
    for (const NumberField& n : kNumbers) SetCtlText(n.id, std::to_string(c.*n.field));
  }

  // The fields into radio channel k of the copy; false when one is refused.
  bool take() {
    core::ChannelParams c = copy_.channels[static_cast<std::size_t>(current_)];
    const std::string title = GetCtlText(kTitle), qrg = GetCtlText(kQrg);
    if (refused(CheckIniValue("TITLE", title)) || refused(CheckIniValue("QRG", qrg))) return false;
    int window = 0;
    if (refused(CheckNumber("WINDOW", GetCtlText(kWindow), 0, 7, window))) return false;
    for (const NumberField& n : kNumbers) {
      int value = 0;
      // A radio channel that is not configured keeps whatever numbers it has.
      const int lo = window > 0 ? n.lo : 0, hi = window > 0 ? n.hi : kMax16;
      if (refused(CheckNumber(n.key, GetCtlText(n.id), lo, hi, value))) return false;
      c.*n.field = static_cast<std::int16_t>(value);
    }
    c.title = title.substr(0, core::kChannelTitleCapacity);
    c.qrg = qrg.substr(0, core::kChannelQrgCapacity);
    copy_.channels[static_cast<std::size_t>(current_)] = c;
    SetState(kDef, c.window != 0 ? 1 : 0);
    return true;
  }

  void ok() {
    core::PortRecord& live = app().config().Ports()[port_];
    WriteBackPort(live, copy_);
    toolkit().sendUser(toolkit().parentOf(id()), kEvtPortChanged, port_);
    // An open TNC takes the new KISS parameters at once.
    if (live.open() && live.devType == core::kDevTypeTnc && copy_.channels[static_cast<std::size_t>(current_)].window > 0)
      toolkit().sendUser(live.portWindow, devices::kEvtSendKissParameters, current_);
    close();
  }

  int port_;
  core::PortRecord copy_;
  int current_ = 0;
};

}  // namespace

ui::WindowId OpenChannelForm(core::App& app, ui::FormRuntime& forms, ui::WindowId parent, int port) {
  if (!core::PortTable::IsValidPort(port)) return ui::kNoWindow;
  return forms.open(std::make_unique<ChannelForm>(app, forms, parent, port));
}

}  // namespace tarvik::config
