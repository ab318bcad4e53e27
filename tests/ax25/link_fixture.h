#pragma once
// A link on the stepped clock with everything around it recorded: the frames
// it sends (user event 810 at the task window), what it tells its owner
// (status reports, data, queue drained), what it asks of its port, and the
// status-line messages. Peer frames and events are written in a small
// notation so that a scenario reads as the frame exchange it is:
//
//   "I ns0 nr2 cmd P"   an I frame, N(S) 0, N(R) 2, command with poll
//   "RR nr3 res F"      RR, N(R) 3, response with final ("res" alone: no final)
//   "SABM cmd P", "DISC cmd P", "UA res F", "DM res F", "FRMR cmd", "UI cmd"
//   "RR nr0 cmd P dama" a frame from a DAMA master
//   "tick 5"            five heartbeat ticks
//   "ms 1500"           the clock moves on 1500 ms (T2)
//   "sec 5"             five seconds: the clock moves on and the link ticks
//   "send 300"          the owner queues 300 bytes
//   "disc", "disc now", "busy", "hold 1", "hold 0"   link commands
//
// Sent frames are described in the same notation.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ax25/link.h"
#include "ax25/link_window.h"
#include "core/app.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::test {

namespace fs = std::filesystem;
using ax25::CrPf;
using ax25::FrameRecord;
using ax25::FrameType;
using ax25::LinkStatus;

inline const char* TypeName(FrameType t) {
  switch (t) {
    case FrameType::I: return "I";
    case FrameType::RR: return "RR";
    case FrameType::RNR: return "RNR";
    case FrameType::REJ: return "REJ";
    case FrameType::SABM: return "SABM";
    case FrameType::DISC: return "DISC";
    case FrameType::DM: return "DM";
    case FrameType::UA: return "UA";
    case FrameType::FRMR: return "FRMR";
    case FrameType::UI: return "UI";
    case FrameType::SIll: return "SILL";
    case FrameType::UIll: return "UILL";
    default: return "?";
  }
}

inline FrameType TypeFromName(const std::string& n) {
  for (FrameType t : {FrameType::I, FrameType::RR, FrameType::RNR, FrameType::REJ, FrameType::SABM,
                      FrameType::DISC, FrameType::DM, FrameType::UA, FrameType::FRMR, FrameType::UI,
                      FrameType::SIll, FrameType::UIll})
    if (n == TypeName(t)) return t;
  return FrameType::None;
}

inline bool HasNr(FrameType t) {
  return t == FrameType::I || t == FrameType::RR || t == FrameType::RNR || t == FrameType::REJ;
}

inline std::string Describe(const FrameRecord& f) {
  std::string s = TypeName(f.type);
  if (HasNr(f.type)) s += " nr" + std::to_string(f.nr);
  if (f.type == FrameType::I) s = "I ns" + std::to_string(f.ns) + " nr" + std::to_string(f.nr);
  switch (f.crpf) {
    case CrPf::Command: s += " cmd"; break;
    case CrPf::CommandPoll: s += " cmd P"; break;
    case CrPf::Response: s += " res"; break;
    case CrPf::ResponseFinal: s += " res F"; break;
    default: s += " v1"; break;
  }
  return s;
}

// Records what reaches the task window: frames to send and status texts.
struct TaskRecorder : ui::Window {
  std::vector<FrameRecord> frames;
  std::vector<std::string> texts;
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    if (e.id == ax25::kEvtFrameSend) {
      if (auto* f = e.as<FrameRecord>()) frames.push_back(*f);
    } else if (e.id == 983) {
      if (auto* t = e.as<ui::TextPayload>()) texts.push_back(t->text);
    }
  }
};

// Records what a link tells its owner.
struct OwnerRecorder : ui::Window {
  std::vector<LinkStatus> statuses;
  std::string data;
  int drained = 0;
  int ticks = 0;
  std::function<void()> onDrained;  // e.g. the next block of a file
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    if (e.id == core::kEvtHeartbeat) ++ticks;
    if (e.id == ax25::kEvtLinkStatus) {
      if (auto* r = e.as<ax25::LinkStatusReport>()) statuses.push_back(r->status);
    } else if (e.id == ax25::kEvtLinkData) {
      if (auto* b = e.as<ax25::RawFrameBuffer>()) data.append(b->bytes().begin(), b->bytes().end());
    } else if (e.id == ax25::kEvtQueueDrained) {
      ++drained;
      if (onDrained) onDrained();
    }
  }
};

