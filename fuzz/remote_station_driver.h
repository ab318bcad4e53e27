#pragma once
// A whole station (app::BuildStation, as the program builds it) with one
// connection that another station opened, fed with received data blocks as
// its link hands them to the channel: line assembly, character-set
// conversion, every line taker (mailbox, uuencode, 7PLUS, connect paths,
// check lists, the remote commands) and the scripts' view of every line.
//
// The station's public directory holds traps (links leading out, dangling
// links, a FIFO, a link to a device); a canary directory beside it must
// stay exactly as it was, whatever the other station sends.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "app/station.h"
#include "ax25/frame.h"
#include "ax25/link.h"
#include "channels/channel_window.h"
#include "channels/main_window.h"
#include "core/app.h"
#include "store/station_db.h"
#include "ui/cnx_file.h"
#include "ui/description.h"
#include "ui/message_dialog.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace tarvik::fuzz {

namespace fs = std::filesystem;

// Everything a station does with files stays in `dir`; the public
// directory is set up anew for every station.
class RemoteStationFiles {
 public:
  explicit RemoteStationFiles(fs::path dir) : dir_(std::move(dir)) {
    fs::remove_all(dir_);
    for (const char* sub : {"cnf", "log", "tmp", "save", "outside"}) fs::create_directories(dir_ / sub);
    for (const int number : {1010, 1011, 1060, 1070}) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_SOURCE_DIR) / "data" / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(dir_ / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
    std::ofstream(dir_ / "cnf" / "HELP.TXT") << "help %MYCALL%\n";
    std::ofstream(dir_ / "cnf" / "INFO.TXT") << "info\n";
    std::ofstream(dir_ / "cnf" / "GOODBYE.TXT") << "73\n";
    std::ofstream(dir_ / "outside" / "canary.txt") << "canary\n";
    const std::string d = dir_.string() + "/";
    // Level 1 a visitor, 2 without deleting, 3 everything but what ends
    // the program, starts programs or sounds.
    std::ofstream(dir_ / "TARVIK.INI")
        << "[TARVIK]\nMYCALL=DA1AAA\nMYNAME=A\nFLAGS=0000000000\nMESSAGEFILE=" << d << "TARVIK.MSG\nCNFPATH=" << d
        << "cnf/\nTMPPATH=" << d << "tmp/\nLOGPATH=" << d << "log/\nSAVEPATH=" << d << "save/\nPUBPATH=" << d
        << "pub/\n"
        << "[LEVEL1]\nHOME=" << d << "pub/\nACCESS=000000001000000000000000\n"
        << "[LEVEL2]\nHOME=" << d << "pub/\nACCESS=011111011011111111111110\n"
        << "[LEVEL3]\nHOME=" << d << "pub/\nACCESS=011111111011111111111110\n"
        << "[P0]\nTITLE=Air\nDEVICE=air\nPROTOCOL=KISS\nDEVTYPE=TNC\n"
        << "[P0CHAN0]\nTITLE=Local\nQRG=438.300\nWINDOW=7\nPACLEN=128\nT1=2\nT2=100\nT2DAMA=500\nT3=180\n"
        << "RETRY=3\nL2F=10\n";
    std::ofstream(dir_ / "TARVIK.MSG") << "2 2 %s: capture to %s runs. Stop?\n1026 2 %s exists. Append?\n";
    canary_ = Outside();
  }
  ~RemoteStationFiles() { fs::remove_all(dir_); }

  const fs::path& dir() const { return dir_; }
  fs::path ini() const { return dir_ / "TARVIK.INI"; }

