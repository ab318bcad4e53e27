// The ping window opened from the toolbox: the ping frame it sends (direct,
// through digipeaters, refused for a bad path), and the answers that come
// back through routing and are listed with the seconds they took.

#include "channels/ping_window.h"

#include <string>
#include <vector>

#include "toolbox_fixture.h"

namespace tarvik::test {
namespace {

using ax25::CrPf;
using ax25::FrameType;

ax25::AddressRecord Call(const char* text) { return ax25::ParseCall(text).value(); }

struct QuietPort : ui::Window {
  void onEvent(ui::Event&) override {}
};

class PingWindowTest : public ToolboxFixture {
 protected:
  // A station with two ports, port 1 open with radio channels 2 and 5.
  void StartWithPort() {
    std::ofstream(dir / "TARVIK.INI", std::ios::app)
        << "MYNAME=Tom\n[P0]\nDEVICE=/dev/null\nPROTOCOL=KISS\nTITLE=Closed\n"
        << "[P0CHAN0]\nWINDOW=4\nTITLE=Zero\n"
        << "[P1]\nDEVICE=/dev/null\nPROTOCOL=KISS\nTITLE=VHF\n"
        << "[P1CHAN2]\nWINDOW=4\nTITLE=Two\nQRG=144.800\n"
        << "[P1CHAN5]\nWINDOW=2\nTITLE=Five\nQRG=438.300\n";
    Install(1280);
    Start();
    // Open: a window that takes the port's events (frames are recorded
    // before they would reach it).
    app->ports()[1].portWindow = tk.create({}, std::make_unique<QuietPort>());
    ASSERT_EQ(Drive("press MAIN PING"), "OK");
    ASSERT_EQ(forms->windowsOf(1280).size(), 1u);
    window = forms->windowsOf(1280).front();
  }

  // What a program that hears the ping sends back (see the router's answer).
  // It reaches us repeated by every digipeater of the path.
  void Answer(const ax25::FrameRecord& ping, const char* from, std::string_view name) {
    auto answer = std::make_unique<ax25::FrameRecord>(ax25::BuildFrame(
        ping.port, ping.radioChannel, false, ping.source, Call(from), ax25::ReversePath(ping.via),
        FrameType::UI, CrPf::Response, ax25::kPidNoLayer3, 0, 0,
        std::vector<std::uint8_t>(name.begin(), name.end())));
    for (ax25::AddressRecord& hop : answer->via)
      if (!hop.empty()) hop.cbit = true;
    tk.sendUser(app->mainWindow, core::kEvtFrameReceived, 0, std::move(answer));
  }

  std::vector<std::string> Responses() {
    std::vector<std::string> out;
    for (const std::string& l : DriveLines("lines PING RESPONSE"))
      if (l.rfind("= ", 0) == 0) out.push_back(l.substr(2));
    return out;
  }

  channels::PingWindow& Ping() { return *tk.findAs<channels::PingWindow>(window); }

  ui::WindowId window = ui::kNoWindow;
};

TEST_F(PingWindowTest, PingsAndListsTheAnswers) {
  StartWithPort();
  EXPECT_EQ(Main().router().pingWindow(), window);
  EXPECT_EQ(Drive("get PING PORT"), "OK 1:VHF");
  EXPECT_EQ(Drive("get PING CHAN"), "OK 2:Two");
  EXPECT_EQ(Ping().GetCtlText(channels::kPingQrg), "144.800");
  ASSERT_EQ(Drive("select PING CHAN 1"), "OK");
  EXPECT_EQ(Ping().GetCtlText(channels::kPingQrg), "438.300");

  struct Case {
    const char* path;
    std::vector<std::string> via;  // empty and sent: direct
    bool sent;
  };
  const std::vector<Case> cases = {
      {"", {}, true},
      {"db0abc  DB0XYZ-3", {"DB0ABC", "DB0XYZ-3"}, true},
      {"dl1abc-16", {}, false},
      {"DB0ABC DB0TOOLONG", {}, false},
      {"A1 A2 A3 A4 A5 A6 A7 A8", {"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"}, true},
      {"A1 A2 A3 A4 A5 A6 A7 A8 A9", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    sent.clear();
    ASSERT_EQ(Drive(std::string("set PING STATION ") + c.path), "OK");
    ASSERT_EQ(Drive("press PING OK"), "OK");
    if (!c.sent) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    ASSERT_EQ(sent.size(), 1u);
    const ax25::FrameRecord& f = sent[0];
    EXPECT_EQ(f.type, FrameType::UI);
    EXPECT_EQ(f.crpf, CrPf::Command);
    EXPECT_EQ(f.pid, 0xF0);
    EXPECT_EQ(f.port, 1);
    EXPECT_EQ(f.radioChannel, 5);
    EXPECT_EQ(ax25::FormatCall(f.destination), "TARVK");
    EXPECT_EQ(ax25::FormatCall(f.source), "DL1ZZZ-1");
    EXPECT_EQ(std::string(f.info.begin(), f.info.end()), "09.03.2026 10:00");
    std::vector<std::string> via;
    for (const ax25::AddressRecord& a : f.via)
      if (!a.empty()) via.push_back(ax25::FormatCall(a));
    EXPECT_EQ(via, c.via);
  }

  // Answers: after 3 seconds and after 12; a zero byte shows as a blank,
  // a long name is cut at 100 characters.
  ASSERT_EQ(Drive("set PING STATION DB0RPT"), "OK");
  sent.clear();
  ASSERT_EQ(Drive("press PING OK"), "OK");
  ASSERT_EQ(sent.size(), 1u);
  const ax25::FrameRecord ping = sent[0];
  tk.stepSeconds(3);
  Answer(ping, "DL7AB-2", "Ann");
  tk.stepSeconds(9);
  Answer(ping, "OE3XY", std::string("Bo\0b", 4) + std::string(120, 'x'));
  const std::vector<std::string> lines = Responses();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "   3\tDL7AB-2\tAnn");
  EXPECT_EQ(lines[1], ("  12\tOE3XY\tBo b" + std::string(120, 'x')).substr(0, 100));

  // Closed, the window is no longer the router's: answers get DM as any
  // frame to us from a station without a channel.
  ui::CloseForm(tk, window, app->taskWindow);
  tk.pump();
  EXPECT_EQ(forms->windowsOf(1280).size(), 0u);
  EXPECT_EQ(Main().router().pingWindow(), ui::kNoWindow);
  sent.clear();
  Answer(ping, "DL7AB-2", "Ann");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].type, FrameType::DM);
}

TEST_F(PingWindowTest, NothingToPingOnWithoutAnOpenPort) {
  Install(1280);
  Start();
  ASSERT_EQ(Drive("press MAIN PING"), "OK");
  EXPECT_EQ(DriveLines("items PING PORT").size(), 1u);  // only the OK line
  EXPECT_NE(Drive("state PING STATION").find("enabled=0"), std::string::npos);
  EXPECT_NE(Drive("state PING OK").find("enabled=0"), std::string::npos);
  channels::PingWindow* ping = tk.findAs<channels::PingWindow>(forms->windowsOf(1280).front());
  ASSERT_NE(ping, nullptr);
  ping->Command(channels::kPingSend);
  EXPECT_TRUE(sent.empty());
}

}  // namespace
}  // namespace tarvik::test
