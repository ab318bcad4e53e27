#pragma once
// The answer to a mailbox's password challenge.
//
// The station's password file (LOGPATH + station file name + ".PWD") holds
// on its first line the password type, a TAB and the password. The file
// "PWDTYP.DAT" in the program directory names the types, one line each
// (the first line is type 0): name "=" method ":" ...; the method number
// says how a challenge is answered:
//   0      the digits after the first ")" are the challenge c; with the
//          password p as a number, the answer is the sum of the products
//          of their digit pairs from the lowest digit up, while both last
//   1, 11  the numbers after the first ">" pick characters of the password
//          (counted from 1); the answer is those characters in order
// Challenges come from the air: numbers are bounded, and a challenge never
// reads outside the password.

#include <optional>
#include <string>
#include <string_view>

namespace tarvik::script {

inline constexpr std::size_t kPasswordLimit = 79;

struct PasswordEntry {
  int type = 0;
  std::string password;
};

enum class PasswordFileError { Missing, Corrupt };

// The first line of a password file's text.
std::optional<PasswordEntry> ParsePasswordLine(std::string_view line);
// The method of a type from the text of PWDTYP.DAT; nothing when the type
// has no line.
std::optional<int> PasswordMethod(std::string_view types, int type);
// The answer to a challenge line; nothing for a method that is not known.
std::optional<std::string> AnswerChallenge(int method, std::string_view password, std::string_view line);

}  // namespace tarvik::script
