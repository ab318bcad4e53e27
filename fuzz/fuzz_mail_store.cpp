// The mail store's files as they are found, and texts from other stations:
// a hostile "MAIL.DAT" and hostile addressees, senders, subjects and mail
// lines never crash the store, and nothing is written but the directory
// and "MAIL%04d.TXT" files inside LOGPATH. Every line the store writes
// reads back as a mail line.
//
// Input: two bytes give the directory's length, the directory follows; the
// rest is cut at NUL bytes into texts that drive the operations.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/mail_capture.h"
#include "store/mail_store.h"

namespace {
std::filesystem::path g_dir;

bool Expected(const std::string& name) {
  if (name == "MAIL.DAT") return true;
  return name.size() == 12 && name.starts_with("MAIL") && name.ends_with(".TXT") &&
         name.find_first_not_of("0123456789", 4) == 8;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every change of the store is synced to disk: in memory where there is
  // a memory file system, so that runs stay fast.
  std::error_code ec;
  const std::filesystem::path base =
      std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
  g_dir = base / ("tvk_fuzz_mail_" + std::to_string(::getpid()));
  std::filesystem::create_directories(g_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::store;
  if (size < 2) return 0;
  std::filesystem::remove_all(g_dir);
  std::filesystem::create_directories(g_dir);
  const std::size_t dirLength = std::min<std::size_t>(size - 2, data[0] | (data[1] << 8));
  const char* bytes = reinterpret_cast<const char*>(data + 2);
  std::ofstream(g_dir / "MAIL.DAT", std::ios::binary).write(bytes, static_cast<std::streamsize>(dirLength));
  std::vector<std::string> texts(1);
  for (std::size_t i = dirLength; i < size - 2; ++i) {
    if (bytes[i] == '\0') texts.emplace_back();
    else texts.back() += bytes[i];
  }
  texts.resize(std::max<std::size_t>(texts.size(), 4));

  MailStore mail(g_dir.string() + "/");
  for (const MailEntry& e : mail.Entries()) {
    mail.SetStatus(e.number, 1 + e.number % 5);
    (void)mail.NextToSend();
  }
  const auto incoming = mail.NewIncoming(texts[0], texts[1], texts[2], texts[3]);
  if (incoming) {
    MailCapture capture;
    if (capture.Begin(mail, *incoming, texts[1], {texts[0], "From:"})) {
      for (std::size_t i = 4; i < texts.size(); ++i) capture.Line(texts[i]);
      capture.End();
    }
    mail.SetAddressee(incoming->number, texts[2]);
    // The new line reads back as one mail line with its fields clean.
    const auto entry = mail.Find(incoming->number);
    if (!entry) std::abort();
    for (const std::string* field : {&entry->date, &entry->to, &entry->from, &entry->subject})
      for (char c : *field)
        if (static_cast<unsigned char>(c) < 0x20) std::abort();
  }
  mail.CleanUp();
  if (const auto entries = mail.Entries(); !entries.empty()) mail.Delete(entries.front().number);

  for (const auto& entry : std::filesystem::directory_iterator(g_dir))
    if (!Expected(entry.path().filename().string())) std::abort();
  return 0;
}
