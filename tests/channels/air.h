#pragma once
// Two complete Tarvik stations on one stepped clock, joined by a simulated
// radio channel. Each station is a whole App (task window, main window with
// routing, channels and links); the channel takes the frames a station's
// task window encodes (CoreHooks::encodeAndSend), may drop, duplicate or
// delay them with a fixed seed, and hands the bytes, decoded again, to the
// other station's task window as user event 800, the way a port would.
//
// Two channel models:
// - full duplex with a random delay per frame (order kept, as on the air);
// - half duplex with airtime, as a KISS TNC meets it: one shared channel at a
//   given bit rate. Each station's TNC queues the frames its program hands
//   it; when the channel is clear it keys up by p-persistence (PERSIST,
//   SLOTTIME), sends TXDELAY of flags, every queued frame back to back
//   (frames handed over before the last one ends join the transmission) and
//   TXTAIL. A station does not hear the channel busy until dcdMs after the
//   other keyed up: if both key up, both transmissions are lost. Loss takes
//   whole transmissions (probability `loss`, or every dropEvery-th one); a
//   station hears a frame when it ends.

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "channels/channel_forms.h"
#include "ax25/frame_codec.h"
#include "ax25/link.h"
#include "channels/channel_owner.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::test {

struct AirParams {
  double loss = 0;       // probability that a frame is lost
  double duplicate = 0;  // probability that a frame arrives twice
  int minDelayMs = 5, maxDelayMs = 5;  // full duplex: delay of each frame
  bool halfDuplex = false;
  int bitsPerSecond = 1200;
  int txDelayMs = 300;
  unsigned seed = 1;
  // Half duplex only: the TNC's channel access and the loss pattern.
  int persist = 100;  // percent, as in the INI file (sent to the TNC as 0..255)
  int slotTimeMs = 100;
  int txTailMs = 0;
  int dcdMs = 20;
  int dropEvery = 0;  // every n-th transmission on the channel is lost
};

class Air {
 public:
  Air(ui::HeadlessToolkit& tk, AirParams p) : tk_(tk), p_(p), rng_(p.seed) {}

  void Attach(int side, core::App& app) {
    apps_[side] = &app;
    app.hooks().encodeAndSend = [this, side](core::App&, ui::Event& e) {
      if (auto* f = e.as<ax25::FrameRecord>()) Transmit(side, *f);
    };
  }

  // Moves the clock on, delivering frames when they arrive, until pred()
  // holds or limitMs of simulated time have passed.
  bool RunUntil(const std::function<bool()>& pred, long long limitMs) {
    const long long end = nowMs_ + limitMs;
    for (;;) {
      deliverDue();
      if (p_.halfDuplex) runTncs();
      if (pred()) return true;
      if (nowMs_ >= end) return false;
      long long next = nowMs_ + 10;
      if (!flights_.empty()) next = std::min(next, flights_.front().due);
      for (const Tnc& t : tnc_)
        if (!t.queue.empty() && !t.keyed) next = std::min(next, t.nextTry);
      const long long step = std::clamp(next - nowMs_, 1LL, 10LL);
      tk_.stepMs(step);
      nowMs_ += step;
    }
  }

  long long nowMs() const { return nowMs_; }
  long long framesSent() const { return sent_; }
  long long framesLost() const { return lost_; }
  long long framesDuplicated() const { return duplicated_; }
  // Half duplex: transmissions keyed up, lost (by the loss pattern or a
  // collision), and I frames each side handed to its TNC.
  long long transmissions() const { return transmissions_; }
  long long transmissionsLost() const { return transmissionsLost_; }
  long long collisions() const { return collisions_; }
  long long iFrames(int side) const { return iFrames_[side]; }

 private:
  struct Flight {
    long long due;
    int to;
    std::vector<std::uint8_t> bytes;
  };
  struct Tnc {
    std::vector<std::vector<std::uint8_t>> queue;  // waiting for the channel
    long long nextTry = 0;                         // next p-persistence decision
    bool keyed = false;
    bool lost = false;  // the transmission on the air will not be heard
    long long keyedAt = 0, dataEnd = 0, txEnd = 0;
  };

