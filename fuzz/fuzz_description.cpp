// Window descriptions are edited by hand: no file in the configuration
// directory may crash decoding, the checksum, parsing, string lookup or the
// evaluation of the conditions it carries.
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/cnx_file.h"
#include "ui/description.h"

namespace {

bool names(std::string_view name, int& id) {
  if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') {
    id = name[0] - 'A';  // symbolic ids 0..25
    return true;
  }
  return false;
}

bool states(std::string_view name, int& variable) {
  if (name.size() == 2 && name[0] == 'S' && name[1] >= '0' && name[1] <= '9') {
    variable = name[1] - '0';
    return true;
  }
  return false;
}

void exercise(std::string_view text) {
  using namespace tarvik::ui;
  DescriptionChecksumOk(text);
  const FormDescription d = ParseDescription(text, Resolvers{names, states});
  LookupString(d, "A");
  LookupString(d, "=");
  auto any = [](int operand) { return (operand & 1) != 0; };
  for (const auto& c : d.controls) EvaluateCondition(c.condition, any);
  for (const auto& m : d.menus) EvaluateCondition(m.condition, any);
  for (int i = 1; i < static_cast<int>(d.menus.size()); ++i) d.menuEntryForTag(d.menuTag(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The bytes as a stored file, and as a decoded description.
  exercise(tarvik::ui::DecodeCnx(bytes));
  exercise(bytes);
  tarvik::ui::SealDescription(bytes);
  return 0;
}
