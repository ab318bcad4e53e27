#pragma once
// A whole station fed with hostile but well-formed traffic: frames of every
// type with any N(R), N(S), poll bit and addresses from a few stations (some
// of them to our calls, some digipeated, some from a DAMA master), heartbeat
// ticks, T2 time, and the operator's sending, busy switch and disconnects.
// After every step the routing table and every link must hold together.
// Used by the libFuzzer target and by a seeded robustness test.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>

#include "ax25/link_window.h"
#include "channels/channel_owner.h"
#include "channels/form_windows.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::fuzz {

// Writes the station's INI file (once per process is enough).
inline std::filesystem::path WriteHostileStationIni(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const auto ini = dir / "TARVIK.INI";
  std::ofstream(ini) << "[TARVIK]\nMYCALL=DL1ZZZ-1,2\nMYNAME=fuzz\nFLAGS=1101000000\nMESSAGEFILE="
                     << (dir / "none.msg").string()
                     << "\n[P0]\nDEVICE=x\nPROTOCOL=KISS\n[P0CHAN0]\nWINDOW=7\nPACLEN=64\nT1=3\n"
                        "T2=300\nT2DAMA=100\nT3=20\nRETRY=2\nL2F=15\n";
  return ini;
}

class HostileStation {
 public:
  explicit HostileStation(const std::filesystem::path& ini)
      : tk_(ui::HeadlessToolkit::Mode::Manual), app_(tk_, core::StartupOptions{}) {
    app_.config().LoadConfiguration(ini);
    app_.taskWindow = tk_.create({}, std::make_unique<Sink>());
    app_.messages().setTaskWindow(app_.taskWindow);
    ui::FormRuntime& forms = *ui::InstallForms(app_);  // kept by the message service
    channels::InstallChannelForms(app_, forms);
    app_.mainWindow = channels::MainWindow::Create(app_, forms, {});
    main_ = tk_.findAs<channels::MainWindow>(app_.mainWindow);
  }
  ~HostileStation() {
    for (auto w : tk_.windows()) tk_.destroy(w);
  }

  // Runs one step taken from the front of `in`; false when `in` is used up.
  bool Step(std::span<const std::uint8_t>& in) {
    if (in.empty()) return false;
    const std::uint8_t op = take(in);
    switch (op % 8) {
      case 0: case 1: case 2: case 3: frame(in); break;
      case 4: tick(1 + take(in) % 8); break;
      case 5: tk_.stepMs(1 + take(in) * 4); break;
      case 6: operatorAction(in); break;
      case 7: connect(in); break;
    }
    tk_.pump();
    return true;
  }

  // Channel slots in use now.
  int SlotsInUse() {
    int n = 0;
    for (const ax25::ChannelSlot& slot : main_->channels().slots) n += slot.inUse();
    return n;
  }

  // Empty when routing table and links hold together, else what broke.
  std::string Check() {
    if (std::string broken = main_->channels().Check(); !broken.empty()) return broken;
    for (int i = 0; i < ax25::kChannelSlots; ++i) {
      const ax25::ChannelSlot& slot = main_->channels()[i];
      if (slot.linkWindow == ui::kNoWindow) continue;
      auto* link = tk_.findAs<ax25::LinkWindow>(slot.linkWindow);
      if (!link) return "slot " + std::to_string(i) + " names a missing link";
      if (!ax25::ConsistentBlock(link->block())) return "link of slot " + std::to_string(i) + " inconsistent";
    }
    return {};
  }

 private:
  struct Sink : ui::Window {
    void onEvent(ui::Event&) override {}
  };

  static std::uint8_t take(std::span<const std::uint8_t>& in) {
    if (in.empty()) return 0;
    const std::uint8_t b = in[0];
    in = in.subspan(1);
    return b;
  }