  long long airtimeMs(std::size_t bytes) const {
    // Flags, FCS and bit stuffing: about 4 bytes and 2 % more per frame.
    const double bits = (static_cast<double>(bytes) + 4) * 8 * 1.02;
    return static_cast<long long>(bits * 1000 / p_.bitsPerSecond);
  }

  void Transmit(int side, const ax25::FrameRecord& frame) {
    auto raw = ax25::EncodeFrame(frame);
    if (!raw) return;
    ++sent_;
    if (frame.type == ax25::FrameType::I) ++iFrames_[side];
    std::vector<std::uint8_t> bytes(raw->bytes().begin(), raw->bytes().end());
    if (p_.halfDuplex) {
      Tnc& t = tnc_[side];
      if (t.keyed && nowMs_ < t.dataEnd) {
        // Joins the transmission on the air.
        const long long end = t.dataEnd + airtimeMs(bytes.size() - 1);
        t.dataEnd = end;
        t.txEnd = end + p_.txTailMs;
        if (!t.lost) insert(Flight{end, 1 - side, std::move(bytes)});
        return;
      }
      if (t.queue.empty() && !t.keyed) t.nextTry = nowMs_;
      t.queue.push_back(std::move(bytes));
      return;
    }
    std::uniform_int_distribution<int> delay(p_.minDelayMs, p_.maxDelayMs);
    const long long due = std::max(nowMs_ + delay(rng_), lastDue_[side]);
    lastDue_[side] = due;
    std::uniform_real_distribution<double> u(0, 1);
    if (u(rng_) < p_.loss) {
      ++lost_;
      return;
    }
    const int copies = u(rng_) < p_.duplicate ? 2 : 1;
    duplicated_ += copies - 1;
    for (int i = 0; i < copies; ++i) insert(Flight{due, 1 - side, bytes});
  }

  // The TNCs: end of transmissions, p-persistence, key-up.
  void runTncs() {
    for (int side = 0; side < 2; ++side) {
      Tnc& t = tnc_[side];
      if (t.keyed && nowMs_ >= t.txEnd) t.keyed = false;
    }
    for (int side = 0; side < 2; ++side) {
      Tnc& t = tnc_[side];
      if (t.keyed || t.queue.empty() || nowMs_ < t.nextTry) continue;
      const Tnc& other = tnc_[1 - side];
      if (other.keyed && nowMs_ >= other.keyedAt + p_.dcdMs) {
        t.nextTry = other.txEnd;  // carrier: wait until the channel is clear
        continue;
      }
      const int value = std::clamp(p_.persist, 0, 100) * 255 / 100;
      std::uniform_int_distribution<int> byte(0, 255);
      if (byte(rng_) > value) {
        t.nextTry = nowMs_ + p_.slotTimeMs;
        continue;
      }
      keyUp(side);
    }
  }

  void keyUp(int side) {
    Tnc& t = tnc_[side];
    Tnc& other = tnc_[1 - side];
    ++transmissions_;
    std::uniform_real_distribution<double> u(0, 1);
    t.keyed = true;
    t.keyedAt = nowMs_;
    t.lost = u(rng_) < p_.loss || (p_.dropEvery > 0 && transmissions_ % p_.dropEvery == 0);
    if (other.keyed) {
      // Both on the air at once: neither is heard.
      ++collisions_;
      t.lost = true;
      if (!other.lost) {
        other.lost = true;
        ++transmissionsLost_;
        cancelFlights(1 - side);
      }
    }
    if (t.lost) ++transmissionsLost_;
    long long at = nowMs_ + p_.txDelayMs;
    for (std::vector<std::uint8_t>& bytes : t.queue) {
      at += airtimeMs(bytes.size() - 1);  // without the KISS command byte
      if (!t.lost) insert(Flight{at, 1 - side, std::move(bytes)});
    }
    t.queue.clear();
    t.dataEnd = at;
    t.txEnd = at + p_.txTailMs;
  }

  // The frames of a transmission now lost that have not ended yet.
  void cancelFlights(int from) {
    std::erase_if(flights_, [&](const Flight& f) { return f.to == 1 - from && f.due > nowMs_; });
  }

