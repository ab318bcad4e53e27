#pragma once
// Whole Tarvik stations on one stepped clock and one headless toolkit,
// sharing a radio channel without loss: every frame a station's task
// window encodes (CoreHooks::encodeAndSend) is heard, decoded again, by
// every other station's task window a few milliseconds later, the way a
// port would hand it on. Each station has its own directory with the
// channel window's and the connect dialog's encoded descriptions, its INI
// file and its message file; the operator acts through the UI driver.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/station.h"
#include "ax25/frame_codec.h"
#include "channels/form_windows.h"
#include "channels/channel_window.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "ui/cnx_file.h"
#include "ui/fifo_text.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"
#include "ui/toolkit/ui_driver.h"

namespace tarvik::test {

namespace fs = std::filesystem;

// A port that is open and takes nothing: the frames go through the
// encode hook straight onto the shared channel.
struct QuietPort : ui::Window {
  void onEvent(ui::Event&) override {}
};

class Ether {
 public:
  static constexpr long long kDelayMs = 20;
  explicit Ether(ui::HeadlessToolkit& tk) : tk_(tk) {}

  void Attach(core::App& app) {
    const std::size_t side = apps_.size();
    apps_.push_back(&app);
    app.hooks().encodeAndSend = [this, side](core::App&, ui::Event& e) {
      if (const auto* f = e.as<ax25::FrameRecord>()) transmit(side, *f);
    };
  }

  bool RunUntil(const std::function<bool()>& pred, long long limitMs = 60'000) {
    const long long end = nowMs_ + limitMs;
    for (;;) {
      tk_.pump();
      deliverDue();
      if (pred()) return true;
      if (nowMs_ >= end) return false;
      tk_.stepMs(10);
      nowMs_ += 10;
    }
  }
  void Run(long long ms) {
    RunUntil([] { return false; }, ms);
  }

 private:
  struct Flight {
    long long due;
    std::size_t from;
    std::vector<std::uint8_t> bytes;
  };
  void transmit(std::size_t side, const ax25::FrameRecord& frame) {
    auto raw = ax25::EncodeFrame(frame);
    if (!raw) return;
    flights_.push_back({nowMs_ + kDelayMs, side, std::vector<std::uint8_t>(raw->bytes().begin(), raw->bytes().end())});
  }
  void deliverDue() {
    while (!flights_.empty() && flights_.front().due <= nowMs_) {
      Flight f = std::move(flights_.front());
      flights_.pop_front();
      for (std::size_t to = 0; to < apps_.size(); ++to) {
        core::App* app = apps_[to];
        if (to == f.from || !app || app->taskWindow == ui::kNoWindow) continue;
        if (auto frame = ax25::DecodeFrame(0, f.bytes))
          tk_.sendUser(app->taskWindow, ax25::kEvtFrameReceived, 0,
                       std::make_unique<ax25::FrameRecord>(std::move(*frame)));
      }
    }
  }
  ui::HeadlessToolkit& tk_;
  std::vector<core::App*> apps_;
  std::deque<Flight> flights_;
  long long nowMs_ = 0;
};

struct Terminal {
  std::string call;
  fs::path dir;
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;
  std::vector<ui::WindowId> opened;               // channel windows, in opening order
  std::function<void(channels::ChannelWindow&)> onChannel;  // each new channel, after its creation
  // A bare station's channel parts, asked before each channel's creation.
  std::function<void(channels::ChannelParts&)> addParts;

