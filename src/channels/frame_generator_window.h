#pragma once
// The frame generator window (window 1140, opened from the toolbox entry
// MECH): a test tool in which the operator composes one AX.25 frame by hand
// and sends it past every link state machine (rules in ax25/frame_generator.h).
//
// Controls of description 1140 by symbolic id: SEND 1 (enabled only while
// both calls hold at least two characters), CALLFROM 2, CALLTO 3, FRAME 4
// (list of frame types), NR 5, NS 6, DATA 7 (cleared when the window opens),
// the radio group POLL 8, FINAL 9, CMD 10, MSG 11 (command with poll,
// response with final, command, response), CHAN 12 (radio channel).

#include <string>

#include "ax25/frame.h"
#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kFrameGeneratorNumber = 1140;

enum FrameGeneratorId : int {
  kMechExit = 0,
  kMechSend = 1,
  kMechCallFrom = 2,
  kMechCallTo = 3,
  kMechFrame = 4,
  kMechNr = 5,
  kMechNs = 6,
  kMechData = 7,
  kMechPoll = 8,
  kMechFinal = 9,
  kMechCmd = 10,
  kMechMsg = 11,
  kMechChan = 12,
};

bool FrameGeneratorNames(std::string_view name, int& id);

class FrameGeneratorWindow final : public ui::Form {
 public:
  FrameGeneratorWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

  // The command of a control: 0 closes, 1 sends, 8..11 choose the
  // command/response code, the fields' own notices and 1001 nothing,
  // anything else message 503.
  void Command(int id);
  // Composes the frame from the fields and sends it; false when the calls
  // do not allow a frame.
  bool Send();

  ax25::CrPf crpf() const { return crpf_; }

 protected:
  bool filterEvent(ui::Event& event) override;
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  std::string FieldText(int id) const;
  void UpdateSendButton();

  core::App& app_;
  ax25::CrPf crpf_ = ax25::CrPf::None;
};

ui::WindowId OpenFrameGenerator(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

}  // namespace tarvik::channels
