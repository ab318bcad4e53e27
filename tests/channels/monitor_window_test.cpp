// The monitor window on the headless backend: frames in as the main window
// hands them on, coloured monitor lines out, filters switched by the
// operator, and a capture started through the file dialog and stopped
// through message 2.

#include "channels/monitor_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "channels/form_windows.h"
#include "ui/cnx_file.h"
#include "ui/fifo_text.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::channels {
namespace {

namespace fs = std::filesystem;

ax25::AddressRecord Call(const char* text) { return ax25::ParseCall(text).value(); }

std::unique_ptr<ax25::FrameRecord> Frame(const char* from, const char* to, ax25::FrameType type,
                                         ax25::CrPf crpf, std::string_view info = {}) {
  return std::make_unique<ax25::FrameRecord>(ax25::BuildFrame(
      0, 1, false, Call(to), Call(from), ax25::ViaList{}, type, crpf, ax25::kPidNoLayer3, 3, 5,
      std::vector<std::uint8_t>(info.begin(), info.end())));
}

class MonitorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tvk_monitor_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "cnf");
    fs::create_directories(dir_ / "save");
    const std::string d = dir_.string() + "/";
    std::ofstream(dir_ / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=DL1ABC-3\nSAVEPATH=" << d << "save/\nCNFPATH=" << d
        << "cnf/\nTMPPATH=" << d << "\nLOGPATH=" << d << "\nMESSAGEFILE=" << d
        << "TARVIK.MSG\n";
    std::ofstream(dir_ / "TARVIK.MSG") << "2     1 %s: capture to %s is running.\\nStop?\n"
                                       << "503   0 Unknown command: %s %s\n";
    const std::string description =
        "[WINDOW=Monitor;POS=20,20,640,360;SIZE;\n[CONTROL\n"
        "SAVE=&Capture;CTL_CB POS=8,6,90,22; SYS=SAVE;\n"
        "IONLY=&I frames only;CTL_CB POS=108,6,110,22; SYS=IONLY;\n"
        "OONLY=&Own calls only;CTL_CB POS=228,6,120,22; SYS=OONLY;\n"
        "NOBIN=&No binary;CTL_CB POS=358,6,100,22; SYS=NOBIN; CHECKED;\n"
        "MONITOR=;CTL_FIFO POS=0,34,0,0; SYS=MONITOR;\n"
        "[STRINGS\nTITLE=Air monitor\nCAPT=Save as\n";
    std::ofstream(dir_ / "cnf" / "M1050.CNX", std::ios::binary)
        << ui::EncodeCnx(ui::SealDescription(description), "M1050.CNX");
    core::StartupOptions options;
    options.iniPath = (dir_ / "TARVIK.INI").string();
    app_ = std::make_unique<core::App>(tk_, options);
    ASSERT_TRUE(app_->config().LoadConfiguration(options.iniPath));
    forms_ = std::make_unique<ui::FormRuntime>(tk_, ui::MakeFormEnvironment(*app_));
    InstallChannelForms(*app_, *forms_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Receive(std::unique_ptr<ax25::FrameRecord> f) {
    ui::Event e = ui::Event::user(core::kEvtFrameReceived, 0, std::move(f));
    MonitorFrameEvent(tk_, e);
  }
  void Send(std::unique_ptr<ax25::FrameRecord> f) {
    ui::Event e = ui::Event::user(core::kEvtFrameSend, 0, std::move(f));
    MonitorFrameEvent(tk_, e);
  }
  ui::FifoText& Pane() { return *ui::FindFifo(tk_, monitor().textPane()); }
  MonitorWindow& monitor() { return *tk_.findAs<MonitorWindow>(window_); }
  // The toolkit control of a symbolic id of the monitor's form.
  int Ctl(int id) { return monitor().controlOf(id); }
  // The lines shown with their colours.
  std::vector<std::pair<std::string, ui::Color>> Shown() {
    std::vector<std::pair<std::string, ui::Color>> out;
    const ui::FifoLines& l = Pane().lines();
    for (int i = l.oldest(); i != l.writeIndex(); i = ui::FifoLines::Next(i))
      out.emplace_back(l.slot(i).text, l.slot(i).colour);
    return out;
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
  ui::HeadlessToolkit tk_{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app_;
  std::unique_ptr<ui::FormRuntime> forms_;  // closes its forms before the app goes
  ui::WindowId window_ = ui::kNoWindow;
};

using ax25::CrPf;
using ax25::FrameType;

TEST_F(MonitorWindowTest, FramesBecomeColouredLinesOnlyWhileOpen) {
  Receive(Frame("DL1ABC", "DB0XYZ-2", FrameType::I, CrPf::Command, "nobody sees this\r"));
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  ASSERT_NE(window_, ui::kNoWindow);
  EXPECT_EQ(OpenMonitorWindow(*app_, *forms_, ui::kNoWindow), window_);  // one monitor only
  EXPECT_EQ(tk_.specOf(window_)->title, "Air monitor");
  EXPECT_TRUE(tk_.checked(window_, Ctl(kMonitorNoBin)));

  auto i = Frame("DL1ABC", "DB0XYZ-2", FrameType::I, CrPf::Command, "Hello\r\nworld\r");
  i->via[0] = Call("DB0RPT");
  i->via[0].cbit = true;
  Receive(std::move(i));
  Send(Frame("DL1ABC", "DB0XYZ", FrameType::SABM, CrPf::CommandPoll));
  Receive(Frame("DB0XYZ", "DL1ABC", FrameType::FRMR, CrPf::Response, "\x01\x5A\x01"));
  auto old = Frame("DB1AA", "DB2BB", FrameType::UI, CrPf::Command, "text");
  old->crpf = CrPf::OldVersion;
  Receive(std::move(old));
  ui::Event empty = ui::Event::user(core::kEvtFrameReceived);  // no frame: nothing
  MonitorFrameEvent(tk_, empty);

  const std::vector<std::pair<std::string, ui::Color>> expected = {
      {"0:1:DL1ABC to DB0XYZ-2  via DB0RPT* I(3,5) Pid f0 C [13]", ui::kBlue},
      {"Hello", ui::kBlack},
      {"world", ui::kBlack},
      {"0:1:DL1ABC to DB0XYZ SABM P", ui::kRed},
      {"0:1:DB0XYZ to DL1ABC FRMR M", ui::kBlue},
      {"01 5A 01  Error in Frame RR(0)  M DXE: R(2) S(5) W.invalid CTL Field", ui::kBlack},
      {"0:1:DB1AA to DB2BB UI Pid f0 Old Version", ui::kBlue},
  };
  EXPECT_EQ(Shown(), expected);

  ui::Event close(ui::EventType::Close, 0);
  tk_.send(window_, close);
  EXPECT_EQ(FindMonitorWindow(tk_), ui::kNoWindow);
  Receive(Frame("DL1ABC", "DB0XYZ-2", FrameType::UA, CrPf::ResponseFinal));  // nothing to show it
}

TEST_F(MonitorWindowTest, MonTimeStampsHeaderLinesOnly) {
  app_->config().SetSetting(45, "1");
  tk_.setTime(ui::Clock::from_time_t(1'800'000'000));
  const ui::LocalTime now = tk_.localTime();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", now.hour, now.minute, now.second);
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  Receive(Frame("DB1AA", "DB2BB", FrameType::I, CrPf::Command, "one\r"));
  const std::vector<std::pair<std::string, ui::Color>> expected = {
      {std::string(stamp) + "0:1:DB1AA to DB2BB I(3,5) Pid f0 C [4]", ui::kBlue},
      {"one", ui::kBlack},
  };
  EXPECT_EQ(Shown(), expected);
}

TEST_F(MonitorWindowTest, FiltersFollowTheirControls) {
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  const std::string binary = std::string(10, '\x01') + std::string(20, 'x');

  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorIOnly)));
  EXPECT_TRUE(monitor().filter().iOnly);
  EXPECT_TRUE(tk_.checked(window_, Ctl(kMonitorIOnly)));
  Receive(Frame("DB1AA", "DB2BB", FrameType::RR, CrPf::Response));
  Receive(Frame("DB1AA", "DB2BB", FrameType::I, CrPf::Command, binary));
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorOOnly)));
  Receive(Frame("DB1AA", "DB2BB", FrameType::I, CrPf::Command, "x"));  // not the own call
  Receive(Frame("DB1AA", "DL1ABC-7", FrameType::I, CrPf::Command, "to me"));
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorNoBin)));  // binary shown as it is
  EXPECT_FALSE(tk_.checked(window_, Ctl(kMonitorNoBin)));
  Receive(Frame("DL1ABC", "DB2BB", FrameType::I, CrPf::Command, binary));
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorIOnly)));
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorOOnly)));
  EXPECT_FALSE(tk_.checked(window_, Ctl(kMonitorIOnly)));
  Receive(Frame("DB1AA", "DB2BB", FrameType::RR, CrPf::Response));

  std::vector<std::string> texts;
  for (const auto& [text, colour] : Shown()) texts.push_back(text);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "0:1:DB1AA to DB2BB I(3,5) Pid f0 C [30]",
                       "...BIN...",
                       "0:1:DB1AA to DL1ABC-7 I(3,5) Pid f0 C [5]",
                       "to me",
                       "0:1:DL1ABC to DB2BB I(3,5) Pid f0 C [30]",
                       binary,
                       "0:1:DB1AA to DB2BB RR(3) M",
                   }));
}

