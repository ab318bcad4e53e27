#pragma once
// The ping window (window 1280): sends a test UI frame to the destination
// "TARVK" on a chosen port and radio channel, optionally through
// digipeaters, and lists every station that answers with the seconds the
// answer took, its call and the name it sent.
//
// Every station running this program answers such a frame with a UI frame
// carrying its operator's name to our call. The router hands UI frames to
// an own call, that no channel takes, to the ping window it knows (user
// event 800 with the FrameRecord); the window tells the router about itself
// when it opens and when it goes.
//
// Controls of description 1280: OK (send), STATION (the digipeater path),
// QRG (the radio channel's frequency label), PORT and CHAN (drop-down lists
// of the open ports and configured radio channels, "%d:%s"), RESPONSE (the
// answers, a FIFO text pane).

#include <string>

#include "ax25/frame.h"
#include "core/app.h"
#include "ui/form.h"

namespace tarvik::channels {

inline constexpr int kPingWindowNumber = 1280;

enum PingId : int {
  kPingExit = 0,
  kPingSend = 1,      // "OK"
  kPingStation = 2,   // "STATION"
  kPingQrg = 3,       // "QRG"
  kPingPort = 4,      // "PORT"
  kPingChan = 5,      // "CHAN"
  kPingResponse = 6,  // "RESPONSE"
  kPingChanged = 1001,
};

bool PingNames(std::string_view name, int& id);

inline constexpr int kMsgPingUnknownCommand = 503;
// Digipeater words of the path and the longest word taken.
inline constexpr std::size_t kPingPathWords = 8;
inline constexpr std::size_t kPingWordCapacity = 9;
// Longest answer line shown.
inline constexpr std::size_t kPingLineCapacity = 100;

// The via list of a STATION text: up to eight calls separated by blanks.
// Nothing when a word is no call, longer than nine characters, or there
// are more than eight: a path the operator did not mean is never sent.
std::optional<ax25::ViaList> PingPath(std::string_view text);

// The RESPONSE line of an answer that came `seconds` after the send.
std::string PingAnswerLine(long seconds, const ax25::FrameRecord& answer);

class PingWindow final : public ui::Form {
 public:
  PingWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

  // 0 closes, 1 sends, 4 and 5 follow the lists, 2, 3, 6 and 1001
  // nothing; anything else message 503.
  void Command(int id);
  // Lists an answer.
  void ShowAnswer(const ax25::FrameRecord& frame);

  int port() const { return port_; }
  int radioChannel() const { return radioChannel_; }
  ui::WindowId responsePane() const { return GetCtlWindow(kPingResponse); }

 protected:
  bool ownerEvent(ui::Event& event) override;
  void onCommand(int id, std::intptr_t argument) override;

 private:
  void FillPorts();
  void FillRadioChannels();
  void ChooseRadioChannel();
  void Send();
  void Register(bool open);
  // The number before the ":" of a list's chosen entry, -1 when none.
  int Chosen(int id) const;

  core::App& app_;
  ui::Clock::time_point lastSend_;
  int port_ = -1;
  int radioChannel_ = -1;
};

ui::WindowId OpenPingWindow(core::App& app, ui::FormRuntime& forms, ui::WindowId parent);

}  // namespace tarvik::channels
