#include "ax25/frame_generator.h"

#include <array>
#include <charconv>
#include <utility>

namespace tarvik::ax25 {

namespace {

// A number field: a decimal number within [0, max]; anything else is 0.
int FieldNumber(std::string_view text, int max) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return 0;
  return value >= 0 && value <= max ? value : 0;
}

}  // namespace

bool GeneratorCallsFilled(std::string_view from, std::string_view to) {
  return from.size() > 1 && to.size() > 1;
}

FrameType GeneratorFrameType(std::string_view text) {
  static constexpr std::array<std::pair<std::string_view, FrameType>, 9> kTypes{{
      {"SABM", FrameType::SABM},
      {"DISC", FrameType::DISC},
      {"FRMR", FrameType::FRMR},
      {"UA", FrameType::UA},
      {"DM", FrameType::DM},
      {"RR", FrameType::RR},
      {"RNR", FrameType::RNR},
      {"REJ", FrameType::REJ},
      {"I", FrameType::I},
  }};
  for (const auto& [name, type] : kTypes)
    if (name == text) return type;
  return FrameType::UI;
}

std::string GeneratorInfoText(std::string_view data) {
  std::string text(data.substr(0, kGeneratorDataCapacity));
  static constexpr std::string_view kLineMark = "\\%n";
  for (std::size_t at = text.find(kLineMark); at != std::string::npos;
       at = text.find(kLineMark, at + kLineMark.size()))
    text.replace(at, kLineMark.size(), " \n\r");
  return text;
}

std::optional<FrameRecord> ComposeGeneratorFrame(const FrameGeneratorFields& fields) {
  if (!GeneratorCallsFilled(fields.from, fields.to)) return std::nullopt;
  const std::optional<AddressRecord> source = ParseCall(fields.from);
  const std::optional<AddressRecord> destination = ParseCall(fields.to);
  if (!source || !destination) return std::nullopt;
  const std::string info = GeneratorInfoText(fields.data);
  // Nothing chosen goes on the air as a response without final; the record
  // says so too, or the monitor would take it for an old-version frame.
  const CrPf crpf = fields.crpf == CrPf::None ? CrPf::Response : fields.crpf;
  return BuildFrame(0, FieldNumber(fields.channel, 9), false, *destination, *source, ViaList{},
                    GeneratorFrameType(fields.type), crpf, kPidNoLayer3,
                    FieldNumber(fields.nr, 7), FieldNumber(fields.ns, 7),
                    std::span(reinterpret_cast<const std::uint8_t*>(info.data()), info.size()));
}

}  // namespace tarvik::ax25
