#pragma once
// The invisible window that drives a serial port (device type TNC or COM).
//
// It opens the line, sends the port's INI text, configures the KISS
// parameters of every configured radio channel of a TNC, and then carries
// frames: received bytes go through the KISS receiver to the task window
// (user event 800) or, on a transparent port (protocol 0) and while a modem's
// answer is awaited, to the port's transparent link (user event 801); frames
// to send arrive as user event 811 and are written in the port's protocol.
// Status reports (950 opened, 951 closed, 952 failed) go to the owner, which
// is the task window once the port has opened.
//
// A line that hangs up or goes away while the port runs (a USB TNC pulled)
// is closed and the port is down (core::SetPortState: told once); frames
// given to it meanwhile are counted as dropped. The window looks for the
// device again after one second, then after twice the pause each time, up
// to a minute, and when the line opens again it sends the INI text and the
// KISS parameters anew, as to a TNC just switched on, and is up.
//
// Closing (destroying the window) hands the open line to a SerialCloser that
// sends the DEINI text, with its delays and final pause, and then closes the
// line once everything written has gone out; the port is free in the port
// table at once. The closer holds the program's orderly shutdown until then,
// so that a TNC switched into KISS mode is switched back also when the
// program ends.

#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "ax25/link.h"
#include "core/app.h"
#include "devices/init_text.h"
#include "devices/kiss_port.h"
#include "devices/serial_port.h"

namespace tarvik::devices {

// User events of a serial port window besides 801, 811 and 950..952.
inline constexpr int kEvtSendKissParameters = 953;  // arg: radio channel, -1 = all
inline constexpr int kEvtSendKissParameter = 954;   // record: KissParameterRequest
inline constexpr int kEvtReinitTnc = 955;           // DEINI text, then INI text
inline constexpr int kEvtSerialLost = 956;          // from the reader: the line is gone (arg: errno)

// The record of user event 954.
// The link layer asks for parameters (a DAMA slave's persistence) with the
// same record.
using KissParameterRequest = ax25::KissParameterRequest;

// Milliseconds between two looks at the clock while a text waits.
inline constexpr int kInitTextPollMs = 100;
// Seconds a modem port waits for its answer before it closes.
inline constexpr int kAnswerWaitSeconds = 20;
// Bytes a transparent port keeps while no link takes them.
inline constexpr std::size_t kReceiveBufferCapacity = 536;
// Pauses before a lost line is looked for again: the first, and the
// longest the doubling reaches (milliseconds).
inline constexpr int kSerialRetryFirstMs = 1000;
inline constexpr int kSerialRetryLongestMs = 60'000;

class SerialPortWindow final : public ui::Window {
 public:
  enum class Mode { Normal = 0, AnswerWait = 1, OpenFailed = 4 };

  // Creates the window of `port` with the device string, protocol and
  // device type of its port record; `owner` receives the status reports.
  // Returns the window (also when opening failed: it then disappears by
  // itself about 100 ms later, after reporting the error).
  static ui::WindowId Create(core::App& app, ui::WindowId owner, int port);

  SerialPortWindow(core::App& app, ui::WindowId owner, int port);
  ~SerialPortWindow() override;

  void onEvent(ui::Event& event) override;

  Mode mode() const { return mode_; }
  const std::string& answer() const { return answer_; }
  bool textRunning() const { return run_ != nullptr; }
  SerialPort* serial() const { return serial_.get(); }
  // Transparent bytes received while no link takes them.
  const std::vector<std::uint8_t>& pendingBytes() const { return rawBuffer_; }
  // The pause of the reopening the window waits for (milliseconds, varied),
  // and whether one is due.
  int reopenPauseMs() const { return pauseMs_; }
  bool reopenPending() const { return reopenTimer_ != 0; }

 private:
  // What the reader thread shares with the window: it outlives the window
  // while the line is being closed.
  struct ReceiveSide {
    ReceiveSide(ui::Toolkit& toolkit, ui::WindowId task, int port, ReceiveChecks checks)
        : kiss(toolkit, task, port, checks) {}
    std::mutex mutex;  // the deframer is fed by the reader and by event 801
    KissReceiver kiss;
    std::atomic<bool> raw{false};    // bytes go to the window, not to KISS
    std::atomic<bool> muted{false};  // the port is closing: drop everything
  };

  struct TextJob {
    std::string text;
    bool afterOpen = false;  // the INI text of the open: KISS parameters follow
  };

  void onCreate();
  void onDestroy();
  void onTimer(ui::Event& event);
  void onUser(ui::Event& event);
  void onReceived(std::span<const std::uint8_t> bytes);  // on the reader thread
  void receiveRaw(std::span<const std::uint8_t> bytes);  // on the UI thread
  void receiveKiss(std::span<const std::uint8_t> bytes);
  void send(const ax25::RawFrameBuffer& buffer);
  void sendKissParameters(int radioChannel);
  void write(std::span<const std::uint8_t> bytes);
  void startText(std::string text, bool afterOpen);
  void advanceText();
  void textDone(bool afterOpen);
  void setMode(Mode mode);
  void report(int userId, std::unique_ptr<core::PortStatus> status);
  void lineLost(int error);
  void scheduleReopen();
  void reopen();

  core::App& app_;
  ui::WindowId owner_;
  int port_;
  int protocol_;
  int devType_;
  std::string device_;
  std::string answer_;
  Mode mode_ = Mode::Normal;
  std::unique_ptr<SerialPort> serial_;
  SerialPort::OnBytes onBytes_;  // kept for reopening
  SerialPort::OnLost onLost_;
  ui::TimerId reopenTimer_ = 0;
  int nextPauseMs_ = kSerialRetryFirstMs;
  int pauseMs_ = 0;
  std::minstd_rand jitter_;
  std::shared_ptr<ReceiveSide> receive_;
  std::vector<std::uint8_t> rawBuffer_;  // transparent bytes not yet taken
  ui::TimerId timer_ = 0;                // answer wait, or the failed open
  int countdown_ = 0;
  ui::TimerId textTimer_ = 0;
  std::unique_ptr<InitTextRun> run_;
  bool runAfterOpen_ = false;
  std::deque<TextJob> jobs_;
};

// Finishes a closing serial port: sends the DEINI text with its delays and
// its final pause without holding up the user interface, then closes the
// line (which drains it) and releases its hold on the shutdown. Destroyed
// early (the shutdown's wait ran out, or the application itself goes), it
// writes the rest of the text at once and closes.
class SerialCloser final : public ui::Window {
 public:
  SerialCloser(std::unique_ptr<SerialPort> serial, std::string deiniText,
               std::unique_ptr<core::ShutdownHold> hold);
  ~SerialCloser() override;
  void onEvent(ui::Event& event) override;

 private:
  void close();

  std::unique_ptr<SerialPort> serial_;
  std::unique_ptr<InitTextRun> run_;
  std::unique_ptr<core::ShutdownHold> hold_;
  ui::TimerId timer_ = 0;
};

}  // namespace tarvik::devices
