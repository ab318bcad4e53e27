// The password answer: a mailbox's challenge line, the password file's
// first line and the types file, all of any bytes. An answer never reads
// outside the password and is never longer than the challenge asks for.
//
// Input: the first byte picks the method, then the password file's line up
// to the first NUL byte, the types file up to the second, the challenge.

#include <cstdlib>
#include <string>
#include <string_view>

#include "script/mailbox_password.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tarvik::script;
  if (size == 0) return 0;
  static constexpr int kMethods[] = {0, 1, 11, 2, -1};
  const int method = kMethods[data[0] % 5];
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t first = input.find('\0');
  const std::string_view fileLine = input.substr(0, first);
  input = first == std::string_view::npos ? std::string_view() : input.substr(first + 1);
  const std::size_t second = input.find('\0');
  const std::string_view types = input.substr(0, second);
  const std::string_view challenge = second == std::string_view::npos ? input : input.substr(second + 1);

  const auto entry = ParsePasswordLine(fileLine);
  if (entry && (entry->password.empty() || entry->password.size() > kPasswordLimit)) std::abort();
  (void)PasswordMethod(types, entry ? entry->type : 0);
  const std::string password = entry ? entry->password : std::string(fileLine.substr(0, kPasswordLimit));
  const auto answer = AnswerChallenge(method, password, challenge);
  if (answer.has_value() != (method == 0 || method == 1 || method == 11)) std::abort();
  if (answer && method != 0 && answer->size() > challenge.size()) std::abort();
  if (answer && method == 0 && answer->find_first_not_of("0123456789") != std::string::npos) std::abort();
  return 0;
}
