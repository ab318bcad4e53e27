// Files over the air between two whole stations (the program's own
// assembly: remote service, file sender, uuencode and XMODEM parts) on a
// simulated half-duplex 1200 bit/s radio channel, without loss or losing
// the given percentage of transmissions, with the shipped link and KISS
// defaults ([TCPCHAN] of data/TARVIK.INI; the simulated TNCs use its
// PERSIST, SLOTTIME, TXDELAY and TXTAIL).
//
// Station B fetches a file of 100 KB from A:
//   text      //G of a text file (lines of 64 characters)
//   uuencode  //GB of a binary file, received by B's AUTOBIN
//   xmodem    //SX of a binary file, received by B's own RX
// Counters: payload_Bps (file bytes per second of simulated time, from the
// command until B has the whole file) and overhead (the text rate divided
// by the method's rate: 1.0 is as fast as plain text; only the text and
// the others' own runs are compared, each run measures all three).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/station.h"
#include "channels/air.h"
#include "channels/channel_window.h"
#include "channels/form_windows.h"
#include "core/ini_reader.h"
#include "remote/remote_service.h"
#include "store/station_db.h"
#include "ui/cnx_file.h"

namespace tarvik::test {
namespace {

namespace fs = std::filesystem;
constexpr std::size_t kFile = 100 * 1024;

struct QuietPort : ui::Window {
  void onEvent(ui::Event&) override {}
};

std::string ShippedChannel() {
  std::string section;
  auto ini = core::IniReader::Open(fs::path(TARVIK_DATA_DIR) / "TARVIK.INI");
  if (!ini || !ini->FindSection("[TCPCHAN]")) return section;
  for (const char* key : {"WINDOW", "PACLEN", "T1", "T2", "T3", "RETRY", "TXDELAY", "TXTAIL", "PERSIST", "SLOTTIME"})
    section += std::string(key) + "=" + std::to_string(ini->ReadInt16(key)) + "\n";
  return section + "T2DAMA=500\nL2F=10\nBAUD=1200\n";
}

// The air as the TNC would run it with the KISS parameters of the same
// section: p-persistence, slot time, TXDELAY and TXTAIL.
void ShippedAir(AirParams& p) {
  auto ini = core::IniReader::Open(fs::path(TARVIK_DATA_DIR) / "TARVIK.INI");
  if (!ini || !ini->FindSection("[TCPCHAN]")) return;
  p.txDelayMs = ini->ReadInt16("TXDELAY");
  p.txTailMs = ini->ReadInt16("TXTAIL");
  p.persist = ini->ReadInt16("PERSIST");
  p.slotTimeMs = ini->ReadInt16("SLOTTIME");
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A whole station as the program builds it.
struct WholeStation {
  fs::path dir;
  std::unique_ptr<core::App> app;
  std::shared_ptr<ui::FormRuntime> forms;

  void Start(ui::HeadlessToolkit& tk, const fs::path& where, const std::string& call, const std::string& peer) {
    dir = where;
    for (const char* sub : {"cnf", "log", "tmp", "save", "pub"}) fs::create_directories(dir / sub);
    for (const int number : {1010, 1030}) {
      const std::string name = ui::DescriptionFileName(number);
      std::ifstream in(fs::path(TARVIK_DATA_DIR) / "forms" / ("M" + std::to_string(number) + ".txt"));
      std::stringstream text;
      text << in.rdbuf();
      std::ofstream(dir / "cnf" / name, std::ios::binary) << ui::EncodeCnx(ui::SealDescription(text.str()), name);
    }
    const std::string d = dir.string() + "/";
    std::ofstream(dir / "TARVIK.INI") << "[TARVIK]\nMYCALL=" << call << "\nFLAGS=0000000000\nMESSAGEFILE=" << d
                                      << "TARVIK.MSG\nCNFPATH=" << d << "cnf/\nTMPPATH=" << d << "tmp/\nLOGPATH="
                                      << d << "log/\nSAVEPATH=" << d << "save/\nPUBPATH=" << d << "pub/\n"
                                      << "[P0]\nTITLE=Air\nDEVICE=air\nPROTOCOL=KISS\nDEVTYPE=TNC\n[P0CHAN0]\nQRG=air\n"
                                      << ShippedChannel();
    std::ofstream(dir / "TARVIK.MSG") << "9 2 Disconnecting %s\n";
    store::StationDatabase db((dir / "log").string() + "/");
    store::StationEntry entry;
    entry.record.station = peer;
    entry.record.level = 5;
    db.Insert(entry.record, entry.position);
    core::StartupOptions options;
    options.iniPath = (dir / "TARVIK.INI").string();
    app = std::make_unique<core::App>(tk, options);
    forms = ui::InstallForms(*app);
    app::BuildStation(*app, *forms, {});
    app->hooks().openPort = [](core::App& a, int) {
      return a.toolkit().create(ui::WindowSpec{}, std::make_unique<QuietPort>());
    };
  }
  // After the start, which reads the configuration.
  void Levels() {
    for (int l = 1; l <= 5; ++l)
      app->config().SetLevelRecord(l, dir.string() + "/pub/", "111111111111111111111111");
  }
  channels::ChannelWindow* channel(int slot) const {
    auto* m = app->toolkit().findAs<channels::MainWindow>(app->mainWindow);
    return m ? app->toolkit().findAs<channels::ChannelWindow>(m->channels()[slot].channelWindow) : nullptr;
  }
};

enum class Method { Text, Uuencode, Xmodem };

// Simulated seconds B needs for the file, or 0 when it did not arrive.
double Fetch(Method method, unsigned seed, double loss = 0) {
  ui::HeadlessToolkit tk{ui::HeadlessToolkit::Mode::Manual};
  const fs::path base = fs::temp_directory_path() / ("tvk_transfer_bench_" + std::to_string(::getpid()));
  fs::remove_all(base);
  WholeStation a, b;
  a.Start(tk, base / "a", "DA1AAA", "DB2BBB");
  b.Start(tk, base / "b", "DB2BBB", "DA1AAA");
  AirParams p;
  p.halfDuplex = true;
  p.bitsPerSecond = 1200;
  p.seed = seed;
  p.loss = loss;
  ShippedAir(p);
  Air air(tk, p);
  air.Attach(0, *a.app);
  air.Attach(1, *b.app);
  a.app->Start();
  b.app->Start();
  a.Levels();
  b.Levels();
  air.RunUntil([&] { return a.app->mainWindow != ui::kNoWindow && b.app->mainWindow != ui::kNoWindow; }, 5000);

  std::string data;
  if (method == Method::Text) {
    while (data.size() < kFile) data += std::string(63, static_cast<char>('a' + data.size() % 26)) + "\n";
    data.resize(kFile - 1);
    data += "\n";
  } else {
    data = RandomBytes(kFile, seed);
  }
  std::ofstream(a.dir / "pub" / "file", std::ios::binary) << data;

  const auto slot = channels::OpenOutgoingChannel(*b.app, "DA1AAA");
  if (!slot) return 0;
  channels::ChannelWindow* chB = nullptr;
  air.RunUntil([&] { return (chB = b.channel(*slot)) && chB->sessionState() == channels::SessionState::Connected; },
               600'000);
  if (!chB) return 0;
  std::string atB;
  chB->setObserver({[&](std::span<const std::uint8_t> bytes) { atB.append(bytes.begin(), bytes.end()); }, {}, {}});
  air.RunUntil([] { return false; }, 20'000);  // the welcome
  atB.clear();

  const long long start = air.nowMs();
  bool done = false;
  switch (method) {
    case Method::Text:
      chB->SendText("//g file\r");
      done = air.RunUntil([&] { return atB.size() >= data.size(); }, 4 * 3600 * 1000LL);
      break;
    case Method::Uuencode:
      chB->Command(channels::kChAutobin);
      chB->SendText("//gb file\r");
      done = air.RunUntil([&] { return ReadAll(b.dir / "save" / "file").size() == data.size(); }, 4 * 3600 * 1000LL);
      break;
    case Method::Xmodem:
      chB->SendText("//sx file\r");
      air.RunUntil([&] { return atB.find("XMODEM protocol !") != std::string::npos; }, 600'000);
      remote::RunRemoteLine(*chB, "//rx file", remote::Origin::Local);
      done = air.RunUntil([&] { return atB.find("Finished sending") != std::string::npos; }, 4 * 3600 * 1000LL);
      break;
  }
  const double seconds = static_cast<double>(air.nowMs() - start) / 1000.0;
  a.app.reset();
  b.app.reset();
  fs::remove_all(base);
  return done ? seconds : 0;
}

void BM_FileOver1200(benchmark::State& state) {
  const auto method = static_cast<Method>(state.range(0));
  double rate = 0, textRate = 0;
  unsigned seed = 1;
  for (auto _ : state) {
    const double s = Fetch(method, seed, static_cast<double>(state.range(1)) / 100.0);
    const double t = method == Method::Text ? s : Fetch(Method::Text, seed);
    ++seed;
    rate += s > 0 ? static_cast<double>(kFile) / s : 0;
    textRate += t > 0 ? static_cast<double>(kFile) / t : 0;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["payload_Bps"] = rate / n;
  state.counters["overhead"] = rate > 0 ? textRate / rate : 0;
}

BENCHMARK(BM_FileOver1200)
    ->ArgNames({"method", "loss"})  // 0 text, 1 uuencode, 2 xmodem; percent of frames lost
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({2, 10})
    ->Args({2, 20})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace tarvik::test
