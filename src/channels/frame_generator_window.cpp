#include "channels/frame_generator_window.h"

#include <array>
#include <utility>

#include "ax25/frame_events.h"
#include "ax25/frame_generator.h"

namespace tarvik::channels {

namespace {

constexpr int kMsgUnknownEvent = 501;
constexpr int kMsgMechUnknown = 503;

ui::FormRequest GeneratorRequest(ui::WindowId parent) {
  ui::FormRequest r;
  r.number = kFrameGeneratorNumber;
  r.resolvers = ui::Resolvers{FrameGeneratorNames, ui::NoNames};
  r.parent = parent;
  r.name = "MECH";
  r.kind = ui::WindowKind::Document;
  return r;
}

}  // namespace

bool FrameGeneratorNames(std::string_view name, int& id) {
  static constexpr std::array<std::pair<std::string_view, int>, 12> kNames{{
      {"SEND", kMechSend},   {"CALLFROM", kMechCallFrom}, {"CALLTO", kMechCallTo},
      {"FRAME", kMechFrame}, {"NR", kMechNr},             {"NS", kMechNs},
      {"DATA", kMechData},   {"POLL", kMechPoll},         {"FINAL", kMechFinal},
      {"CMD", kMechCmd},     {"MSG", kMechMsg},           {"CHAN", kMechChan},
  }};
  return ui::LookupName(name, id, kNames);
}

FrameGeneratorWindow::FrameGeneratorWindow(core::App& app, ui::FormRuntime& forms,
                                           ui::WindowId parent)
    : Form(forms, GeneratorRequest(parent)), app_(app) {}

ui::WindowId OpenFrameGenerator(core::App& app, ui::FormRuntime& forms, ui::WindowId parent) {
  return forms.open(std::make_unique<FrameGeneratorWindow>(app, forms, parent));
}

// The whole text of a field: DATA holds more than the 127 characters a
// form hands out of a control.
std::string FrameGeneratorWindow::FieldText(int field) const {
  const int control = controlOf(field);
  if (field == kMechData && control != ui::kNoControl) return toolkit().controlText(id(), control);
  return GetCtlText(field);
}

void FrameGeneratorWindow::UpdateSendButton() {
  EnableId(kMechSend, ax25::GeneratorCallsFilled(FieldText(kMechCallFrom), FieldText(kMechCallTo)));
}

bool FrameGeneratorWindow::filterEvent(ui::Event& event) {
  // Typing into a call field decides about SEND at once (the text is
  // already in the control); the form still sees the change afterwards and
  // turns it into capitals, which leaves its length alone.
  if (event.type == ui::EventType::Control && event.arg == ui::kNotifyTextChanged &&
      (event.id == controlOf(kMechCallFrom) || event.id == controlOf(kMechCallTo))) {
    UpdateSendButton();
  }
  return false;
}

bool FrameGeneratorWindow::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create:
      SetCtlText(kMechData, "");
      UpdateSendButton();
      return true;
    case ui::EventType::User:
      if (event.id == core::kEvtChildClosed ||
          (event.id >= core::kAnswerBase && event.id <= core::kAnswerBase + 4))
        return true;
      app_.messages().ShowMessageNumber(id(), 1, kMsgUnknownEvent, event.id, "MECH");
      return true;
    default:
      return Form::ownerEvent(event);
  }
}

void FrameGeneratorWindow::onCommand(int command, std::intptr_t) { Command(command); }

void FrameGeneratorWindow::Command(int command) {
  switch (command) {
    case kMechExit: ui::CloseForm(toolkit(), id(), app_.taskWindow); break;
    case kMechSend: Send(); break;
    case kMechPoll: crpf_ = ax25::CrPf::CommandPoll; break;
    case kMechFinal: crpf_ = ax25::CrPf::ResponseFinal; break;
    case kMechCmd: crpf_ = ax25::CrPf::Command; break;
    case kMechMsg: crpf_ = ax25::CrPf::Response; break;
    // The fields report their own changes (the frame type list its
    // selection); they are read when SEND is pressed.
    case kMechCallFrom:
    case kMechCallTo:
    case kMechFrame:
    case kMechNr:
    case kMechNs:
    case kMechData:
    case kMechChan:
    case ui::kCallbackChanged: break;
    default: app_.messages().ShowMessageNumber(id(), 1, kMsgMechUnknown, command, "MECH");
  }
  if (command >= kMechPoll && command <= kMechMsg) SetCheck(command, 1);
}

bool FrameGeneratorWindow::Send() {
  ax25::FrameGeneratorFields fields;
  fields.from = FieldText(kMechCallFrom);
  fields.to = FieldText(kMechCallTo);
  fields.type = FieldText(kMechFrame);
  fields.nr = FieldText(kMechNr);
  fields.ns = FieldText(kMechNs);
  fields.channel = FieldText(kMechChan);
  fields.data = FieldText(kMechData);
  fields.crpf = crpf_;
  std::optional<ax25::FrameRecord> frame = ax25::ComposeGeneratorFrame(fields);
  if (!frame) return false;
  ax25::SendFrame(app_, std::move(*frame));
  return true;
}

}  // namespace tarvik::channels