  channels::MainWindow* main() const { return app->toolkit().findAs<channels::MainWindow>(app->mainWindow); }
  channels::ChannelWindow* channel(int slot) const {
    channels::MainWindow* m = main();
    if (!m) return nullptr;
    return app->toolkit().findAs<channels::ChannelWindow>(m->channels()[slot].channelWindow);
  }
  int openChannels() const {
    int n = 0;
    for (int s = 0; s < ax25::kChannelSlots; ++s) n += channel(s) != nullptr;
    return n;
  }
  std::string logFile() const {
    std::ifstream in(dir / "log" / (call + ".log"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// A test's own channel part: takes received lines at the remote commands'
// stage when `take` says so (a node's connect command, a mailbox's reply).
struct TestLinePart : channels::ChannelPart {
  explicit TestLinePart(std::function<bool(channels::ChannelWindow&, const std::string&)> f) : take(std::move(f)) {}
  channels::LineStage stage() const override { return channels::LineStage::Remote; }
  channels::LineResult Line(channels::ChannelWindow& ch, const std::string& line) override {
    return take && take(ch, line) ? channels::LineResult::Taken : channels::LineResult::Pass;
  }
  std::function<bool(channels::ChannelWindow&, const std::string&)> take;
};

struct PaneLine {
  std::string text;
  ui::Color colour;
  bool operator==(const PaneLine&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const PaneLine& l) {
  return os << "{\"" << l.text << "\", " << std::hex << l.colour << std::dec << "}";
}

class TerminalFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const ui::WindowId w : tk.windows()) tk.destroy(w);
    for (auto& t : stations) t->app.reset();
    for (auto& t : stations) fs::remove_all(t->dir);
  }

  // A station of its own: `whole` builds it as the program does
  // (app::BuildStation: every channel with its parts, the station
  // database, scripts and the remote service); otherwise it is the bare
  // terminal with channels that have no parts.
  Terminal& AddStation(const std::string& call, bool whole = false) {
    auto t = std::make_unique<Terminal>();
    t->call = call;
    t->dir = fs::temp_directory_path() /
             ("tvk_term_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + call);
    fs::remove_all(t->dir);
    for (const char* sub : {"cnf", "log", "tmp"}) fs::create_directories(t->dir / sub);
    std::vector<int> described{channels::kChannelWindowNumber, channels::kConnectDialogNumber};
    // The station list and form, the timer list and entry.
    // The toolbox with its channel bar.
    if (whole) described.insert(described.end(), {1040, 1060, 1070, 1300, 1310});
    for (const int number : described) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(t->dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
    const std::string d = t->dir.string() + "/";
    std::ofstream(t->dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=" << call << "\nMYNAME=" << call << "\nFLAGS=0000000000\nMESSAGEFILE=" << d
        << "TARVIK.MSG\nCNFPATH=" << d << "cnf/\nTMPPATH=" << d << "tmp/\nLOGPATH=" << d << "log/\n"
        << (stationIni ? stationIni(d) : std::string())
        << "[P0]\nTITLE=Air\nDEVICE=air\nPROTOCOL=KISS\nDEVTYPE=TNC\n"
        << "[P0CHAN0]\nTITLE=Local\nQRG=438.300\nWINDOW=4\nPACLEN=128\nT1=2\nT2=100\nT2DAMA=500\nT3=180\n"
        // The ether has no airtime: its stations keep the plain link rules,
        // whose timing (T2 before each acknowledgement) the tests rely on.
        << "RETRY=3\nL2F=10\nLINKRULES=1\n"
        << "[CONNECT]\n*** connected to\n[FAIL]\n*** no answer from\n";
    std::ofstream(t->dir / "TARVIK.MSG")
        << "7 1 Not found: %s\n8 1 Disconnect from %s?\n9 2 Disconnecting from %s\n11 2 UI from %s: %s\n"
           "12 2 %s has disconnected.\n13 1 Connect failed: %s\n21 1 Port %s does not exist.\n"
           "22 1 Port %s: radio channel not configured.\n503 3 Unknown command: %s %s\n"
           "1700 2 *** disconnected\n";
    core::StartupOptions options;
    options.iniPath = (t->dir / "TARVIK.INI").string();
    t->app = std::make_unique<core::App>(tk, options);
    Terminal* raw = t.get();
    t->forms = ui::InstallForms(*t->app);
    const auto opened = [raw](core::App& a, ui::WindowId w) {
      raw->opened.push_back(w);
      if (auto* ch = a.toolkit().findAs<channels::ChannelWindow>(w); ch && raw->onChannel) raw->onChannel(*ch);
    };
    if (whole) {
      app::StationTaps taps;
      taps.channelOpened = [raw, opened](ui::WindowId w) { opened(*raw->app, w); };
      app::BuildStation(*t->app, *t->forms, std::move(taps));
    } else {
      channels::InstallChannelForms(*t->app, *t->forms);
      t->app->hooks().createMainWindow = [raw, opened](core::App& a) {
        channels::MainWindowHooks h;
        h.channelOpened = [opened, &a](ui::WindowId w) { opened(a, w); };
        h.channelSetup = [raw] {
          channels::ChannelSetup setup;
          if (raw->addParts) raw->addParts(setup.parts);
          return setup;
        };
        return channels::MainWindow::Create(a, *raw->forms, h);
      };
    }
    t->app->hooks().openPort = [](core::App& a, int) {
      return a.toolkit().create(ui::WindowSpec{}, std::make_unique<QuietPort>());
    };
    ether.Attach(*t->app);
    t->app->Start();
    EXPECT_TRUE(ether.RunUntil([raw] { return raw->app->mainWindow != ui::kNoWindow; }, 5000));
    stations.push_back(std::move(t));
    return *stations.back();
  }

  // The operator through the UI driver; the request must succeed.
  std::vector<std::string> Do(const std::string& request) {
    auto reply = driver.execute(request);
    EXPECT_FALSE(reply.empty() || reply.back().rfind("OK", 0) != 0) << request << " -> "
                                                                     << (reply.empty() ? "" : reply.back());
    return reply;
  }
  static std::string Win(ui::WindowId id) { return "#" + std::to_string(id); }

  std::vector<PaneLine> Pane(const channels::ChannelWindow* ch) {
    std::vector<PaneLine> out;
    if (!ch) return out;
    const ui::FifoText* pane = ui::FindFifo(tk, ch->receivePane());
    if (!pane) return out;
    const ui::FifoLines& lines = pane->lines();
    for (int i = 0; i < lines.count(); ++i) {
      const ui::FifoSlot& s = lines.slot(lines.oldest() + i);
      out.push_back({s.text, s.colour});
    }
    return out;
  }
  bool PaneHas(const channels::ChannelWindow* ch, const PaneLine& line) {
    const auto lines = Pane(ch);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool Connected(const channels::ChannelWindow* ch) {
    return ch && ch->sessionState() == channels::SessionState::Connected;
  }
  // Every message dialog shown so far, its first line.
  std::vector<std::string> Dialogs() {
    std::vector<std::string> out;
    for (const auto& d : tk.dialogLog()) out.push_back(d.lines.empty() ? "" : d.lines[0]);
    return out;
  }
  bool DialogShown(const std::string& first) {
    const auto all = Dialogs();
    return std::find(all.begin(), all.end(), first) != all.end();
  }

  // Connects `from` to `to` by the connect text and waits until both ends
  // are up; the channel of `from`.
  channels::ChannelWindow* ConnectPair(Terminal& from, Terminal& to, int* slot = nullptr) {
    const auto s = channels::OpenOutgoingChannel(*from.app, to.call);
    EXPECT_TRUE(s.has_value());
    if (!s) return nullptr;
    if (slot) *slot = *s;
    const std::size_t before = to.opened.size();
    EXPECT_TRUE(ether.RunUntil([&] { return Connected(from.channel(*s)) && to.opened.size() > before; }));
    return from.channel(*s);
  }

  // More [TARVIK] lines for the next stations, given the station's
  // directory (with its final "/").
  std::function<std::string(const std::string&)> stationIni;

  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  Ether ether{tk};
  ui::UiDriver driver{tk};
  std::vector<std::unique_ptr<Terminal>> stations;
};

}  // namespace tarvik::test
