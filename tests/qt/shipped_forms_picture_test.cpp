// Every window description the station ships, built into a real window on
// the Qt backend: the picture is not blank, and each described control that
// the toolkit makes a widget of is there under its name.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "ui/form.h"
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

TEST(ShippedFormsOnQt, EachDrawsAWindowWithItsControls) {
  const fs::path cnf = fs::path(TARVIK_BINARY_DIR) / "station-cnf";
  const fs::path tmp = fs::temp_directory_path() / ("tvk_qtforms_" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  char arg0[] = "qt_tests";
  char* argv[] = {arg0, nullptr};
  QtToolkit tk(1, argv, true);
  const WindowId task = tk.create(WindowSpec{WindowKind::Frame, "TASKWIN"}, std::make_unique<Root>());
  tk.move(task, Rect{0, 0, 900, 1200});

  FormEnvironment env;
  env.setting = [&](int n) {
    if (n == 5) return tmp.string() + "/";
    if (n == 6) return cnf.string() + "/";
    return std::string();
  };
  std::vector<int> messages;
  env.showMessage = [&](WindowId, int, int number, const std::string&, const std::string&) {
    messages.push_back(number);
  };
  env.executeCommand = [](WindowId, const std::string&) {};
  env.showHelp = [](const std::string&, int) {};
  env.winMenu = [] { return std::vector<std::string>{}; };
  env.taskWindow = [&] { return task; };
  FormRuntime runtime(tk, env);

  int built = 0;
  for (const auto& entry : fs::directory_iterator(cnf)) {
    const std::string file = entry.path().filename().string();
    if (file.size() != 9 || file.rfind("M", 0) != 0 || entry.path().extension() != ".CNX") continue;
    const int number = std::stoi(file.substr(1, 4));
    SCOPED_TRACE(file);
    AnyNames names, states;
    FormRequest request;
    request.number = number;
    request.resolvers = Resolvers{std::ref(names), std::ref(states)};
    request.parent = task;
    const WindowId w = runtime.open(std::make_unique<Form>(runtime, std::move(request)));
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

}  // namespace
}  // namespace tarvik::ui
