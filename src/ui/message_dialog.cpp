#include "ui/message_dialog.h"

#include <algorithm>
#include <filesystem>

#include "core/identification.h"
#include "core/run_program.h"

namespace tarvik::ui {

namespace {
constexpr int kMsgUnknownCommand = 503;
constexpr int kMsgHelpNotFound = 1061;
constexpr int kMsgNoHelpOpener = 1062;
constexpr int kMsgAboutVersion = 1064;
constexpr int kAboutBoxNumber = 1600;
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
      previous_(runtime.activeForm()),
      defaultNo_(request.defaultNo) {}

bool MessageDialogForm::filterEvent(Event& event) {
  // Enter answers JA, whichever button the description made the default
  // one, unless the question asked with NEIN as its default.
  if (event.type == EventType::Char && event.id == kKeyEnter) {
    finish(defaultNo_ ? core::kAnswerNo : core::kAnswerYes);
    return true;
  }
  return false;
}

bool MessageDialogForm::ownerEvent(Event& event) {
  switch (event.type) {
    case EventType::Create:
      for (std::size_t i = 0; i < 3; ++i) {
        std::string line = i < lines_.size() ? lines_[i] : "";
        // A text of more lines than the dialog has goes on in the last one.
        for (std::size_t more = 3; i == 2 && more < lines_.size(); ++more) line += lines_[more];
        SetCtlText(kIdZeile1 + static_cast<int>(i), line);
      }
      fitLines();
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

// A line wider than its place widens the dialog (up to the width of the
// frame) rather than lose its end: the lines are painted from their left
// edge on, and the buttons keep their places relative to the middle.
void MessageDialogForm::fitLines() {
  Canvas* canvas = toolkit().canvas(id());
  const auto& controls = description().controls;
  const auto line1 = std::find_if(controls.begin(), controls.end(),
                                  [](const ControlDescription& c) { return c.id == kIdZeile1; });
  if (!canvas || line1 == controls.end()) return;
  canvas->setFont(font());
  int needed = 0;
  for (int i = kIdZeile1; i <= kIdZeile3; ++i) needed = std::max(needed, canvas->textWidth(GetCtlText(i)));
  // The same margin at the right as at the left.
  const int wanted = line1->pos.x + needed + line1->pos.x;
  const Rect frame = toolkit().clientRect(runtime().env().taskWindow());
  const Rect outer = toolkit().outerRect(id());
  const int most = std::max(0, frame.width() - outer.width());
  const int extra = std::min(wanted - toolkit().clientRect(id()).width(), most);
  if (extra <= 0) return;

  for (const ControlDescription& c : controls) {
    const int control = controlOf(c.id);
    const ControlState* state = control == kNoControl ? nullptr : toolkit().control(id(), control);
    if (!state) continue;
    Rect r = state->spec.rect;
    r.left += extra / 2;
    r.right += extra / 2;
    toolkit().moveControl(id(), control, r);
  }
  // Widened about its middle, kept inside the frame.
  Rect widened = outer;
  widened.left = std::clamp(outer.left - extra / 2, 0, std::max(0, frame.width() - outer.width() - extra));
  widened.right = widened.left + outer.width() + extra;
  toolkit().move(id(), widened);
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
  // HELPFILE counts from the station directory like the other files the INI
  // file names; when it cannot be shown the operator learns where it is.
  env.showHelp = [&app](const std::string& file, int context) {
    const std::string path = file.empty() || file[0] == '/' ? file : app.config().GetSetting(9) + file;
    switch (core::ShowHelp(path, context)) {
      case core::HelpResult::Opened: break;
      case core::HelpResult::NoFile: app.ShowMessage(app.taskWindow, 1, kMsgHelpNotFound, path); break;
      case core::HelpResult::NoOpener: app.ShowMessage(app.taskWindow, 1, kMsgNoHelpOpener, path); break;
    }
  };
  env.taskWindow = [&app] { return app.taskWindow; };
  return env;
}

namespace {

// The about box as the runtime opens it, with the release and build date of
// this program in its VERSION line (message 1064).
void RegisterAboutBox(core::App& app, FormRuntime& runtime) {
  static constexpr int kIdVersion = 1;
  runtime.registerCreator(kAboutBoxNumber, [&app](FormRuntime& rt, WindowId parent, std::intptr_t arg) {
    FormRequest r;
    r.number = kAboutBoxNumber;
    r.parent = parent;
    r.argument = arg;
    r.resolvers.names = [](std::string_view name, int& id) {
      static constexpr std::pair<std::string_view, int> names[] = {{"VERSION", kIdVersion}};
      return LookupName(name, id, names);
    };
    auto form = std::make_unique<Form>(rt, std::move(r));
    Form* about = form.get();
    form->SetCommandCallback([&rt](WindowId w, int id, std::intptr_t) {
      if (id == kActionExit) CloseForm(rt.toolkit(), w, rt.env().taskWindow());
    });
    const WindowId w = rt.open(std::move(form));
    core::MessageLine version;
    if (w != kNoWindow && app.messages().lookup(kMsgAboutVersion, version) && version.found && !version.disabled)
      about->SetCtlText(kIdVersion, core::MessageService::format(version.text, core::ProgramVersion(),
                                                                 core::ProgramBuildDate(), false));
    return w;
  });
}

}  // namespace

std::shared_ptr<FormRuntime> InstallForms(core::App& app) {
  auto runtime = std::make_shared<FormRuntime>(app.toolkit(), MakeFormEnvironment(app));
  RegisterAboutBox(app, *runtime);
  SetGlobalFlag(1002, app.options().frameMode);
  SetGlobalFlag(1003, app.options().ctl3d);
  app.messages().setDialogPresenter(
      [runtime](core::DialogRequest& request) { return PresentMessageDialog(*runtime, request); });
  return runtime;
}

}  // namespace tarvik::ui
