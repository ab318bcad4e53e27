// Every window description the station ships, built into a real window on
// the Qt backend: the picture is not blank, and each described control that
// the toolkit makes a widget of is there under its name.
#include <gtest/gtest.h>

// Before Qt's headers: their "slots" keyword would clash with the channel table.
#include "channels/channel_bar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "ui/form.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/qt/qt_surface.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui {
namespace {

namespace fs = std::filesystem;

struct Root : Window {
  void onEvent(Event&) override {}
};

// Hands out symbolic ids 0..49 to names in the order they are asked for,
// the way an owner's name table would.
struct AnyNames {
  std::map<std::string, int, std::less<>> ids;
  bool operator()(std::string_view name, int& number) {
    auto it = ids.find(name);
    if (it == ids.end()) {
      if (ids.size() >= 50) return false;
      it = ids.emplace(std::string(name), static_cast<int>(ids.size())).first;
    }
    number = it->second;
    return true;
  }
};

int distinctColours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

// An environment that reads descriptions from `cnf`, has `tmp` as its
// temporary directory and keeps every message, command and help request to
// itself.
FormEnvironment QuietEnvironment(const fs::path& cnf, WindowId task, const fs::path& tmp = {}) {
  FormEnvironment env;
  env.setting = [cnf, tmp](int n) {
    if (n == 5 && !tmp.empty()) return tmp.string() + "/";
    return n == 6 ? cnf.string() + "/" : std::string();
  };
  env.showMessage = [](WindowId, int, int, const std::string&, const std::string&) {};
  env.executeCommand = [](WindowId, const std::string&) {};
  env.showHelp = [](const std::string&, int) {};
  env.winMenu = [] { return std::vector<std::string>{}; };
  env.taskWindow = [task] { return task; };
  return env;
}

// A Qt frame of `frame`'s size whose forms are the station's built window
// descriptions, in the quiet environment.
struct FormsOnQt {
  explicit FormsOnQt(Rect frame, const fs::path& tmp = {})
      : task(tk.create(WindowSpec{WindowKind::Frame, "TASKWIN"}, std::make_unique<Root>())),
        runtime(tk, QuietEnvironment(cnf, task, tmp)) {
    tk.move(task, frame);
  }
  // Opens the form of description `number`; its names and states get ids
  // from `names` and `states`.
  WindowId open(int number, AnyNames& names, AnyNames& states) {
    FormRequest request;
    request.number = number;
    request.resolvers = Resolvers{std::ref(names), std::ref(states)};
    request.parent = task;
    return runtime.open(std::make_unique<Form>(runtime, std::move(request)));
  }

  const fs::path cnf = fs::path(TARVIK_BINARY_DIR) / "station-cnf";
  char arg0[9] = "qt_tests";
  char* argv[2] = {arg0, nullptr};
  QtToolkit tk{1, argv, true};
  WindowId task;
  FormRuntime runtime;
};

TEST(ShippedFormsOnQt, EachDrawsAWindowWithItsControls) {
  const fs::path tmp = fs::temp_directory_path() / ("tvk_qtforms_" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  FormsOnQt forms(Rect{0, 0, 900, 1200}, tmp);
  QtToolkit& tk = forms.tk;
  const WindowId task = forms.task;
  std::vector<int> messages;
  forms.runtime.env().showMessage = [&](WindowId, int, int number, const std::string&, const std::string&) {
    messages.push_back(number);
  };

  int built = 0;
  for (const auto& entry : fs::directory_iterator(forms.cnf)) {
    const std::string file = entry.path().filename().string();
    if (file.size() != 9 || file.rfind("M", 0) != 0 || entry.path().extension() != ".CNX") continue;
    const int number = std::stoi(file.substr(1, 4));
    SCOPED_TRACE(file);
    AnyNames names, states;
    const WindowId w = forms.open(number, names, states);
    ASSERT_NE(w, kNoWindow);
    Form& form = *tk.findAs<Form>(w);
    EXPECT_TRUE(form.descriptionFound());
    for (int i = 0; i < 5; ++i) QApplication::processEvents();

    const fs::path png = tmp / (file + ".png");
    ASSERT_TRUE(tk.savePicture(w, png.string()));
    QImage picture(QString::fromStdString(png.string()));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(distinctColours(picture), 2) << "a blank window";

    for (const ControlDescription& c : form.description().controls) {
      if (c.label.empty() || c.id == kNoId || form.controlOf(c.id) == kNoControl) continue;
      EXPECT_TRUE(tk.controlByName(w, c.label).has_value()) << c.label;
    }
    CloseForm(tk, w, task);
    ++built;
  }
  EXPECT_GE(built, 30);
  EXPECT_TRUE(messages.empty());
  // TVK_KEEP_PICTURES=1 keeps the pictures for a look at the whole set.
  if (!std::getenv("TVK_KEEP_PICTURES")) fs::remove_all(tmp);
}

// The text a button, box or label shows, without the mnemonic marker.
QString shownText(QString t) {
  t.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  t.remove(QLatin1Char('&'));
  t.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return t;
}

// Room a control needs for its whole text, as the style lays it out.
QSize neededFor(QWidget* w) {
  const QFontMetrics fm(w->font());
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    // Boxes know what their indicator and text take.
    if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b)) return b->sizeHint();
    // A push button's text needs its width and a little air at each side.
    return QSize(fm.horizontalAdvance(shownText(b->text())) + 8, fm.height());
  }
  if (auto* l = qobject_cast<QLabel*>(w)) {
    if (l->text().isEmpty()) return {};
    return QSize(fm.horizontalAdvance(l->text()), fm.height());
  }
  return {};
}

