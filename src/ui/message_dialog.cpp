#include "ui/message_dialog.h"

#include <filesystem>

#include "core/run_program.h"

namespace tarvik::ui {

namespace {
constexpr int kMsgUnknownCommand = 503;
}  // namespace

bool MessageDialogNames(std::string_view name, int& id) {
  static constexpr std::pair<std::string_view, int> names[] = {
      {"JA", kIdJa},         {"NEIN", kIdNein},     {"ABBRUCH", kIdAbbruch},
      {"ZEILE1", kIdZeile1}, {"ZEILE2", kIdZeile2}, {"ZEILE3", kIdZeile3},
  };
  return LookupName(name, id, names);
}

namespace {

FormRequest dialogRequest(const core::DialogRequest& r, WindowId parent) {
  FormRequest f;
  f.number = r.dialogNumber;
  f.resolvers.names = MessageDialogNames;
  f.argument = r.number;
  f.parent = parent;
  f.kind = WindowKind::Dialog;
  return f;
}

}  // namespace

MessageDialogForm::MessageDialogForm(FormRuntime& runtime, const core::DialogRequest& request, WindowId parent)
    : Form(runtime, dialogRequest(request, parent)),
      lines_(request.lines),
      done_(request.done),
      previous_(runtime.activeForm()) {}

bool MessageDialogForm::filterEvent(Event& event) {
  // Enter always answers JA, whichever button the description made the
  // default one.
  if (event.type == EventType::Char && event.id == kKeyEnter) {
    finish(core::kAnswerYes);
    return true;
  }
  return false;
}

bool MessageDialogForm::ownerEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      for (int i = 0; i < 3; ++i) {
        SetCtlText(kIdZeile1 + i, static_cast<std::size_t>(i) < lines_.size() ? lines_[static_cast<std::size_t>(i)] : "");
      }
      return true;
    case EventType::Close:
      finish(core::kAnswerYes);
      return true;
    case EventType::Destroy: {
      if (done_) done_(answer_);
      done_ = nullptr;
      // The form that was active before the question is active again.
      if (previous_ != kNoWindow && toolkit().exists(previous_)) {
        runtime().setActiveForm(previous_);
        toolkit().sendUser(previous_, kFormFocusRaise);
      }
      return true;
    }
    default:
      return false;
  }
}

void MessageDialogForm::onCommand(int id, std::intptr_t) {
  switch (id) {
    case kIdJa: finish(core::kAnswerYes); break;
    case kIdNein: finish(core::kAnswerNo); break;
    case kIdAbbruch: finish(core::kAnswerCancel); break;
    case kActionExit:
      // Escape or EXIT: the safe answer of each kind of question.
      finish(number() == 1620 ? core::kAnswerNo : number() == 1630 ? core::kAnswerCancel : core::kAnswerYes);
      break;
    default: break;
  }
}

void MessageDialogForm::finish(int answer) {
  answer_ = answer;
  CloseForm(toolkit(), id(), runtime().env().taskWindow());
}

bool PresentMessageDialog(FormRuntime& runtime, core::DialogRequest& request) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(runtime.env().setting(6) + DescriptionFileName(request.dialogNumber), ec))
    return false;
  auto form = std::make_unique<MessageDialogForm>(runtime, request, runtime.env().taskWindow());
  return runtime.open(std::move(form)) != kNoWindow;
}

FormEnvironment MakeFormEnvironment(core::App& app) {
  FormEnvironment env;
  env.setting = [&app](int n) { return app.config().GetSetting(n); };
  env.winMenu = [&app] {
    std::vector<std::string> out;
    if (const core::ConfigList* list = app.config().GetConfigList(1)) {
      for (const auto& e : *list) out.push_back(e.text);
    }
    return out;
  };
  env.showMessage = [&app](WindowId w, int kind, int number, const std::string& t1, const std::string& t2) {
    app.ShowMessage(w, kind, number, t1, t2);
  };
  // Without a command executor of the main window a command text is an
  // unknown command, and the operator is told so.
  env.executeCommand = [&app](WindowId w, const std::string& text) {
    app.ShowMessage(w, 1, kMsgUnknownCommand, text, "FORM");
  };
  env.showHelp = [](const std::string& file, int context) { core::ShowHelp(file, context); };
  env.taskWindow = [&app] { return app.taskWindow; };
  return env;
}

std::shared_ptr<FormRuntime> InstallForms(core::App& app) {
  auto runtime = std::make_shared<FormRuntime>(app.toolkit(), MakeFormEnvironment(app));
  SetGlobalFlag(1002, app.options().frameMode);
  SetGlobalFlag(1003, app.options().ctl3d);
  app.messages().setDialogPresenter(
      [runtime](core::DialogRequest& request) { return PresentMessageDialog(*runtime, request); });
  return runtime;
}

}  // namespace tarvik::ui
