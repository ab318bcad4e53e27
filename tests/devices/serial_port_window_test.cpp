// A serial port window end to end: a TNC on a pseudo-terminal, the program
// on the headless toolkit with a stepped clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "ax25/frame_codec.h"
#include "ax25/frame_events.h"
#include "core/app.h"
#include "core/port_opening.h"
#include "devices/crc.h"
#include "devices/port_drivers.h"
#include "devices/pty_tnc.h"
#include "devices/serial_port_window.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::devices {
namespace {

namespace fs = std::filesystem;
using testing::PtyTnc;
using Bytes = std::vector<std::uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Stands in for the main window (frames received) or a transparent link.
struct Collector : ui::Window {
  std::vector<ax25::FrameRecord> frames;
  Bytes raw;
  ui::WindowId rawOwner = ui::kNoWindow;
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    if (auto* f = e.as<ax25::FrameRecord>(); f && e.id == ax25::kEvtFrameReceived) frames.push_back(*f);
    if (auto* b = e.as<ax25::RawFrameBuffer>(); b && e.id == ax25::kEvtTransparentData) {
      raw.insert(raw.end(), b->bytes().begin(), b->bytes().end());
      rawOwner = b->owner;
    }
  }
};

ax25::FrameRecord uiFrame(int port) {
  const ax25::AddressRecord to = *ax25::ParseCall("CQ");
  const ax25::AddressRecord from = *ax25::ParseCall("N0CALL-1");
  const Bytes info = text("hello");
  return ax25::BuildFrame(port, 0, false, to, from, ax25::ViaList{}, ax25::FrameType::UI,
                          ax25::CrPf::Command, ax25::kPidNoLayer3, 0, 0, info);
}

class SerialPortWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tnc.ok());
    dir = fs::temp_directory_path() /
          ("tvk_serial_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=N0CALL-1\nTMPPATH=" << d
                                      << "tmp/\nLOGPATH=" << d << "log/\nMESSAGEFILE=" << d
                                      << "TARVIK.MSG\n";
    std::ofstream(dir / "TARVIK.MSG") << "27 1 Port %s: %s\n501 1 Unknown event %s %s\n";
    core::StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    app->hooks().encodeAndSend = ax25::EncodeAndSendEvent;
    app->hooks().openPort = OpenPortWindow;
    ASSERT_TRUE(app->Start());
    ui::WindowSpec spec;
    spec.name = "MAIN";
    app->mainWindow = tk.create(spec, std::make_unique<Collector>());
    main = tk.findAs<Collector>(app->mainWindow);
  }
  void TearDown() override {
    app.reset();
    fs::remove_all(dir);
  }

  core::PortRecord& port0(int devType, int protocol, std::string iniText = {},
                          std::string deiniText = {}) {
    core::PortRecord& p = app->ports()[0];
    p.device = tnc.path() + ":9600,n,8,1;4096,4096";
    p.devType = static_cast<std::int16_t>(devType);
    p.protocol = static_cast<std::int16_t>(protocol);
    p.iniText = std::move(iniText);
    p.deiniText = std::move(deiniText);
    return p;
  }
  ui::WindowId open() {
    app->ports()[0].portWindow = OpenPortWindow(*app, 0);
    return app->ports()[0].portWindow;
  }
  SerialPortWindow* window() { return tk.findAs<SerialPortWindow>(app->ports()[0].portWindow); }
  std::string dialogs() const {
    std::string all;
    for (const auto& d : tk.dialogLog())
      for (const auto& l : d.lines) all += l + "|";
    return all;
  }

  PtyTnc tnc;
  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
  Collector* main = nullptr;
};

