#include "devices/serial_port_window.h"

#include <algorithm>

#include "ax25/frame_events.h"
#include "core/port_opening.h"

namespace tarvik::devices {

namespace {

constexpr int kFailedCloseMs = 100;
constexpr int kAnswerTickMs = 1000;

bool isKissFamily(int protocol) {
  return protocol == core::kProtocolKiss || protocol == core::kProtocolSmack ||
         protocol == core::kProtocolRmnc;
}

}  // namespace

ui::WindowId SerialPortWindow::Create(core::App& app, ui::WindowId owner, int port) {
  if (!core::PortTable::IsValidPort(port)) return ui::kNoWindow;
  ui::WindowSpec spec;
  spec.kind = ui::WindowKind::Invisible;
  spec.name = "COM";
  spec.title = "COM";
  spec.parent = app.taskWindow;
  spec.visible = false;
  return app.toolkit().create(spec, std::make_unique<SerialPortWindow>(app, owner, port));
}

SerialPortWindow::SerialPortWindow(core::App& app, ui::WindowId owner, int port)
    : app_(app),
      owner_(owner),
      port_(port),
      protocol_(app.ports()[port].protocol),
      devType_(app.ports()[port].devType),
      device_(app.ports()[port].device),
      jitter_(static_cast<std::uint32_t>(port) * 7919u +
              static_cast<std::uint32_t>(app.toolkit().now().time_since_epoch().count())) {}

SerialPortWindow::~SerialPortWindow() = default;

void SerialPortWindow::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create: onCreate(); break;
    case ui::EventType::Destroy: onDestroy(); break;
    case ui::EventType::Timer: onTimer(event); break;
    case ui::EventType::User: onUser(event); break;
    default: break;
  }
}

void SerialPortWindow::onCreate() {
  const ReceiveChecks checks =
      protocol_ == core::kProtocolRmnc ? ReceiveChecks::SmackAndFlexnet : ReceiveChecks::Smack;
  receive_ = std::make_shared<ReceiveSide>(toolkit(), app_.taskWindow, port_, checks);
  receive_->raw = !isKissFamily(protocol_);

  // The reader thread reaches the window only through the thread-safe post,
  // and the receive side only through its own reference.
  std::shared_ptr<ReceiveSide> side = receive_;
  ui::Toolkit* tk = &toolkit();
  const ui::WindowId self = id();
  const int protocol = protocol_;
  onBytes_ = [side, tk, self, protocol](std::span<const std::uint8_t> bytes) {
    if (side->muted) return;
    if (side->raw) {
      if (protocol == core::kProtocolHost) return;  // host mode: nothing is read
      auto buffer = std::make_unique<ax25::RawFrameBuffer>();
      buffer->assign(bytes);  // a read chunk (255 bytes) always fits
      tk->post(self, ui::Event::user(ax25::kEvtTransparentData, 0, std::move(buffer)));
      return;
    }
    std::lock_guard lock(side->mutex);
    side->kiss.feed(bytes);
  };
  onLost_ = [side, tk, self](int error) {
    if (!side->muted) tk->post(self, ui::Event::user(kEvtSerialLost, error));
  };
  serial_ = SerialOpen(toolkit(), id(), port_, device_, onBytes_, onLost_);
  if (!serial_) {
    setMode(Mode::OpenFailed);
    timer_ = toolkit().createTimer(id(), kFailedCloseMs);
    return;
  }
  core::SetPortState(app_, port_, core::PortState::Up);
  startText(app_.ports()[port_].iniText, true);
}

