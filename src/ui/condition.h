#pragma once
// Enable conditions of menu items and controls: "{CREATE|UPDATE}",
// "{!CHANGED}", "{CONNECTED&(LISTE|CHANGED)}".
//
// A condition is kept as a token list of operand numbers and operators.
// Operand numbers say where a value lives:
//   0..999      a state variable of the form (numbers 0..24)
//   1001        the form's changed flag
//   1000..1999  otherwise an entry of the global flag table (1000 BINVERT,
//               1002 frame mode, 1003 3-D controls)
//   3000..3999  the changed mark of the control whose symbolic id is n - 3000
//   other       true
//
// Evaluation runs left to right without precedence, and stops a group as
// soon as its value is settled: at "&" with false so far the group is false,
// at "|" with true so far it is true. So "A & B | C" reads as A & (B | C) and
// "A | B & C" as A | (B & C); parentheses make any other grouping explicit.

#include <array>
#include <functional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik::ui {

inline constexpr int kOpNot = 9000;
inline constexpr int kOpAnd = 9010;
inline constexpr int kOpOr = 9011;
inline constexpr int kOpOpen = 9100;
inline constexpr int kOpClose = 9101;
inline constexpr int kConditionEnd = -1;
inline constexpr std::size_t kMaxConditionTokens = 25;  // the end mark included

inline constexpr int kOperandBinvert = 1000;
inline constexpr int kOperandChanged = 1001;
inline constexpr int kOperandControlChanged = 3000;

// Operator and operand tokens, without the end mark; empty means "always".
using Condition = std::vector<int>;

// Resolves a name to a number; returns false when the name is unknown.
using NameResolver = std::function<bool(std::string_view name, int& number)>;

// The resolver behind most windows: a fixed table of names and numbers.
inline bool LookupName(std::string_view name, int& number,
                       std::span<const std::pair<std::string_view, int>> table) {
  for (const auto& [n, v] : table)
    if (n == name) {
      number = v;
      return true;
    }
  return false;
}
// A window that has no names of that kind (often: no state names).
inline bool NoNames(std::string_view, int&) { return false; }

// Parses the text between "{" and "}". Operand names resolve in this order:
// "BINVERT", "CHANGED", the state resolver (state variable), the name
// resolver (symbolic id + 3000); unknown names are dropped. At most 24 tokens
// are kept (25 with the end mark).
Condition ParseCondition(std::string_view text, const NameResolver& states,
                         const NameResolver& names);

// Evaluates a condition; `operand` gives the value of an operand number.
bool EvaluateCondition(const Condition& condition, const std::function<bool(int)>& operand);

// Whether the condition refers to the operand number (so that a change of a
// state variable re-evaluates only the conditions naming it).
bool ConditionNames(const Condition& condition, int operand);

// The global flag table shared by all forms (entries 1000..1999), set by the
// application (frame mode, 3-D controls) and read by every condition.
inline constexpr int kGlobalFlagFirst = 1000;
inline constexpr int kGlobalFlagCount = 1000;
bool GlobalFlag(int entry);
void SetGlobalFlag(int entry, bool value);

}  // namespace tarvik::ui