TEST_F(SerialPortWindowTest, TncGetsInitTextThenKissParametersAndCarriesFrames) {
  core::PortRecord& p = port0(core::kDevTypeTnc, core::kProtocolSmack, "<1B>@K\r\n<DELAY>2\r\nKISS ON<0D>");
  p.channels[1] = {.window = 2, .txdelay = 300, .txtail = 20, .persist = 25, .slottime = 100};
  p.channels[3] = {.window = 0, .txdelay = 500};  // not configured: no parameters
  ASSERT_NE(open(), ui::kNoWindow);
  ASSERT_NE(window()->serial(), nullptr);

  // The first line at once; the delay holds the rest, not the program.
  EXPECT_EQ(tnc.read(3), (Bytes{0x1B, '@', 'K'}));
  tk.stepSeconds(1);
  EXPECT_TRUE(tnc.read(1, 50).empty());
  tk.stepSeconds(1);
  EXPECT_EQ(tnc.read(8), text("KISS ON\r"));
  // Parameters only after the final pause of three seconds changes.
  tk.stepSeconds(2);
  EXPECT_TRUE(tnc.read(1, 50).empty());
  tk.stepSeconds(1);
  const Bytes params = {0xC0, 0x11, 0x1E, 0xC0, 0xC0, 0x14, 0x02, 0xC0,
                        0xC0, 0x12, 0x3F, 0xC0, 0xC0, 0x13, 0x0A, 0xC0};
  EXPECT_EQ(tnc.read(params.size()), params);
  EXPECT_FALSE(window()->textRunning());

  // A frame sent goes out SMACK-framed.
  ax25::FrameRecord frame = uiFrame(0);
  ax25::SendFrame(*app, frame);
  const auto raw = ax25::EncodeFrame(frame);
  EXPECT_EQ(tnc.read(EncodeSmack(*raw).size()), EncodeSmack(*raw));

  // Frames from the TNC: intact SMACK and plain KISS arrive, a SMACK frame
  // with a damaged checksum is dropped.
  Bytes damaged = EncodeSmack(*raw);
  damaged[damaged.size() - 2] ^= 0x01;
  tnc.send(cat(cat(damaged, EncodeKiss(*raw)), EncodeSmack(*raw)));
  ASSERT_TRUE(tk.pumpUntil([&] { return main->frames.size() >= 2; }));
  tk.pump(100);
  ASSERT_EQ(main->frames.size(), 2u);
  for (const auto& f : main->frames) {
    EXPECT_EQ(f.info, text("hello"));
    EXPECT_EQ(f.type, ax25::FrameType::UI);
    EXPECT_EQ(f.port, 0);
  }

  // One parameter on request, and the parameters of one radio channel.
  tk.sendUser(app->ports()[0].portWindow, kEvtSendKissParameter, 0,
              std::make_unique<KissParameterRequest>(0, 5, 0));
  EXPECT_EQ(tnc.read(3), (Bytes{0xC0, 0xFF, 0xC0}));
  tk.sendUser(app->ports()[0].portWindow, kEvtSendKissParameters, 1);
  EXPECT_EQ(tnc.read(params.size()), params);
}

TEST_F(SerialPortWindowTest, ClosingSendsDeiniTextAndEndsTheReader) {
  port0(core::kDevTypeTnc, core::kProtocolKiss, "", "<C0,FF,C0>\r\n<DELAY>1\r\nRESET<0D>");
  const ui::WindowId w = open();
  tk.stepSeconds(3);
  ASSERT_FALSE(window()->textRunning());
  SerialPort* line = window()->serial();

  tk.destroy(w);
  EXPECT_EQ(app->ports()[0].portWindow, ui::kNoWindow);  // the port is free at once
  EXPECT_EQ(tnc.read(3), (Bytes{0xC0, 0xFF, 0xC0}));
  EXPECT_FALSE(ProbeSerialDevice(tnc.path())) << "the line stays held while the DEINI text runs";
  EXPECT_TRUE(line->ReaderRunning());
  tk.stepSeconds(1);
  EXPECT_EQ(tnc.read(6), text("RESET\r"));
  tk.stepSeconds(3);  // the final pause, then the line closes
  EXPECT_TRUE(ProbeSerialDevice(tnc.path()));
  for (ui::WindowId id : tk.windows()) EXPECT_EQ(tk.specOf(id)->name == "COMCLOSE", false);
}