void SerialPortWindow::onDestroy() {
  if (timer_ != 0) toolkit().destroyTimer(timer_);
  if (textTimer_ != 0) toolkit().destroyTimer(textTimer_);
  if (reopenTimer_ != 0) toolkit().destroyTimer(reopenTimer_);
  timer_ = textTimer_ = reopenTimer_ = 0;
  // A text still running (the port closes during a delay of its INI text)
  // is abandoned: the DEINI text follows on the closing line.
  run_.reset();
  jobs_.clear();
  if (receive_) receive_->muted = true;
  if (serial_) {
    ui::WindowSpec spec;
    spec.kind = ui::WindowKind::Invisible;
    spec.name = "COMCLOSE";
    spec.visible = false;
    toolkit().create(spec, std::make_unique<SerialCloser>(std::move(serial_),
                                                          app_.ports()[port_].deiniText,
                                                          app_.HoldShutdown()));
  }
  core::PortRecord& record = app_.ports()[port_];
  if (record.portWindow == id()) {
    record.portWindow = ui::kNoWindow;
    record.state = core::PortState::Up;  // the next driver of the port tells its own
  }
}

void SerialPortWindow::onTimer(ui::Event& event) {
  const auto timer = static_cast<ui::TimerId>(event.id);
  if (timer != 0 && timer == textTimer_) {
    advanceText();
    return;
  }
  if (timer != 0 && timer == reopenTimer_) {
    toolkit().destroyTimer(reopenTimer_);
    reopenTimer_ = 0;
    reopen();
    return;
  }
  // The heartbeat's forwarded ticks carry the main window's timer: ignored.
  if (timer == 0 || timer != timer_) return;
  if (mode_ == Mode::OpenFailed) {
    toolkit().destroyTimer(timer_);
    timer_ = 0;
    toolkit().destroy(id());
  } else if (mode_ == Mode::AnswerWait) {
    if (countdown_-- < 1) {
      toolkit().destroyTimer(timer_);
      timer_ = 0;
      toolkit().sendUser(id(), core::kEvtSerialClosed, 0,
                         std::make_unique<core::PortStatus>(port_, std::string(), "Timeout"));
      toolkit().destroy(id());
    }
  }
}

void SerialPortWindow::onUser(ui::Event& event) {
  switch (event.id) {
    case ax25::kEvtTransparentData:
      if (const auto* buffer = event.as<ax25::RawFrameBuffer>()) {
        if (receive_ && receive_->raw) receiveRaw(buffer->bytes());
        else receiveKiss(buffer->bytes());
      }
      break;
    case ax25::kEvtFrameBytes:
      if (const auto* buffer = event.as<ax25::RawFrameBuffer>()) send(*buffer);
      break;
    case core::kEvtSerialOpened:
      if (mode_ != Mode::AnswerWait) {
        toolkit().send(owner_, event);
        owner_ = app_.taskWindow;
      }
      break;
    case core::kEvtSerialClosed:
    case core::kEvtSerialFailed:
      if (auto* status = event.as<core::PortStatus>()) {
        if (const auto settings = ParseDeviceString(device_)) status->device = settings->portName;
        else status->device = device_;
      }
      toolkit().send(owner_, event);
      break;
    case kEvtSendKissParameters:
      sendKissParameters(static_cast<int>(event.arg));
      break;
    case kEvtSendKissParameter:
      if (const auto* request = event.as<KissParameterRequest>())
        write(EncodeKissParameter(request->radioChannel, request->parameter, request->value));
      break;
    case kEvtReinitTnc:
      startText(app_.ports()[port_].deiniText, false);
      startText(app_.ports()[port_].iniText, false);
      break;
    case kEvtSerialLost:
      if (serial_ && serial_->Lost()) lineLost(static_cast<int>(event.arg));
      break;
    // The heartbeat needs nothing here (the port keeps its own timers), nor
    // do the answers to its messages; telling of them would answer again.
    case core::kEvtHeartbeat:
      break;
    default:
      if (event.id >= core::kAnswerBase && event.id <= core::kAnswerBase + core::kAnswerCancel) break;
      app_.ShowMessage(id(), 1, 501, "COM", std::to_string(event.id));
      break;
  }
}

void SerialPortWindow::receiveKiss(std::span<const std::uint8_t> bytes) {
  if (!receive_ || protocol_ == core::kProtocolHost) return;
  std::lock_guard lock(receive_->mutex);
  receive_->kiss.feed(bytes);
}

