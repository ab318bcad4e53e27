#pragma once
// A station on the stepped clock for routing tests: the configuration, a
// main window with its router and channel table, and recorders standing in
// for the task window (frames sent with user event 810, status texts) and
// the port window (bytes sent directly, as a digipeated frame is).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "channels/channel_forms.h"
#include "ax25/frame_codec.h"
#include "ax25/link.h"
#include "ax25/link_window.h"
#include "channels/channel_owner.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::test {

namespace fs = std::filesystem;
using ax25::AddressRecord;
using ax25::CrPf;
using ax25::FrameRecord;
using ax25::FrameType;

struct SentFrames : ui::Window {
  std::vector<FrameRecord> frames;
  void onEvent(ui::Event& e) override {
    if (e.type == ui::EventType::User && e.id == ax25::kEvtFrameSend)
      if (auto* f = e.as<FrameRecord>()) frames.push_back(*f);
  }
};

struct PortBytes : ui::Window {
  std::vector<FrameRecord> frames;  // decoded from the bytes written
  void onEvent(ui::Event& e) override {
    if (e.type == ui::EventType::User && e.id == ax25::kEvtFrameBytes)
      if (auto* b = e.as<ax25::RawFrameBuffer>())
        if (auto f = ax25::DecodeFrame(0, b->bytes())) frames.push_back(*f);
  }
};

inline AddressRecord Call(const std::string& text) { return *ax25::ParseCall(text); }

class StationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tvk_route_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override {
    for (auto w : tk.windows()) tk.destroy(w);
    app.reset();
    fs::remove_all(dir);
  }

  void Load(const std::string& extra = {}) {
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=DL1ZZZ-1,2\nMYNAME=Tarvik station Tester\n" << extra
        << "MESSAGEFILE=" << d << "TARVIK.MSG\n[P0]\nDEVICE=/dev/null\nPROTOCOL=KISS\n"
        << "[P0CHAN0]\nWINDOW=4\nPACLEN=128\nT1=10\nT2=1500\nT2DAMA=500\nT3=180\nRETRY=3\nL2F=15\n";
    std::ofstream(dir / "TARVIK.MSG") << "9 2 Disconnecting %s\n12 2 Disconnected by %s\n";
    app = std::make_unique<core::App>(tk, core::StartupOptions{});
    ASSERT_TRUE(app->config().LoadConfiguration(dir / "TARVIK.INI"));
    app->taskWindow = tk.create({}, std::make_unique<SentFrames>());
    sent = tk.findAs<SentFrames>(app->taskWindow);
    app->messages().setTaskWindow(app->taskWindow);
    const ui::WindowId portWindow = tk.create({}, std::make_unique<PortBytes>());
    port = tk.findAs<PortBytes>(portWindow);
    app->ports()[0].portWindow = portWindow;
    channels::MainWindowHooks hooks;
    hooks.channelOpened = [this](ui::WindowId channel) { opened.push_back(channel); };
    app->mainWindow = channels::MainWindow::Create(*app, ChannelForms(*app), hooks);
    main = tk.findAs<channels::MainWindow>(app->mainWindow);
  }

  // A frame from `from` to `to`, optionally along digipeaters ("DB0RPT*"
  // marks one that has repeated it).
  FrameRecord Frame(const std::string& from, const std::string& to, FrameType type, CrPf crpf,
                    std::vector<std::string> via = {}, const std::string& info = {}, int nr = 0,
                    int ns = 0) {
    ax25::ViaList path{};
    for (std::size_t i = 0; i < via.size(); ++i) {
      const bool repeated = !via[i].empty() && via[i].back() == '*';
      path[i] = Call(repeated ? via[i].substr(0, via[i].size() - 1) : via[i]);
      path[i].cbit = repeated;
    }
    FrameRecord f = ax25::BuildFrame(0, 0, false, Call(to), Call(from), path, type, crpf, 0xF0, nr,
                                     ns, std::span(reinterpret_cast<const std::uint8_t*>(info.data()),
                                                   info.size()));
    for (std::size_t i = 0; i < via.size(); ++i) f.via[i].cbit = path[i].cbit;
    return f;
  }

  // Receives a frame the way the task window passes it on.
  void Receive(const FrameRecord& f) {
    tk.sendUser(app->mainWindow, ax25::kEvtFrameReceived, 0, std::make_unique<FrameRecord>(f));
    tk.pump();
  }

  std::vector<FrameRecord> TakeSent() {
    auto out = std::move(sent->frames);
    sent->frames.clear();
    return out;
  }

  ax25::ChannelSlot& Slot(int n) { return main->channels()[n]; }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
  SentFrames* sent = nullptr;
  PortBytes* port = nullptr;
  channels::MainWindow* main = nullptr;
  std::vector<ui::WindowId> opened;
};

}  // namespace tarvik::test
