#pragma once
// The form runtime: a window built from its window description (see
// description.h) and kept alive by the framework.
//
// The window that owns a form derives from Form. Every event reaches the
// form first; the owner's ownerEvent() sees only what the form did not
// consume (create, destroy, update and close always reach it). The owner
// gets commands through onCommand() or a command callback and drives the
// form through symbolic ids (0..49) and state variables (0..24); the form
// keeps enable conditions current, checks typed fields, runs standard
// actions, mnemonics and default buttons, paints fixed texts and graphics
// and remembers where the window was.
//
// Form messages (user events to the form window):
//   901 focus to the current control      903 focus and raise
//   904 focus to the control with toolkit number arg
//   906 run the command of id arg         907 rename menu items ([WINMENU])
//   920 a child form asks to be closed    999 arg 1 title, 2 disable, 4 enable
//   1651 the message about a rejected field was closed

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/description.h"
#include "ui/toolkit/toolkit.h"

namespace tarvik::ui {

class Form;
class FormRuntime;

inline constexpr int kFormStates = 25;
inline constexpr int kCallbackChanged = 1001;  // the form became changed
inline constexpr int kFocusTimerMs = 800;
inline constexpr std::size_t kMaxCtlText = 127;

enum FormMessage : int {
  kFormFocus = 901,
  kFormFocusRaise = 903,
  kFormFocusControl = 904,
  kFormRunCommand = 906,
  kFormRenameMenus = 907,
  kFormChildClose = 920,
  kFormWindows = 999,
  kFormRejectionClosed = 1651,
};

// The argument of a pane's notification that it got the focus.
inline constexpr int kPaneFocusNotice = 2;

// What forms need from the rest of the program.
struct FormEnvironment {
  // Settings by number: 5 TMPPATH, 6 CNFPATH, 26 HELPFILE.
  std::function<std::string(int)> setting;
  // Configured list 1 ("[WINMENU]"): entries "old=new".
  std::function<std::vector<std::string>()> winMenu;
  // ShowMessage(window, kind, number, text 1, text 2).
  std::function<void(WindowId, int, int, const std::string&, const std::string&)> showMessage;
  // The command executor of the main window: command texts of items and
  // buttons that have no symbolic id.
  std::function<void(WindowId, const std::string&)> executeCommand;
  // Opens the help file at a context number (0: contents).
  std::function<void(const std::string&, int)> showHelp;
  // The task window (it may be created after the forms are installed).
  std::function<WindowId()> taskWindow;
};

// Makes the program's own pane for a list control, text control or icon
// button placeholder; the form creates it as a child window in the
// control's rectangle.
using PaneFactory = std::function<std::unique_ptr<Window>(Form&, const ControlDescription&)>;

// A typed argument for opening a window (OpenWindowWith): the creator reads
// it with FormRuntime::openArgument<T>() while it runs. No pointer ever
// travels in the integer argument.
struct OpenArgument {
  virtual ~OpenArgument() = default;
};

// A call text as an opening argument (the password window of a station).
struct CallArgument : OpenArgument {
  explicit CallArgument(std::string c) : call(std::move(c)) {}
  std::string call;
};

// Creates the window of a number for OpenWindowById.
using FormCreator = std::function<WindowId(FormRuntime&, WindowId parent, std::intptr_t argument)>;

// The shared part of all forms of a program: the environment, the creators
// by window number, the one-command-at-a-time rule and which form is
// active. One per program, owned by whoever installs the forms.
class FormRuntime {
 public:
  // The runtime must not outlive the toolkit; its forms do not outlive it:
  // whatever form is still open when it goes is destroyed first.
  FormRuntime(Toolkit& toolkit, FormEnvironment env);
  ~FormRuntime();
  FormRuntime(const FormRuntime&) = delete;
  FormRuntime& operator=(const FormRuntime&) = delete;

  Toolkit& toolkit() { return toolkit_; }
  const FormEnvironment& env() const { return env_; }
  FormEnvironment& env() { return env_; }

  void registerCreator(int number, FormCreator creator);
  // Whether a window of that number can be opened at all (an entry that
  // would open it is disabled otherwise).
  bool hasCreator(int number) const { return creators_.count(number) != 0; }
  void setPaneFactory(ControlType type, PaneFactory factory);
  const PaneFactory* paneFactory(ControlType type) const;

  // Raises and focuses the open window of that number, or creates it
  // through its registered creator (under the busy cursor).
  WindowId OpenWindowById(WindowId parent, int number, std::intptr_t argument = 0);
  // The same with a typed argument, seen by the creator only.
  WindowId OpenWindowWith(WindowId parent, int number, const OpenArgument& argument);
  // The typed argument of the window being created, or null (none, or not
  // a T).
  template <class T>
  const T* openArgument() const {
    return dynamic_cast<const T*>(openArgument_);
  }

  // Creates the window of a loaded form; kNoWindow when that failed.
  WindowId open(std::unique_ptr<Form> form);

  // Open form windows of a window number, oldest first.
  std::vector<WindowId> windowsOf(int number) const;

  // The form that had the focus last (kNoWindow when none is open).
  WindowId activeForm() const;
  void setActiveForm(WindowId id) { active_ = id; }

  // Window enabling as the forms did it (the modal rule); the toolkit is
  // told as well.
  void setWindowEnabled(WindowId id, bool enabled);
  bool windowEnabled(WindowId id) const;

  // Only one command runs at a time across all forms.
  bool commandRunning = false;