void SerialPortWindow::receiveRaw(std::span<const std::uint8_t> bytes) {
  // Without a link to take them the newest bytes are kept, so that a link
  // that attaches later sees what the line said last.
  rawBuffer_.insert(rawBuffer_.end(), bytes.begin(), bytes.end());
  if (rawBuffer_.size() > kReceiveBufferCapacity)
    rawBuffer_.erase(rawBuffer_.begin(),
                     rawBuffer_.end() - static_cast<std::ptrdiff_t>(kReceiveBufferCapacity));

  bool answered = false;
  if (mode_ == Mode::AnswerWait && !answer_.empty()) {
    answered = std::search(rawBuffer_.begin(), rawBuffer_.end(), answer_.begin(), answer_.end()) !=
               rawBuffer_.end();
  }
  const ui::WindowId link = app_.ports()[port_].transparentLink;
  if (link != ui::kNoWindow) {
    auto buffer = std::make_unique<ax25::RawFrameBuffer>();
    buffer->owner = id();
    buffer->assign(rawBuffer_);
    rawBuffer_.clear();
    toolkit().post(link, ui::Event::user(ax25::kEvtTransparentData, 0, std::move(buffer)));
  }
  if (answered) {
    // The modem gave its answer: the line is up, the owner learns it now.
    if (timer_ != 0) toolkit().destroyTimer(timer_);
    timer_ = 0;
    setMode(Mode::Normal);
    toolkit().sendUser(id(), core::kEvtSerialOpened, 0,
                       std::make_unique<core::PortStatus>(port_, device_, std::string()));
  }
}

void SerialPortWindow::send(const ax25::RawFrameBuffer& buffer) {
  if (!serial_) {
    // The line is gone: nothing goes out, and nothing pretends to.
    ++app_.ports()[port_].framesDropped;
    return;
  }
  if (isKissFamily(protocol_)) {
    write(KissTransmitBytes(static_cast<KissProtocol>(protocol_), buffer));
  } else if (protocol_ == core::kProtocolNone) {
    // Plain data for a terminal or modem: every block ends a line.
    std::vector<std::uint8_t> bytes(buffer.bytes().begin(), buffer.bytes().end());
    if (bytes.empty() || (bytes.back() != '\r' && bytes.back() != '\n')) {
      bytes.push_back('\n');
      bytes.push_back('\r');
    }
    write(bytes);
  }
}

void SerialPortWindow::sendKissParameters(int radioChannel) {
  std::vector<KissChannelSettings> channels;
  for (const core::ChannelParams& c : app_.ports()[port_].channels)
    channels.push_back({c.window, c.txdelay, c.txtail, c.persist, c.slottime});
  for (const auto& frame : EncodeKissParameters(channels, radioChannel)) write(frame);
}

void SerialPortWindow::write(std::span<const std::uint8_t> bytes) {
  if (serial_ && !bytes.empty()) serial_->Write(bytes);
}

void SerialPortWindow::startText(std::string text, bool afterOpen) {
  if (run_) {
    jobs_.push_back({std::move(text), afterOpen});
    return;
  }
  runAfterOpen_ = afterOpen;
  run_ = std::make_unique<InitTextRun>(
      text, [this](std::span<const std::uint8_t> bytes) { write(bytes); },
      [this](const std::string& answer) {
        answer_ = answer;
        // A modem line waits for its answer; a TNC's answer is only kept
        // (nothing would ever end the wait, and its KISS frames would be
        // taken for modem text).
        if (devType_ != core::kDevTypeTnc) setMode(Mode::AnswerWait);
      });
  if (textTimer_ == 0) textTimer_ = toolkit().createTimer(id(), kInitTextPollMs);
  advanceText();
}

void SerialPortWindow::advanceText() {
  while (run_ && run_->Advance(toolkit().now())) {
    run_.reset();
    const bool afterOpen = runAfterOpen_;
    textDone(afterOpen);
    if (jobs_.empty()) break;
    TextJob next = std::move(jobs_.front());
    jobs_.pop_front();
    startText(std::move(next.text), next.afterOpen);
    return;
  }
  if (!run_ && textTimer_ != 0) {
    toolkit().destroyTimer(textTimer_);
    textTimer_ = 0;
  }
}