TEST_F(MonitorWindowTest, CaptureThroughTheFileDialogAndMessageTwo) {
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  const std::string path = (dir_ / "save" / "MONITOR.TXT").string();

  tk_.queueFileDialogAnswer(std::nullopt);  // cancelled: nothing starts
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorSave)));
  EXPECT_FALSE(tk_.checked(window_, Ctl(kMonitorSave)));
  EXPECT_EQ(monitor().captureFile(), "");

  Receive(Frame("DB1AA", "DB2BB", FrameType::UA, CrPf::ResponseFinal));  // before the capture
  tk_.queueFileDialogAnswer(path);
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorSave)));
  EXPECT_EQ(monitor().captureFile(), path);
  EXPECT_EQ(tk_.specOf(window_)->title, "Air monitor --> " + path);
  EXPECT_TRUE(tk_.checked(window_, Ctl(kMonitorSave)));
  Receive(Frame("DB1AA", "DB2BB", FrameType::I, CrPf::Command, "one\rtwo"));
  Send(Frame("DL1ABC", "DB1AA", FrameType::DISC, CrPf::CommandPoll));

  // A second SAVE asks whether to stop; no keeps the capture running.
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorSave)));
  ASSERT_EQ(tk_.openMessageDialogs().size(), 1u);
  // The dialog line holds 79 characters of "MONITOR: capture to <path> is running.".
  EXPECT_EQ(tk_.openMessageDialogs()[0].lines[0],
            ("MONITOR: capture to " + path + " is running.").substr(0, 79));
  tk_.answerDialog(core::kAnswerNo);
  tk_.pump();
  EXPECT_EQ(monitor().captureFile(), path);
  EXPECT_TRUE(tk_.checked(window_, Ctl(kMonitorSave)));

  tk_.queueDialogAnswer(core::kAnswerYes);
  ASSERT_TRUE(tk_.operatorClick(window_, Ctl(kMonitorSave)));
  tk_.pump();
  EXPECT_EQ(monitor().captureFile(), "");
  EXPECT_EQ(tk_.specOf(window_)->title, "Air monitor");
  EXPECT_FALSE(tk_.checked(window_, Ctl(kMonitorSave)));
  Receive(Frame("DB1AA", "DB2BB", FrameType::DM, CrPf::ResponseFinal));  // after it

  EXPECT_EQ(Read(path),
            "\n0:1:DB1AA to DB2BB I(3,5) Pid f0 C [7]\none\ntwo"
            "\n0:1:DL1ABC to DB1AA DISC P\n");
}