// The main windows at the scale this run has (QT_SCALE_FACTOR): no control
// cuts its text, and no fixed text the form draws runs past its place.
TEST(ShippedFormsOnQt, NoTextIsClipped) {
  const fs::path tmp = fs::temp_directory_path() / ("tvk_qtclip_" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  FormsOnQt forms(Rect{0, 0, 900, 1200}, tmp);
  QtToolkit& tk = forms.tk;
  const WindowId task = forms.task;
  const char* scale = std::getenv("QT_SCALE_FACTOR");
  const std::string pictures = std::getenv("TVK_KEEP_PICTURES") ? std::getenv("TVK_KEEP_PICTURES") : "";

  for (int number : {1010, 1030, 1040, 1050, 1080}) {
    SCOPED_TRACE(number);
    AnyNames names, states;
    const WindowId w = forms.open(number, names, states);
    ASSERT_NE(w, kNoWindow);
    Form& form = *tk.findAs<Form>(w);
    // The channel bar's entries carry the longest texts they can come to:
    // the unread mark, a six-character call with a two-digit SSID and each
    // state word in turn.
    using State = channels::ChannelBarEntry::State;
    const auto word = [&](std::string_view key) { return form.LookupString(key).value_or(""); };
    const State barStates[] = {State::Free, State::Connecting, State::Connected, State::Disconnecting};
    int slot = 0;
    for (const ControlDescription& c : form.description().controls) {
      if (!c.label.starts_with("CHAN")) continue;
      const channels::ChannelBarEntry entry{barStates[slot % 4], "WW0MWW-15", true};
      tk.setControlText(w, form.controlOf(c.id), channels::ChannelBarText(slot, entry, word));
      ++slot;
    }
    if (number == 1040) {
      EXPECT_EQ(slot, 8);
    }
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    if (!pictures.empty())
      tk.savePicture(w, pictures + "/M" + std::to_string(number) + "-" + (scale ? scale : "1") + ".png");
    QWidget* content = tk.contentWidget(w);
    for (QWidget* c : content->findChildren<QWidget*>()) {
      if (!c->isVisibleTo(content)) continue;
      const QSize need = neededFor(c);
      if (need.isEmpty()) continue;
      const std::string name = c->objectName().toStdString();
      EXPECT_LE(need.width(), c->width()) << name << " is cut at the right";
      EXPECT_LE(QFontMetrics(c->font()).height(), c->height()) << name << " is cut at the bottom";
    }
    // Fixed texts are painted by the form in its font (the canvas keeps it
    // after painting).
    auto* surface = static_cast<qtdetail::Surface*>(content);
    for (const ControlDescription& c : form.description().controls) {
      if (c.kind != ControlType::FixedText) continue;
      int width = surface->canvas().textWidth(shownText(QString::fromLatin1(c.title.c_str())).toStdString());
      if (!c.condition.empty()) width += LampWidth(surface->canvas().metrics());
      EXPECT_LE(width, c.pos.w) << c.label << " runs past its place (" << width << " pixels)";
    }
    CloseForm(tk, w, task);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  fs::remove_all(tmp);
}

// The channel window's lamps: lit (green) while their state is set, dark
// otherwise.
TEST(ShippedFormsOnQt, LampsLightWithTheirState) {
  FormsOnQt forms(Rect{0, 0, 900, 1200});
  QtToolkit& tk = forms.tk;
  AnyNames names, states;
  const WindowId w = forms.open(1010, names, states);
  ASSERT_NE(w, kNoWindow);
  Form& form = *tk.findAs<Form>(w);
  ASSERT_TRUE(states.ids.count("CON"));
  form.SetState(states.ids.at("CON"), 1);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  auto* surface = static_cast<qtdetail::Surface*>(tk.contentWidget(w));
  const QImage picture = surface->grab().toImage();
  const FontMetrics m = surface->canvas().metrics();
  // The middle of a lamp: half a lamp right of the text's place, half the
  // line down.
  auto lampColour = [&](const char* label) {
    for (const ControlDescription& c : form.description().controls)
      if (c.label == label) {
        const qreal scale = picture.devicePixelRatio();
        const int x = c.pos.x + (LampWidth(m) - 4) / 2, y = c.pos.y + (m.ascent + m.descent) / 2;
        return picture.pixelColor(static_cast<int>(x * scale), static_cast<int>(y * scale));
      }
    return QColor();
  };
  const QColor lit = lampColour("LAMP_CON"), dark = lampColour("LAMP_BOX");
  EXPECT_GT(lit.green(), lit.red() + 60) << lit.name().toStdString();
  EXPECT_LT(std::abs(dark.green() - dark.red()), 20) << dark.name().toStdString();
  EXPECT_LT(dark.value(), 160) << dark.name().toStdString();
  CloseForm(tk, w, forms.task);
}

// The message dialogs with the longest lines the message service hands
// them (79 characters, a long path among them): each line shows whole, and
// the widened dialog stays inside the frame.
TEST(ShippedFormsOnQt, MessageDialogsShowLongLinesWhole) {
  FormsOnQt forms(Rect{0, 0, 768, 1024});
  QtToolkit& tk = forms.tk;
  const WindowId task = forms.task;
  const std::vector<std::string> lines = {
      "Port 2 (Dire Wolf on the shack computer) could not be opened: the device or ho",
      "/home/operator/.local/share/tarvik/station/log/N0BBS-15/mail/outgoing/000012.",
      "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"};
  for (int number : {1610, 1620, 1630, 1640}) {
    SCOPED_TRACE(number);
    core::DialogRequest request;
    request.dialogNumber = number;
    request.lines = lines;
    const WindowId w = forms.runtime.open(std::make_unique<MessageDialogForm>(forms.runtime, request, task));
    ASSERT_NE(w, kNoWindow);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QWidget* content = tk.contentWidget(w);
    // The lines are fixed texts the dialog paints in its font.
    Form& form = *tk.findAs<Form>(w);
    auto* surface = static_cast<qtdetail::Surface*>(content);
    for (const ControlDescription& c : form.description().controls) {
      if (c.kind != ControlType::FixedText) continue;
      const std::string text = form.GetCtlText(c.id);
      EXPECT_FALSE(text.empty()) << c.label;
      EXPECT_LE(c.pos.x + surface->canvas().textWidth(text), content->width()) << text << " is cut";
    }
    for (auto* button : content->findChildren<QPushButton*>())
      EXPECT_LE(button->geometry().right(), content->width()) << button->text().toStdString();
    const Rect outer = tk.outerRect(w);
    EXPECT_GE(outer.left, 0);
    EXPECT_LE(outer.right, tk.clientRect(task).width());
    CloseForm(tk, w, task);
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
}

// The same at twice the scale, in a run of its own (the scale is fixed when
// Qt starts).
TEST(ShippedFormsOnQt, NoTextIsClippedAtTwiceTheScale) {
  if (std::getenv("QT_SCALE_FACTOR")) GTEST_SKIP() << "this is the run at a scale";
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  ASSERT_FALSE(ec);
  const std::string log = (fs::temp_directory_path() / ("tvk_scale2_" + std::to_string(::getpid()))).string();
  // The child checks pictures only; each of its tests is checked for leaks
  // in its own run. (Run together in one process under LeakSanitizer, the
  // two report Qt objects of the first test's frame.)
  const std::string command = "ASAN_OPTIONS=detect_leaks=0 QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=offscreen '" + self.string() +
                              "' --gtest_filter='ShippedFormsOnQt.NoTextIsClipped:ShippedFormsOnQt.MessageDialogsShowLongLinesWhole:TerminalOnQt.LinesKeepTheirDescenders' > '" +
                              log + "' 2>&1";
  const int rc = std::system(command.c_str());
  std::ifstream in(log);
  const std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  fs::remove(log, ec);
  EXPECT_EQ(rc, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 3 tests"), std::string::npos) << output;
}

}  // namespace
}  // namespace tarvik::ui