TEST_F(SerialPortWindowTest, ShutdownWaitsUntilTheDeiniTextIsOutWithinABound) {
  port0(core::kDevTypeTnc, core::kProtocolKiss, "", "AAA\r\n<DELAY>2\r\nBBB");
  open();
  tk.stepSeconds(3);
  app->RequestShutdown();
  tk.pump(0);
  EXPECT_EQ(app->mainWindow, ui::kNoWindow);
  EXPECT_EQ(app->ports()[0].portWindow, ui::kNoWindow);
  EXPECT_EQ(tnc.read(3), text("AAA"));
  ASSERT_NE(app->taskWindow, ui::kNoWindow) << "the program waits for the closing port";
  tk.stepSeconds(2);
  EXPECT_EQ(tnc.read(3), text("BBB"));
  tk.stepSeconds(3);  // the final pause: then the line is drained and closed
  EXPECT_TRUE(ProbeSerialDevice(tnc.path()));
  tk.stepMs(200);
  EXPECT_EQ(app->taskWindow, ui::kNoWindow);
}

TEST_F(SerialPortWindowTest, ShutdownWaitsNoLongerThanItsBound) {
  port0(core::kDevTypeTnc, core::kProtocolKiss, "", "A\r\n<DELAY>200\r\nB");
  open();
  tk.stepSeconds(3);
  app->RequestShutdown();
  tk.pump(0);
  EXPECT_EQ(tnc.read(1), text("A"));
  tk.stepSeconds(core::kShutdownWaitSeconds - 1);
  EXPECT_NE(app->taskWindow, ui::kNoWindow);
  tk.stepSeconds(2);
  EXPECT_EQ(app->taskWindow, ui::kNoWindow);
}

TEST_F(SerialPortWindowTest, ClosingDuringTheInitTextDelayIsSafe) {
  port0(core::kDevTypeTnc, core::kProtocolKiss, "A\r\n<DELAY>30\r\nB", "Z");
  const ui::WindowId w = open();
  EXPECT_EQ(tnc.read(1), text("A"));
  tk.destroy(w);  // while the INI text waits
  EXPECT_EQ(tnc.read(1), text("Z"));
  tk.stepSeconds(40);
  EXPECT_TRUE(tnc.read(1, 50).empty()) << "the rest of the INI text is abandoned";
  EXPECT_TRUE(ProbeSerialDevice(tnc.path()));
}

TEST_F(SerialPortWindowTest, LineThatCannotOpenIsReportedAndGoesAway) {
  core::PortRecord& p = port0(core::kDevTypeCom, core::kProtocolKiss);
  p.device = "/dev/tarvik-no-such-line:9600,n,8,1";
  p.title = "TNC";
  ASSERT_NE(open(), ui::kNoWindow);
  // The port is named by its title and its line; the reason in the system's words.
  EXPECT_NE(dialogs().find("Port TNC (/dev/tarvik-no-such-line): No such file or directory"), std::string::npos)
      << dialogs();
  tk.stepMs(100);
  EXPECT_EQ(app->ports()[0].portWindow, ui::kNoWindow);

  // A line another port holds: EBUSY.
  PtyTnc other;
  int error = 0;
  auto holder = SerialPort::Open(*ParseDeviceString(tnc.path()), nullptr, error);
  ASSERT_TRUE(holder);
  port0(core::kDevTypeCom, core::kProtocolKiss);
  open();
  EXPECT_NE(dialogs().find("Device or resource busy"), std::string::npos) << dialogs();
}