// Records what a link asks of its port.
struct PortRecorder : ui::Window {
  std::vector<ax25::KissParameterRequest> parameters;
  std::vector<std::vector<std::uint8_t>> bytes;
  void onEvent(ui::Event& e) override {
    if (e.type != ui::EventType::User) return;
    if (e.id == ax25::kEvtKissParameter) {
      if (auto* p = e.as<ax25::KissParameterRequest>()) parameters.push_back(*p);
    } else if (e.id == ax25::kEvtFrameBytes) {
      if (auto* b = e.as<ax25::RawFrameBuffer>()) bytes.emplace_back(b->bytes().begin(), b->bytes().end());
    }
  }
};

struct ChannelConfig {
  int window = 4, paclen = 128, t1 = 10, t2 = 1500, t2dama = 500, t3 = 180, retry = 3, l2f = 15;
  std::string flags = "0000000000";
  std::string protocol = "KISS";
  // 1: the plain rules, whose every frame and tick the scenarios spell out;
  // 0: the rules adapted to the air, with BAUD and the KISS timing below.
  int linkRules = 1;
  int baud = 1200, txdelay = 300, persist = 100, slottime = 100;
};

// One step of a scenario and the frames it must send.
struct Step {
  std::string in;
  std::vector<std::string> out;
};

class LinkFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("tvk_link_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override {
    for (auto w : tk.windows()) tk.destroy(w);
    app.reset();
    fs::remove_all(dir);
  }

  // Loads a station with one port and radio channel; the remote is DL1ABC.
  void Load(const ChannelConfig& c = {}) {
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=DL1ZZZ-1,2\nMYNAME=Tester\nFLAGS=" << c.flags
        << "\nMESSAGEFILE=" << d << "TARVIK.MSG\nTMPPATH=" << d << "\nLOGPATH=" << d
        << "\n[P0]\nDEVICE=/dev/null\nPROTOCOL=" << c.protocol << "\nDEVTYPE=COM\n[P0CHAN0]\nQRG=144.800\nWINDOW="
        << c.window << "\nPACLEN=" << c.paclen << "\nT1=" << c.t1 << "\nT2=" << c.t2
        << "\nT2DAMA=" << c.t2dama << "\nT3=" << c.t3 << "\nRETRY=" << c.retry
        << "\nL2F=" << c.l2f << "\nLINKRULES=" << c.linkRules << "\nBAUD=" << c.baud
        << "\nTXDELAY=" << c.txdelay << "\nPERSIST=" << c.persist << "\nSLOTTIME=" << c.slottime
        << "\n";
    std::ofstream(dir / "TARVIK.MSG") << "9 2 Disconnecting %s\n11 2 UI %s: %s\n"
                                         "12 2 Disconnected by %s\n13 2 No answer from %s\n";
    app = std::make_unique<core::App>(tk, core::StartupOptions{});
    ASSERT_TRUE(app->config().LoadConfiguration(dir / "TARVIK.INI"));
    app->taskWindow = tk.create({}, std::make_unique<TaskRecorder>());
    task = tk.findAs<TaskRecorder>(app->taskWindow);
    app->messages().setTaskWindow(app->taskWindow);
    portWindow = tk.create({}, std::make_unique<PortRecorder>());
    port = tk.findAs<PortRecorder>(portWindow);
    app->ports()[0].portWindow = portWindow;
    ownerWindow = tk.create({}, std::make_unique<OwnerRecorder>());
    owner = tk.findAs<OwnerRecorder>(ownerWindow);
    remote = *ax25::ParseCall("DL1ABC");
    own = *ax25::ParseCall("DL1ZZZ-1");
  }

  // A link of an accepted connection (its SABM already answered).
  void Accept(bool dama = false) {
    ax25::LinkCreation c;
    c.kind = 0;
    c.own = own;
    c.remote = remote;
    c.via = peerVia;
    c.dama = dama;
    link = ax25::CreateLink(*app, ownerWindow, c);
  }

  // An outgoing link with its connect request.
  void Connect() {
    link = ax25::CreateLink(*app, ownerWindow, ax25::LinkCreation{});
    auto r = std::make_unique<ax25::ConnectRequest>();
    r->remote = remote;
    r->own = own;
    r->via = ax25::ReversePath(peerVia);
    tk.sendUser(link, ax25::kEvtConnectRequest, 0, std::move(r));
  }

  const ax25::LinkControlBlock& lcb() { return tk.findAs<ax25::LinkWindow>(link)->block(); }

  // A frame from the remote to us, in the notation above.
  FrameRecord Peer(const std::string& text, std::string info = {}) {
    std::istringstream in(text);
    std::string word;
    in >> word;
    const FrameType type = TypeFromName(word);
    int nr = 0, ns = 0;
    bool command = false, pf = false, dama = false;
    while (in >> word) {
      if (word.rfind("nr", 0) == 0) nr = std::stoi(word.substr(2));
      else if (word.rfind("ns", 0) == 0) ns = std::stoi(word.substr(2));
      else if (word == "cmd") command = true;
      else if (word == "P" || word == "F") pf = true;
      else if (word == "dama") dama = true;
    }
    const CrPf crpf = command ? (pf ? CrPf::CommandPoll : CrPf::Command)
                              : (pf ? CrPf::ResponseFinal : CrPf::Response);
    if (type == FrameType::I && info.empty()) info = "data";
    FrameRecord f = ax25::BuildFrame(0, 0, false, own, remote, peerVia, type, crpf, 0xF0, nr, ns,
                                     std::span(reinterpret_cast<const std::uint8_t*>(info.data()),
                                               info.size()));
    f.type = type;  // S-ILL and U-ILL keep their type as a decoder would give it
    f.dama = dama;
    return f;
  }

  void Rx(const FrameRecord& f) {
    tk.sendUser(link, ax25::kEvtFrameReceived, 0, std::make_unique<FrameRecord>(f));
  }

  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      tk.sendUser(link, core::kEvtHeartbeat);
    }
  }

  // Runs one step of a scenario (see the notation above).
  void Do(const std::string& step) {
    std::istringstream in(step);
    std::string word;
    in >> word;
    int n = 0;
    if (word == "tick") { in >> n; Tick(n); }
    else if (word == "ms") { in >> n; tk.stepMs(n); }
    else if (word == "sec") { in >> n; for (int i = 0; i < n; ++i) { tk.stepMs(1000); Tick(1); } }
    else if (word == "send") { in >> n; ax25::LinkSendData(tk, link, std::vector<std::uint8_t>(static_cast<std::size_t>(n), 'x')); }
    else if (word == "disc") {
      std::string now;
      in >> now;
      ax25::LinkCommand(tk, link, now == "now" ? ax25::LinkCommandCode::DisconnectNow
                                               : ax25::LinkCommandCode::Disconnect);
    }
    else if (word == "busy") ax25::LinkCommand(tk, link, ax25::LinkCommandCode::ToggleBusy);
    else if (word == "hold") { in >> n; ax25::LinkCommand(tk, link, ax25::LinkCommandCode::HoldReports, n); }
    else Rx(Peer(step));
    tk.pump();
  }

  // The frames sent since the last call, described.
  std::vector<std::string> Sent() {
    std::vector<std::string> out;
    for (const FrameRecord& f : task->frames) out.push_back(Describe(f));
    task->frames.clear();
    return out;
  }


  // Runs the steps, checking the frames each one sends.
  void Run(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      Do(s.in);
      EXPECT_EQ(Sent(), s.out) << "after \"" << s.in << "\"";
    }
  }

  fs::path dir;
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  std::unique_ptr<core::App> app;
  TaskRecorder* task = nullptr;
  PortRecorder* port = nullptr;
  OwnerRecorder* owner = nullptr;
  ui::WindowId portWindow = 0, ownerWindow = 0, link = 0;
  ax25::AddressRecord remote, own;
  ax25::ViaList peerVia{};  // the path the remote's frames come along
};

}  // namespace tarvik::test
