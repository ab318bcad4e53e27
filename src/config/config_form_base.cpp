#include "config/config_form_base.h"

namespace tarvik::config {
namespace {

constexpr int kNotice = 1;
constexpr int kMsgUnknownEvent = 501, kMsgUnknownCommand = 503;

ui::FormRequest Request(int number, ui::WindowId parent, NameTable names, NameTable states, const std::string& owner) {
  ui::FormRequest r;
  r.number = number;
  r.resolvers = ui::Resolvers{[names](std::string_view n, int& id) { return ui::LookupName(n, id, names); },
                              [states](std::string_view n, int& id) { return ui::LookupName(n, id, states); }};
  r.parent = parent;
  r.name = owner;
  return r;
}

}  // namespace

void WriteBackPort(core::PortRecord& live, const core::PortRecord& copy) {
  live.iniText = copy.iniText;
  live.deiniText = copy.deiniText;
  live.channels = copy.channels;
  live.title = copy.title;
  live.device = copy.device;
  live.protocol = copy.protocol;
  live.devType = copy.devType;
}

ConfigForm::ConfigForm(core::App& app, ui::FormRuntime& forms, int number, ui::WindowId parent, NameTable names,
                       NameTable states, std::string owner)
    : Form(forms, Request(number, parent, names, states, owner)), app_(app), owner_(std::move(owner)) {}

void ConfigForm::close() { ui::CloseForm(toolkit(), id(), app_.taskWindow); }

bool ConfigForm::refused(const Check& check) {
  if (!check) return false;
  app_.ShowMessage(id(), kNotice, check->message, check->text1, check->text2);
  return true;
}

bool ConfigForm::written(bool ok, const std::string& file) {
  if (!ok) app_.ShowMessage(id(), kNotice, kMsgNotWritten, file);
  return ok;
}

void ConfigForm::unknownCommand(int command) {
  app_.messages().ShowMessageNumber(id(), kNotice, kMsgUnknownCommand, command, owner_);
}

bool ConfigForm::ownerEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); return true;
    case ui::EventType::User: onUser(event); return true;
    default: return Form::ownerEvent(event);
  }
}

void ConfigForm::onUser(const ui::Event& event) {
  if (event.id < core::kAnswerBase || event.id > core::kAnswerBase + core::kAnswerCancel) unknownEvent(event.id);
}

void ConfigForm::unknownEvent(int event) {
  app_.messages().ShowMessageNumber(id(), kNotice, kMsgUnknownEvent, event, owner_);
}

void ConfigForm::setNumberedTitle(const std::string& text) {
  std::string title = LookupString("TITLE").value_or("%s");
  if (const std::size_t at = title.find("%s"); at != std::string::npos) title.replace(at, 2, text);
  toolkit().setTitle(id(), title);
}

std::string ConfigForm::iniFile() { return app_.config().GetSetting(core::kSettingIniPath); }

}  // namespace tarvik::config