// CPU time of the whole process (every thread), in seconds.
double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(SerialPortWindowTest, TncThatGoesAwayIsToldOnceCostsNoCpuAndIsReopenedWhenBack) {
  std::ofstream(dir / "TARVIK.MSG", std::ios::app)
      << "1070 2 Port %s lost: %s\n1071 2 Port %s back after %s s\n1077 2 the device hung up\n";
  // The port names its TNC by a link, as /dev/serial/by-id does: a TNC
  // plugged in again may be another device behind the same name.
  const fs::path link = dir / "tnc";
  fs::create_symlink(tnc.path(), link);
  core::PortRecord& p = port0(core::kDevTypeTnc, core::kProtocolKiss, "KISS ON<0D>");
  p.device = link.string() + ":9600";
  p.title = "TNC";
  p.channels[0] = {.window = 2, .txdelay = 300, .txtail = 20, .persist = 25, .slottime = 100};
  const Bytes params = {0xC0, 0x01, 0x1E, 0xC0, 0xC0, 0x04, 0x02, 0xC0,
                        0xC0, 0x02, 0x3F, 0xC0, 0xC0, 0x03, 0x0A, 0xC0};
  ASSERT_NE(open(), ui::kNoWindow);
  EXPECT_EQ(tnc.read(8), text("KISS ON\r"));
  tk.stepSeconds(3);
  EXPECT_EQ(tnc.read(params.size()), params);
  EXPECT_EQ(app->ports()[0].state, core::PortState::Up);

  // Pulled: the far end closes and the device name is gone.
  tnc.closeMaster();
  fs::remove(link);
  ASSERT_TRUE(tk.pumpUntil([&] { return app->ports()[0].state == core::PortState::Down; }, 5000));
  EXPECT_EQ(tk.statusField(0), "Port 0 (TNC) lost: the device hung up");
  EXPECT_EQ(window()->serial(), nullptr);
  EXPECT_TRUE(window()->reopenPending());
  ax25::SendFrame(*app, uiFrame(0));
  EXPECT_EQ(app->ports()[0].framesDropped, 1u);

  // While it is gone the program idles: no thread spins on the dead line,
  // and the looks for the device (the clock stepped through a few pauses)
  // cost next to nothing.
  const double cpuBefore = CpuSeconds();
  const auto wall = std::chrono::steady_clock::now();
  for (int i = 0; i < 40; ++i) {
    tk.pump(50);
    tk.stepMs(500);
  }
  const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  EXPECT_LT(CpuSeconds() - cpuBefore, 0.5 * wallSeconds) << "over " << wallSeconds << " s";
  EXPECT_TRUE(window()->reopenPending());
  EXPECT_EQ(app->ports()[0].state, core::PortState::Down);
  EXPECT_TRUE(tk.dialogLog().empty());  // told in the status line only

  // Plugged in again: at the next look the line opens, the TNC gets its INI
  // text and parameters anew, and frames flow both ways.
  PtyTnc again;
  ASSERT_TRUE(again.ok());
  fs::create_symlink(again.path(), link);
  ASSERT_LE(window()->reopenPauseMs(), kSerialRetryLongestMs + kSerialRetryLongestMs / 10);
  tk.stepMs(window()->reopenPauseMs());
  ASSERT_TRUE(tk.pumpUntil([&] { return app->ports()[0].state == core::PortState::Up; }, 5000));
  EXPECT_THAT(tk.statusField(0), ::testing::StartsWith("Port 0 (TNC) back after "));
  const Bytes setup = cat(text("KISS ON\r"), params);
  Bytes got;
  for (int i = 0; i < 5 && got.size() < setup.size(); ++i) {
    got = cat(got, again.read(setup.size() - got.size(), 100));
    tk.stepSeconds(1);
  }
  EXPECT_EQ(got, setup);
  ax25::FrameRecord frame = uiFrame(0);
  ax25::SendFrame(*app, frame);
  const auto raw = ax25::EncodeFrame(frame);
  EXPECT_EQ(again.read(EncodeKiss(*raw).size()), EncodeKiss(*raw));
  again.send(EncodeKiss(*raw));
  ASSERT_TRUE(tk.pumpUntil([&] { return main->frames.size() == 1; }));
  EXPECT_EQ(main->frames[0].info, text("hello"));
  EXPECT_EQ(app->ports()[0].framesDropped, 1u);
}

