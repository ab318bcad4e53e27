#include "script/mailbox_password.h"

#include <cctype>
#include <cstdint>

namespace tarvik::script {

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The leading number of a text (blanks skipped), bounded.
int LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int n = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) n = n < 100000 ? n * 10 + (text[i] - '0') : n;
  return n;
}

std::string DigitProducts(std::string_view password, std::string_view line) {
  const std::size_t close = line.find(')');
  // DECIDED: a line without ")" holds no challenge; it is answered as the
  // challenge 0, which gives 0.
  std::string_view rest = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
  // The challenge's digits, blanks between them ignored, lowest digit last.
  std::string challenge;
  for (const char c : rest) {
    if (c == ' ') continue;
    if (!IsDigit(c)) break;
    challenge += c;
  }
  std::string p;
  for (const char c : password) {
    if (c == ' ') continue;
    if (!IsDigit(c)) break;
    p += c;
  }
  // Digit by digit from the lowest up, so that no number of any length can
  // overflow; leading zeros are digits 0, as in the number.
  std::uint64_t sum = 0;
  auto pi = p.rbegin();
  auto ci = challenge.rbegin();
  for (; pi != p.rend() && ci != challenge.rend(); ++pi, ++ci) {
    // "while both are greater than 0": a number whose higher digits are
    // all 0 has run out.
    const bool pLeft = std::string_view(p).substr(0, p.rend() - pi).find_first_not_of('0') != std::string_view::npos;
    const bool cLeft =
        std::string_view(challenge).substr(0, challenge.rend() - ci).find_first_not_of('0') != std::string_view::npos;
    if (!pLeft || !cLeft) break;
    sum += static_cast<std::uint64_t>((*pi - '0') * (*ci - '0'));
  }
  return std::to_string(sum);
}

std::string PickedCharacters(std::string_view password, std::string_view line) {
  const std::size_t gt = line.find('>');
  if (gt == std::string_view::npos) return {};
  std::string_view rest = line.substr(gt + 1);
  std::string answer;
  while (!rest.empty()) {
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) break;
    rest.remove_prefix(start);
    const std::size_t end = rest.find(' ');
    const std::string_view word = rest.substr(0, end);
    if (IsDigit(word.front())) {
      const int n = LeadingNumber(word);
      if (n >= 1 && static_cast<std::size_t>(n) <= password.size()) answer += password[static_cast<std::size_t>(n - 1)];
    }
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  return answer;
}

}  // namespace

std::optional<PasswordEntry> ParsePasswordLine(std::string_view line) {
  if (const std::size_t end = line.find_first_of("\r\n"); end != std::string_view::npos) line = line.substr(0, end);
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos || tab == 0 || !IsDigit(line.front())) return std::nullopt;
  PasswordEntry entry;
  entry.type = LeadingNumber(line.substr(0, tab));
  std::string_view password = line.substr(tab + 1);
  password = password.substr(0, password.find('\t'));
  if (password.empty()) return std::nullopt;
  entry.password = std::string(password.substr(0, kPasswordLimit));
  return entry;
}

std::optional<int> PasswordMethod(std::string_view types, int type) {
  for (int index = 0; !types.empty(); ++index) {
    const std::size_t nl = types.find('\n');
    std::string_view line = types.substr(0, nl);
    types = nl == std::string_view::npos ? std::string_view() : types.substr(nl + 1);
    if (index != type) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    line.remove_prefix(eq + 1);
    if (line.empty() || !IsDigit(line.front())) return std::nullopt;
    return LeadingNumber(line.substr(0, line.find(':')));
  }
  return std::nullopt;
}

std::optional<std::string> AnswerChallenge(int method, std::string_view password, std::string_view line) {
  switch (method) {
    case 0: return DigitProducts(password, line);
    case 1:
    case 11: return PickedCharacters(password, line);
    default: return std::nullopt;
  }
}

}  // namespace tarvik::script
