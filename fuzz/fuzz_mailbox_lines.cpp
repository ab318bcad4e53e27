// The mailbox's lists: a mailbox definition from the configuration (its
// line formats compiled) and the lines a mailbox sends, recorded into the
// station's list file. Whatever comes, every recorded line keeps its seven
// columns and its width, and the list file is the only file written.
//
// Input: the definition's lines up to the first NUL byte, then the received
// lines (separated by CR); a line "P>" is the prompt.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "script/checklist_recorder.h"
#include "script/mailbox_definition.h"

namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  while (!text.empty()) {
    const std::size_t at = text.find(separator);
    parts.emplace_back(text.substr(0, at));
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::script;
  namespace fs = std::filesystem;
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("tvk_fuzz_lists_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  fs::remove(dir / "CALL.lst");

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::vector<std::string> definitionLines = Split(input.substr(0, nul), '\n');
  const MailboxDefinition definition = ParseMailboxDefinition(definitionLines, {});
  ListRecorder recorder;
  recorder.SetPath((dir / "CALL.lst").string());
  if (nul != std::string_view::npos)
    for (const std::string& line : Split(input.substr(nul + 1), '\r'))
      recorder.Line(definition, line, line == "P>", [](std::string& title) { title += "\x7f"; });
  recorder.End();

  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  if (files > 1) std::abort();
  std::ifstream in(dir / "CALL.lst", std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    std::size_t tabs = 0;
    for (const char c : line) {
      tabs += c == '\t';
      if (c == '\r' || c == '\0') std::abort();
    }
    if (tabs != 6 || line.size() > 140) std::abort();
  }
  return 0;
}