  static ax25::AddressRecord station(int n) {
    static const char* const kCalls[] = {"DL1ABC", "DL2XYZ", "DB0BOX", "DL1ZZZ-1", "DL1ZZZ-2",
                                         "DL1ZZZ-3", "TARVK", "DB0RPT"};
    return *ax25::ParseCall(kCalls[n & 7]);
  }

  void frame(std::span<const std::uint8_t>& in) {
    static const ax25::FrameType kTypes[] = {
        ax25::FrameType::I,    ax25::FrameType::RR,   ax25::FrameType::RNR, ax25::FrameType::REJ,
        ax25::FrameType::SABM, ax25::FrameType::DISC, ax25::FrameType::DM,  ax25::FrameType::UA,
        ax25::FrameType::FRMR, ax25::FrameType::UI,   ax25::FrameType::SIll, ax25::FrameType::UIll,
        ax25::FrameType::I,    ax25::FrameType::RR,   ax25::FrameType::I,   ax25::FrameType::RR};
    const std::uint8_t a = take(in), b = take(in), c = take(in);
    // Mostly from the first stations to our calls, so that links exist.
    const ax25::AddressRecord source = station(a & 3);
    const ax25::AddressRecord destination = station((a & 0x10) ? (a >> 5) : 3 + ((a >> 5) & 1));
    const ax25::FrameType type = kTypes[b & 15];
    static const ax25::CrPf kCrPf[] = {ax25::CrPf::Command, ax25::CrPf::CommandPoll,
                                       ax25::CrPf::Response, ax25::CrPf::ResponseFinal};
    ax25::ViaList via{};
    if (c & 0x40) {
      via[0] = station(3 + (c & 1) * 4);  // our main address or another digipeater
      via[0].cbit = (c & 0x02) != 0;
    }
    std::vector<std::uint8_t> info(take(in) % 80, 'i');
    auto f = std::make_unique<ax25::FrameRecord>(ax25::BuildFrame(
        0, 0, false, destination, source, via, type, kCrPf[(b >> 4) & 3], 0xF0, c & 7,
        (c >> 3) & 7, info));
    f->type = type;
    f->dama = (c & 0x80) != 0 && (a & 0x08) != 0;
    if (c & 0x02) f->via[0].cbit = true;
    tk_.sendUser(app_.mainWindow, ax25::kEvtFrameReceived, 0, std::move(f));
  }

  void tick(int n) {
    for (int i = 0; i < n; ++i) tk_.stepMs(1000);
  }

  channels::ChannelOwner* channel(std::uint8_t pick) {
    const ax25::ChannelSlot& slot = main_->channels()[pick & 7];
    return tk_.findAs<channels::ChannelOwner>(slot.channelWindow);
  }

  void operatorAction(std::span<const std::uint8_t>& in) {
    const std::uint8_t a = take(in);
    channels::ChannelOwner* ch = channel(a);
    if (!ch) return;
    switch ((a >> 3) & 7) {
      case 0: case 1: case 2: ch->SendData(std::vector<std::uint8_t>(1 + take(in) * 3u, 'd')); break;
      case 3: ch->Disconnect(false); break;
      case 4: ch->Disconnect(true); break;
      case 5: ax25::LinkCommand(tk_, ch->link(), ax25::LinkCommandCode::ToggleBusy); break;
      case 6: ax25::LinkCommand(tk_, ch->link(), ax25::LinkCommandCode::HoldReports, a >> 7); break;
      case 7: ax25::LinkSendUI(tk_, ch->link(), "ui"); break;
    }
  }

  void connect(std::span<const std::uint8_t>& in) {
    const std::uint8_t a = take(in);
    ax25::ConnectRequest r;
    r.remote = station(a & 3);
    r.own = station(3 + ((a >> 2) & 1));
    if (a & 0x10) r.via[0] = station(7);
    channels::OpenOutgoingChannel(app_, r);
  }

  ui::HeadlessToolkit tk_;
  core::App app_;
  channels::MainWindow* main_ = nullptr;
};

}  // namespace tarvik::fuzz
