// The message file is edited by hand and translated: no line in it may crash
// the lookup, the group search or the formatting of a message.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/message_service.h"
#include "ui/toolkit/headless/headless_toolkit.h"

namespace {
struct Sink : tarvik::ui::Window {
  void onEvent(tarvik::ui::Event&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/tvk_fuzz_msg_" + std::to_string(::getpid()) + ".MSG";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  tarvik::ui::HeadlessToolkit tk(tarvik::ui::HeadlessToolkit::Mode::Manual);
  auto task = tk.create({}, std::make_unique<Sink>());
  tarvik::core::MessageService service(tk, [] {
    return tarvik::core::MessageSettings{path, "0000000", "/tmp/"};
  });
  service.setTaskWindow(task);
  for (int number : {1, 12, 501, 1007, -3, 99999}) {
    for (int kind = 0; kind <= 5; ++kind) {
      service.ShowMessage(task, kind, number, "%s text1 %s", "text2");
      while (tk.answerDialog(1)) {
      }
    }
    service.ShowGroupMessage(1, number);
  }
  tk.pump();
  return 0;
}