 private:
  Toolkit& toolkit_;
  FormEnvironment env_;
  std::map<int, FormCreator> creators_;
  const OpenArgument* openArgument_ = nullptr;  // while OpenWindowWith runs
  std::map<ControlType, PaneFactory> panes_;
  std::map<WindowId, bool> enabled_;
  WindowId active_ = kNoWindow;
};

struct FormRequest {
  int number = 0;
  Resolvers resolvers;        // control and menu names, state names
  std::intptr_t argument = 0; // the owner's argument
  WindowId parent = kNoWindow;
  int flag = 0;
  std::string name;           // window name for the UI driver; "M%04d" when empty
  WindowKind kind = WindowKind::Dialog;
};

// The file names of a description and of a window's remembered position.
std::string DescriptionFileName(int number);               // "M%04d.CNX"
std::string PositionFilePath(const std::string& tmpPath, int number);  // "%sPOS/%4d.POS"

class Form : public Window {
 public:
  using CommandCallback = std::function<void(WindowId, int id, std::intptr_t argument)>;

  // LoadForm: decodes, checks and parses description `number` from CNFPATH
  // and works out where the window goes. A missing or unreadable
  // description gives an empty form; a wrong checksum (below 1610) shows
  // message 1007 and loading goes on.
  Form(FormRuntime& runtime, FormRequest request);
  ~Form() override;

  // The WindowSpec to create the window with (FormRuntime::open uses it).
  WindowSpec windowSpec() const;

  // --- what owners use -----------------------------------------------------
  void SetCommandCallback(CommandCallback callback) { callback_ = std::move(callback); }
  void SetState(int variable, int value);
  int State(int variable) const;
  void EnableId(int id, bool flag);
  void SetCheck(int id, int value);
  void SetCtlText(int id, std::string_view text);
  std::string GetCtlText(int id) const;
  // The pane window of a list, text or icon control; the form window for
  // other controls; kNoWindow for an unknown id.
  WindowId GetCtlWindow(int id) const;
  void SetChanged(bool flag);
  bool Changed() const { return changed_; }
  // Whether the control of the id was changed by the operator.
  bool ControlChanged(int id) const;
  std::optional<std::string> LookupString(std::string_view key) const {
    return ui::LookupString(description_, key);
  }

  int number() const { return request_.number; }
  std::intptr_t argument() const { return request_.argument; }
  int flag() const { return request_.flag; }
  const FormDescription& description() const { return description_; }
  bool descriptionFound() const { return found_; }
  const FontSpec& listFont() const { return listFont_; }
  // The font of the window's controls and fixed texts.
  const FontSpec& font() const { return font_; }
  FormRuntime& runtime() { return runtime_; }
  // The toolkit control id of a symbolic id (kNoControl when none).
  int controlOf(int id) const;
  // The rectangle a control takes in the client area, edges counted from
  // the right or bottom resolved.
  Rect controlRect(const ControlDescription& c) const;

  // Runs a command as a button, menu item or mnemonic does.
  void RunCommand(int id, const std::string& commandText = {}, std::intptr_t argument = 0);

  void onEvent(Event& event) final;

 protected:
  // Called before the form looks at an event; returning true consumes it.
  virtual bool filterEvent(Event&) { return false; }
  // Events the form did not consume. The default runs command 0 on Close.
  virtual bool ownerEvent(Event& event);
  // Commands 0..999 and 1001; the default calls the command callback.
  virtual void onCommand(int id, std::intptr_t argument);

 private:
  struct ControlRuntime {
    int toolkitId = kNoControl;   // toolkit control number, kNoControl for drawn ones
    WindowId pane = kNoWindow;    // list, text control, icon button
    bool changedMark = false;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::string text;             // fixed texts: the form's own copy
  };

  bool formEvent(Event& event);
  void onCreate();
  void onDestroy();
  void createMenuBar();
  void createControls();
  void applyDefaults(bool& pressed);
  void evaluateAll();
  void evaluateNaming(int operand);
  void applyCondition(int controlIndex);
  void applyMenuCondition(int entry);
  bool operandValue(int operand) const;
  void paint();
  void savePosition();
  bool onControlEvent(int toolkitId, int code);
  void onFieldChanged(int index);
  bool checkField(int index);  // false: rejected
  bool onCommandEvent(int number);
  bool onKey(int key, unsigned modifiers);
  bool onUser(Event& event);
  void followToolkitFocus();
  bool paneFocusNotice(const Event& event);
  // The first visible text pane, -1 when the form has none.
  int textPaneOf() const;
  // Places the controls that follow the client area's size.
  void placeControls();
  void setMinimumSize();
  bool mnemonic(char letter);
  void focusIndex(int focusPosition);
  void moveFocus(int step);
  int currentFocusPosition() const;
  int indexOfToolkitId(int toolkitId) const;
  int roleButton(int role) const;
  void setControlEnabled(int index, bool enabled);
  void editAction(int action);
  void updateEditMenu();
  void renameMenus();
  void close();

  FormRuntime& runtime_;
  FormRequest request_;
  FormDescription description_;
  bool found_ = false;
  Rect rect_;
  FontSpec font_;
  FontSpec listFont_;
  std::optional<Color> background_;
  std::vector<ControlRuntime> controls_;
  std::array<int, kFormStates> states_{};
  bool changed_ = false;
  int focus_ = -1;            // index into controls_
  int pendingRejection_ = -1; // a field whose rejection message is open
  bool defaultsPressed_ = false;
  TimerId focusTimer_ = 0;
  CommandCallback callback_;
  WindowId disabledOwner_ = kNoWindow;  // the modal rule
  bool disabledAll_ = false;
};

// Asks the parent to close a form window: a parent form destroys it (form
// message 920); any other parent learns of it by 920 after the form was
// destroyed. The task window is never sent 920, which would mean shutdown.
void CloseForm(Toolkit& toolkit, WindowId window, WindowId taskWindow);

// The room a lamp (a fixed text with a condition) takes before its text.
int LampWidth(const FontMetrics& m);

}  // namespace tarvik::ui