  // A fresh public directory with its traps, and the other station's
  // level in the database.
  void Prepare(int level) {
    const fs::path pub = dir_ / "pub";
    std::error_code ec;
    fs::remove_all(pub, ec);
    fs::remove_all(dir_ / "log", ec);
    fs::remove_all(dir_ / "save", ec);
    for (const fs::path& p : {pub / "sub", dir_ / "log", dir_ / "save"}) fs::create_directories(p, ec);
    std::ofstream(pub / "a.txt") << "alpha\n";
    std::ofstream(pub / "sub" / "b.txt") << "bravo\n";
    fs::create_symlink(dir_ / "outside" / "new.txt", pub / "dangle", ec);
    fs::create_symlink(dir_ / "outside" / "canary.txt", pub / "out.txt", ec);
    fs::create_directory_symlink(dir_ / "outside", pub / "outdir", ec);
    fs::create_symlink(dir_ / "outside" / "canary.txt", pub / "sub" / "$.$", ec);
    fs::create_symlink("/dev/zero", pub / "zero", ec);
    ::mkfifo((pub / "fifo").c_str(), 0644);
    store::StationDatabase db((dir_ / "log").string() + "/");
    store::StationRecord record;
    record.station = "DB2BBB";
    record.level = static_cast<std::int16_t>(level);
    std::int32_t position = 0;
    db.Insert(std::move(record), position);
  }

  // Empty while the directory beside the public one is as it was.
  std::string Changed() const { return Outside() == canary_ ? std::string() : "outside changed:\n" + Outside(); }

 private:
  std::string Outside() const {
    std::string all;
    std::error_code ec;
    for (fs::directory_iterator it(dir_ / "outside", ec), end; !ec && it != end; it.increment(ec)) {
      std::ifstream in(it->path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      all += it->path().filename().string() + "=" + text.str() + "\n";
    }
    return all;
  }

  fs::path dir_;
  std::string canary_;
};

class RemoteStation {
 public:
  explicit RemoteStation(const fs::path& ini) : tk_(ui::HeadlessToolkit::Mode::Manual), app_(tk_, Options(ini)) {
    forms_ = ui::InstallForms(app_);
    app::BuildStation(app_, *forms_);
    app_.hooks().openPort = [](core::App& a, int) {
      return a.toolkit().create(ui::WindowSpec{}, std::make_unique<Quiet>());
    };
    app_.hooks().encodeAndSend = [](core::App&, ui::Event&) {};
    app_.Start();
    for (int i = 0; i < 300 && app_.mainWindow == ui::kNoWindow; ++i) step(10);
    // DB2BBB connects.
    auto sabm = std::make_unique<ax25::FrameRecord>(ax25::BuildFrame(
        0, 0, false, *ax25::ParseCall("DA1AAA"), *ax25::ParseCall("DB2BBB"), ax25::ViaList{}, ax25::FrameType::SABM,
        ax25::CrPf::CommandPoll, 0xF0, 0, 0, {}));
    sabm->type = ax25::FrameType::SABM;
    if (app_.taskWindow != ui::kNoWindow)
      tk_.sendUser(app_.taskWindow, ax25::kEvtFrameReceived, 0, std::move(sabm));
    step(10);
  }
  ~RemoteStation() {
    for (const ui::WindowId w : tk_.windows()) tk_.destroy(w);
  }

  // The channel of the connection, when it is up.
  channels::ChannelWindow* channel() {
    auto* main = tk_.findAs<channels::MainWindow>(app_.mainWindow);
    if (!main) return nullptr;
    const ax25::ChannelSlot& slot = main->channels()[0];
    return tk_.findAs<channels::ChannelWindow>(slot.channelWindow);
  }

  // Received bytes as one data block of the link.
  void Received(std::span<const std::uint8_t> bytes) {
    channels::ChannelWindow* ch = channel();
    if (!ch || ch->link() == ui::kNoWindow) return;
    auto buffer = std::make_unique<ax25::RawFrameBuffer>();
    buffer->owner = ch->link();
    if (!buffer->assign(bytes.subspan(0, std::min(bytes.size(), ax25::RawFrameBuffer::kCapacity)))) return;
    tk_.sendUser(ch->id(), ax25::kEvtLinkData, 0, std::move(buffer));
    tk_.pump();
  }
  void Tick() { step(1000); }

 private:
  struct Quiet : ui::Window {
    void onEvent(ui::Event&) override {}
  };
  static core::StartupOptions Options(const fs::path& ini) {
    core::StartupOptions options;
    options.iniPath = ini.string();
    return options;
  }
  void step(int ms) {
    tk_.pump();
    tk_.stepMs(ms);
    tk_.pump();
  }

  ui::HeadlessToolkit tk_;
  core::App app_;
  std::shared_ptr<ui::FormRuntime> forms_;
};

}  // namespace tarvik::fuzz