void SerialPortWindow::textDone(bool afterOpen) {
  if (!afterOpen) return;
  if (devType_ == core::kDevTypeTnc) {
    sendKissParameters(-1);
  } else if (mode_ == Mode::AnswerWait) {
    countdown_ = kAnswerWaitSeconds;
    timer_ = toolkit().createTimer(id(), kAnswerTickMs);
  }
}

void SerialPortWindow::lineLost(int error) {
  // What was running on the line is over; the line is closed (its reader
  // has ended already) and looked for again later.
  run_.reset();
  jobs_.clear();
  if (textTimer_ != 0) toolkit().destroyTimer(textTimer_);
  textTimer_ = 0;
  serial_.reset();
  {
    std::lock_guard lock(receive_->mutex);
    receive_->kiss.reset();
  }
  rawBuffer_.clear();
  std::string reason = core::MessageText(app_, core::kMsgPortHungUp);
  if (error != 0) reason += (reason.empty() ? "" : ": ") + ComErrorText(error);
  core::SetPortState(app_, port_, core::PortState::Down, reason);
  nextPauseMs_ = kSerialRetryFirstMs;
  scheduleReopen();
}

void SerialPortWindow::scheduleReopen() {
  if (reopenTimer_ != 0) return;
  std::uniform_int_distribution<int> vary(-nextPauseMs_ / 10, nextPauseMs_ / 10);
  pauseMs_ = std::max(1, nextPauseMs_ + vary(jitter_));
  nextPauseMs_ = std::min(nextPauseMs_ * 2, kSerialRetryLongestMs);
  reopenTimer_ = toolkit().createTimer(id(), pauseMs_);
}

void SerialPortWindow::reopen() {
  if (serial_) return;
  const std::optional<SerialSettings> settings = ParseDeviceString(device_);
  int error = 0;
  if (settings) serial_ = SerialPort::Open(*settings, onBytes_, error, onLost_);
  if (!serial_) {
    scheduleReopen();  // not there yet: quietly, the loss was told
    return;
  }
  core::SetPortState(app_, port_, core::PortState::Up);
  // A TNC plugged in again knows nothing of KISS: it gets its INI text and
  // its parameters as at the start.
  startText(app_.ports()[port_].iniText, true);
}

void SerialPortWindow::setMode(Mode mode) {
  mode_ = mode;
  if (receive_) receive_->raw = mode == Mode::AnswerWait || !isKissFamily(protocol_);
}

SerialCloser::SerialCloser(std::unique_ptr<SerialPort> serial, std::string deiniText,
                           std::unique_ptr<core::ShutdownHold> hold)
    : serial_(std::move(serial)), hold_(std::move(hold)) {
  SerialPort* line = serial_.get();
  run_ = std::make_unique<InitTextRun>(
      deiniText, [line](std::span<const std::uint8_t> bytes) { line->Write(bytes); }, nullptr);
}

SerialCloser::~SerialCloser() = default;

void SerialCloser::onEvent(ui::Event& event) {
  switch (event.type) {
    case ui::EventType::Create:
      if (run_->Advance(toolkit().now())) {
        close();
        toolkit().destroy(id());
        return;
      }
      timer_ = toolkit().createTimer(id(), kInitTextPollMs);
      break;
    case ui::EventType::Timer:
      if (static_cast<ui::TimerId>(event.id) == timer_ && run_ && run_->Advance(toolkit().now())) {
        close();
        toolkit().destroy(id());
      }
      break;
    case ui::EventType::Destroy:
      if (serial_) {
        run_->Finish();  // the program ends: what is left goes out at once
        close();
      }
      break;
    default: break;
  }
}

void SerialCloser::close() {
  if (timer_ != 0) toolkit().destroyTimer(timer_);
  timer_ = 0;
  serial_.reset();  // drains what was written, then closes
  hold_.reset();
}

}  // namespace tarvik::devices
