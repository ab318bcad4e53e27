// Service libraries that misbehave in one way each, for the tests of
// loading and driving services. One source, built once per kind:
//   TEST_SERVICE_NO_SEND     lacks iSnd2Srv
//   TEST_SERVICE_BAD_VERSION reports a version the program cannot show
//   TEST_SERVICE_PICKY       version 1.05; takes only DA1AAA, refuses others
//   TEST_SERVICE_RUDE        accepts with a text that never ends; answers
//                            every block with blocks the program must drop,
//                            then an echo; "bye" ends it with a wrong and
//                            then the right notify code
#include <tarvik/service.h>

#include <cstdint>
#include <cstring>

namespace {
TvkInitBlock program{};
}

extern "C" {

void iInitDll(const TvkInitBlock* init) { program = *init; }

std::int32_t iVersion(void) {
#ifdef TEST_SERVICE_BAD_VERSION
  return -105;
#elif defined(TEST_SERVICE_PICKY)
  return 105;
#else
  return 200;
#endif
}

std::int32_t iOpenSrv(TvkOpenBlock* open) {
#ifdef TEST_SERVICE_PICKY
  if (std::strncmp(open->call, "DA1AAA", TVK_CALL_SIZE) != 0) {
    std::strcpy(open->text, "Members only, sorry");
    return 0;
  }
  std::strcpy(open->text, "Welcome, member");
  return 1;
#else
  std::memset(open->text, 'x', TVK_TEXT_SIZE);
  return 7;
#endif
}

#ifndef TEST_SERVICE_NO_SEND
void iSnd2Srv(const TvkDataBlock* data) {
  TvkDataBlock block{};
  block.window = data->window;
  block.length = -1;
  program.sendToChannel(&block);
  block.length = TVK_DATA_CAPACITY + 1;
  program.sendToChannel(&block);
  block.length = 5;
  block.window = data->window + 1000;  // no channel of a service
  std::memcpy(block.data, "stray", 5);
  program.sendToChannel(&block);
  program.sendToChannel(nullptr);
  program.notify(data->window + 1000, TVK_NOTIFY_END);
  block = *data;
  program.sendToChannel(&block);
  if (data->length >= 3 && std::memcmp(data->data, "bye", 3) == 0) {
    program.notify(data->window, 7);
    program.notify(data->window, TVK_NOTIFY_END);
  }
}
#endif

void iCloseSrv(std::uint32_t) {}
void iExitDll(void) {}

}  // extern "C"