  void insert(Flight f) {
    auto it = std::upper_bound(flights_.begin(), flights_.end(), f.due,
                               [](long long d, const Flight& x) { return d < x.due; });
    flights_.insert(it, std::move(f));
  }

  void deliverDue() {
    while (!flights_.empty() && flights_.front().due <= nowMs_) {
      Flight f = std::move(flights_.front());
      flights_.pop_front();
      core::App* to = apps_[f.to];
      if (!to || to->taskWindow == ui::kNoWindow) continue;
      if (auto frame = ax25::DecodeFrame(0, f.bytes))
        tk_.sendUser(to->taskWindow, ax25::kEvtFrameReceived, 0,
                     std::make_unique<ax25::FrameRecord>(std::move(*frame)));
    }
  }

  ui::HeadlessToolkit& tk_;
  AirParams p_;
  std::mt19937 rng_;
  core::App* apps_[2] = {nullptr, nullptr};
  std::deque<Flight> flights_;
  long long nowMs_ = 0;
  long long lastDue_[2] = {0, 0};
  Tnc tnc_[2];
  long long sent_ = 0, lost_ = 0, duplicated_ = 0;
  long long transmissions_ = 0, transmissionsLost_ = 0, collisions_ = 0;
  long long iFrames_[2] = {0, 0};
};

struct LinkParams {
  int window = 7, paclen = 256, t1 = 4, t2 = 200, t3 = 180, retry = 10;
  int txdelay = 300, txtail = 20, persist = 25, slottime = 100;
  std::string flags = "0000000000";
  std::string extra;  // more lines for the radio channel's section ("KEY=value\n")
};

// One station: its App, started for real, and what its channel sees.
struct Station {
  std::filesystem::path dir;
  std::unique_ptr<core::App> app;
  ui::WindowId channel = ui::kNoWindow;
  std::string received;
  std::vector<ax25::LinkStatus> statuses;
  bool ended = false;
  std::function<void(Station&)> onChannel;  // a channel opened

  channels::MainWindow* main() {
    return app->toolkit().findAs<channels::MainWindow>(app->mainWindow);
  }
  channels::ChannelOwner* owner() {
    return app->toolkit().findAs<channels::ChannelOwner>(channel);
  }

  void Start(ui::HeadlessToolkit& tk, const std::filesystem::path& where, const std::string& call,
             const LinkParams& p) {
    dir = where;
    std::filesystem::create_directories(dir);
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=" << call << "\nMYNAME=" << call << "\nFLAGS=" << p.flags
        << "\nMESSAGEFILE=" << d << "TARVIK.MSG\nTMPPATH=" << d << "tmp/\nLOGPATH=" << d
        << "log/\n[P0]\nDEVICE=air\nPROTOCOL=KISS\n[P0CHAN0]\nQRG=air\nWINDOW=" << p.window
        << "\nPACLEN=" << p.paclen << "\nT1=" << p.t1 << "\nT2=" << p.t2
        << "\nT2DAMA=500\nT3=" << p.t3 << "\nRETRY=" << p.retry << "\nL2F=10\nTXDELAY="
        << p.txdelay << "\nTXTAIL=" << p.txtail << "\nPERSIST=" << p.persist
        << "\nSLOTTIME=" << p.slottime << "\n" << p.extra;
    std::ofstream(dir / "TARVIK.MSG") << "9 2 Disconnecting %s\n12 2 Disconnected by %s\n"
                                         "13 2 No answer from %s\n";
    core::StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    app->hooks().createMainWindow = [this](core::App& a) {
      channels::MainWindowHooks h;
      h.channelOpened = [this](ui::WindowId w) { attach(w); };
      return channels::MainWindow::Create(a, test::ChannelForms(a), h);
    };
    app->Start();
  }

  void attach(ui::WindowId w) {
    channel = w;
    auto* o = owner();
    o->setObserver({[this](std::span<const std::uint8_t> b) { received.append(b.begin(), b.end()); },
                    [this](ax25::LinkStatus s) {
                      statuses.push_back(s);
                      if (ax25::EndsLink(s)) ended = true;
                    },
                    {}});
    if (onChannel) onChannel(*this);
  }

  void Stop() {
    app.reset();
    std::filesystem::remove_all(dir);
  }
};

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

}  // namespace tarvik::test