TEST_F(MonitorWindowTest, TextPaneFillsTheWindowBelowTheSwitchesAndFollowsItsSize) {
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  ASSERT_NE(ui::FindFifo(tk_, monitor().textPane()), nullptr);
  const ui::Rect client = tk_.clientRect(window_);
  EXPECT_EQ(tk_.clientRect(monitor().textPane()).height(), client.height() - 34);
  EXPECT_EQ(tk_.clientRect(monitor().textPane()).width(), client.width());

  tk_.move(window_, ui::Rect{0, 0, 500, 800});
  ui::Event size(ui::EventType::Size, tk_.clientRect(window_).width(), tk_.clientRect(window_).height());
  tk_.send(window_, size);
  EXPECT_EQ(tk_.clientRect(monitor().textPane()).height(), tk_.clientRect(window_).height() - 34);
  EXPECT_EQ(tk_.clientRect(monitor().textPane()).width(), tk_.clientRect(window_).width());
}

TEST_F(MonitorWindowTest, UnknownCommandsAreReported) {
  window_ = OpenMonitorWindow(*app_, *forms_, ui::kNoWindow);
  monitor().Command(1);
  monitor().Command(1001);
  EXPECT_TRUE(tk_.openMessageDialogs().empty());
  monitor().Command(7);
  ASSERT_EQ(tk_.openMessageDialogs().size(), 1u);
  EXPECT_EQ(tk_.openMessageDialogs()[0].lines[0], "Unknown command: 7 MONITOR");
}

}  // namespace
}  // namespace tarvik::channels