TEST_F(SerialPortWindowTest, TransparentPortAddsLineEndsAndFeedsItsLink) {
  port0(core::kDevTypeCom, core::kProtocolNone);
  ui::WindowSpec spec;
  spec.name = "LINK";
  const ui::WindowId link = tk.create(spec, std::make_unique<Collector>());
  const ui::WindowId w = open();
  tk.stepSeconds(3);

  auto sendRaw = [&](const std::string& s) {
    auto b = std::make_unique<ax25::RawFrameBuffer>();
    b->assign(text(s));
    tk.sendUser(w, ax25::kEvtFrameBytes, 0, std::move(b));
  };
  sendRaw("abc");
  EXPECT_EQ(tnc.read(5), text("abc\n\r"));
  sendRaw("abc\r");
  EXPECT_EQ(tnc.read(4), text("abc\r"));

  // Without a link the newest bytes wait; the link gets them with the next.
  tnc.send(text("early "));
  tk.pump(200);
  app->ports()[0].transparentLink = link;
  tnc.send(text("late"));
  auto* l = tk.findAs<Collector>(link);
  ASSERT_TRUE(tk.pumpUntil([&] { return l->raw.size() >= 10; }));
  EXPECT_EQ(l->raw, text("early late"));
  EXPECT_EQ(l->rawOwner, w);

  // A flood without a link never grows beyond the buffer; the newest bytes
  // stay.
  app->ports()[0].transparentLink = ui::kNoWindow;
  tnc.send(cat(Bytes(5000, 'x'), text("!")));
  auto* port = window();
  ASSERT_TRUE(tk.pumpUntil([&] { return !port->pendingBytes().empty() && port->pendingBytes().back() == '!'; }));
  EXPECT_EQ(port->pendingBytes().size(), kReceiveBufferCapacity);
}

TEST_F(SerialPortWindowTest, ModemAnswerWait) {
  // Without the answer the port closes about 20 seconds after its text.
  port0(core::kDevTypeCom, core::kProtocolKiss, "ATD123<0D>\r\n<ANSWER>CONNECT");
  open();
  EXPECT_EQ(window()->mode(), SerialPortWindow::Mode::AnswerWait);
  EXPECT_EQ(window()->answer(), "CONNECT");
  tk.stepSeconds(3 + 20);
  EXPECT_NE(app->ports()[0].portWindow, ui::kNoWindow);
  tk.stepSeconds(2);
  EXPECT_EQ(app->ports()[0].portWindow, ui::kNoWindow);
  // The port is named by its title (none here) and its line.
  EXPECT_NE(dialogs().find("Port port 0 (" + tnc.path() + "): Timeout"), std::string::npos) << dialogs();
  tk.stepSeconds(4);  // the closing line is released

  // With the answer the port stays and speaks KISS from then on.
  open();
  tk.stepSeconds(3);
  tnc.send(text("\r\nCONNECT 9600\r\n"));
  ASSERT_TRUE(tk.pumpUntil([&] { return window()->mode() == SerialPortWindow::Mode::Normal; }));
  tk.stepSeconds(30);
  ASSERT_NE(app->ports()[0].portWindow, ui::kNoWindow);
  tnc.send(EncodeKiss(*ax25::EncodeFrame(uiFrame(0))));
  EXPECT_TRUE(tk.pumpUntil([&] { return main->frames.size() == 1; }));
}

TEST_F(SerialPortWindowTest, ReinitAndUnknownEvents) {
  port0(core::kDevTypeTnc, core::kProtocolKiss, "INI", "DEINI");
  const ui::WindowId w = open();
  EXPECT_EQ(tnc.read(3), text("INI"));
  tk.stepSeconds(3);
  tk.sendUser(w, kEvtReinitTnc);
  EXPECT_EQ(tnc.read(5), text("DEINI"));
  tk.stepSeconds(3);
  EXPECT_EQ(tnc.read(3), text("INI"));
  tk.sendUser(w, 4711);
  EXPECT_NE(dialogs().find("Unknown event COM 4711"), std::string::npos) << dialogs();
}

}  // namespace
}  // namespace tarvik::devices
