#include "ui/condition.h"

#include <cctype>
#include <string>

namespace tarvik::ui {

namespace {

bool isNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '-' || c == '.' || u >= 0x80;
}

std::array<bool, kGlobalFlagCount>& flagTable() {
  // The one table the whole process shares: every form tests the same
  // program-wide switches.
  static std::array<bool, kGlobalFlagCount> table{};
  return table;
}

}  // namespace

bool GlobalFlag(int entry) {
  const int i = entry - kGlobalFlagFirst;
  return i >= 0 && i < kGlobalFlagCount && flagTable()[static_cast<std::size_t>(i)];
}

void SetGlobalFlag(int entry, bool value) {
  const int i = entry - kGlobalFlagFirst;
  if (i >= 0 && i < kGlobalFlagCount) flagTable()[static_cast<std::size_t>(i)] = value;
}

Condition ParseCondition(std::string_view text, const NameResolver& states,
                         const NameResolver& names) {
  Condition tokens;
  auto add = [&tokens](int t) {
    if (tokens.size() < kMaxConditionTokens - 1) tokens.push_back(t);
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    switch (c) {
      case '!': add(kOpNot); ++i; continue;
      case '&': add(kOpAnd); ++i; continue;
      case '|': add(kOpOr); ++i; continue;
      case '(': add(kOpOpen); ++i; continue;
      case ')': add(kOpClose); ++i; continue;
      default: break;
    }
    if (!isNameChar(c)) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && isNameChar(text[i])) ++i;
    const std::string_view name = text.substr(start, i - start);
    int n = 0;
    if (name == "BINVERT") {
      add(kOperandBinvert);
    } else if (name == "CHANGED") {
      add(kOperandChanged);
    } else if (states && states(name, n) && n >= 0 && n < kOperandBinvert) {
      add(n);
    } else if (names && names(name, n) && n >= 0 && n < kOperandBinvert) {
      add(n + kOperandControlChanged);
    }
  }
  return tokens;
}

namespace {

// Evaluates one group from `pos` up to its ")" or the end; leaves pos after
// the group. A group settled early skips the rest of itself, nested groups
// included.
class Evaluator {
 public:
  Evaluator(const Condition& c, const std::function<bool(int)>& operand) : c_(c), operand_(operand) {}

  bool group(std::size_t& pos) {
    bool value = true;
    bool haveValue = false;
    int pendingOp = 0;
    while (pos < c_.size()) {
      const int t = c_[pos];
      if (t == kOpClose) {
        ++pos;
        return value;
      }
      if (t == kOpAnd || t == kOpOr) {
        ++pos;
        if (!haveValue) continue;  // an operator without a left side is ignored
        if (t == kOpAnd && !value) return skipRest(pos, false);
        if (t == kOpOr && value) return skipRest(pos, true);
        pendingOp = t;
        continue;
      }
      // An operand, possibly negated, possibly a group.
      bool negate = false;
      while (pos < c_.size() && c_[pos] == kOpNot) {
        negate = !negate;
        ++pos;
      }
      if (pos >= c_.size()) break;
      bool v;
      if (c_[pos] == kOpOpen) {
        ++pos;
        v = group(pos);
      } else if (c_[pos] == kOpClose || c_[pos] == kOpAnd || c_[pos] == kOpOr) {
        continue;  // "!" before an operator negates nothing
      } else {
        v = operand_(c_[pos]);
        ++pos;
      }
      if (negate) v = !v;
      if (!haveValue || pendingOp == 0) {
        value = haveValue && pendingOp == 0 ? value && v : v;
      } else {
        value = pendingOp == kOpAnd ? (value && v) : (value || v);
      }
      haveValue = true;
      pendingOp = 0;
    }
    return value;
  }

 private:
  bool skipRest(std::size_t& pos, bool value) {
    int depth = 0;
    while (pos < c_.size()) {
      const int t = c_[pos++];
      if (t == kOpOpen) ++depth;
      if (t == kOpClose && depth-- == 0) break;
    }
    return value;
  }

  const Condition& c_;
  const std::function<bool(int)>& operand_;
};

}  // namespace

bool EvaluateCondition(const Condition& condition, const std::function<bool(int)>& operand) {
  std::size_t pos = 0;
  Evaluator e(condition, operand);
  bool value = e.group(pos);
  // A stray ")" ends the top group early; what follows it is ignored.
  return value;
}

bool ConditionNames(const Condition& condition, int operand) {
  for (int t : condition) {
    if (t == operand) return true;
  }
  return false;
}

}  // namespace tarvik::ui
