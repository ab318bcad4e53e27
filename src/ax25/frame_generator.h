#pragma once
// The frame generator's rules: one AX.25 frame composed by hand from the
// texts an operator typed (source and destination call, frame type, N(R),
// N(S), radio channel, command/response choice, information text). The frame
// bypasses every link state machine; its window (channels/frame_generator_window.h)
// hands it to SendFrame, so the monitor shows it like any other sent frame.

#include <optional>
#include <string>
#include <string_view>

#include "ax25/frame.h"

namespace tarvik::ax25 {

// The texts of the generator's fields as typed.
struct FrameGeneratorFields {
  std::string from;   // "CALLFROM"
  std::string to;     // "CALLTO"
  std::string type;   // "FRAME": SABM, DISC, FRMR, UA, DM, RR, RNR, REJ, I; anything else UI
  std::string nr;     // "NR": 0..7, anything else 0
  std::string ns;     // "NS": 0..7, anything else 0
  std::string channel;  // "CHAN": radio channel 0..9, anything else 0
  std::string data;   // "DATA": information text
  CrPf crpf = CrPf::None;  // the chosen radio button; None: a response without final
};

// Longest information text taken from the DATA field.
inline constexpr std::size_t kGeneratorDataCapacity = 256;

// Whether both calls are long enough for sending to make sense (the SEND
// button is enabled only then).
bool GeneratorCallsFilled(std::string_view from, std::string_view to);

// The frame type a FRAME text selects.
FrameType GeneratorFrameType(std::string_view text);

// The information bytes of a DATA text: at most kGeneratorDataCapacity
// characters, every "\%n" turned into blank, line feed, carriage return.
std::string GeneratorInfoText(std::string_view data);

// The frame to send (port 0, no digipeaters, PID 0xF0), or nothing when a
// call is shorter than two characters or is not a call sign.
std::optional<FrameRecord> ComposeGeneratorFrame(const FrameGeneratorFields& fields);

}  // namespace tarvik::ax25
