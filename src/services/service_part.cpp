#include "services/service_part.h"

#include "channels/channel_window.h"
#include "remote/remote_service.h"
#include "remote/service_host.h"
#include "services/service_sessions.h"

namespace tarvik::services {

namespace {

using channels::ChannelWindow;

class Services final : public channels::ChannelPart, public remote::ServiceHost {
 public:
  explicit Services(std::shared_ptr<ServiceLibraries> libraries) : libraries_(std::move(libraries)) {}

  std::string ServiceList(ChannelWindow& channel) override {
    return ServiceListText(libraries_->Listing(), channel.Text("SRVEMPTY"), channel.Text("SRVHEAD"));
  }

  Answer OpenService(ChannelWindow& channel, const std::string& name) override {
    // A channel has one taker of its data: a service, a transfer or a
    // second link.
    if (open() || channel.diverted()) return {false, channel.Text("SRVNOTSTARTED")};
    const std::string remote = channel.remoteText();
    const Opening opening = libraries_->Open(channel.id(), name, remote.substr(0, remote.find(' ')));
    switch (opening.outcome) {
      case OpenOutcome::NoServices: return {false, channel.Text("SRVNONE")};
      case OpenOutcome::Unknown: return {false, channel.Text("SRVUNKNOWN")};
      case OpenOutcome::Refused: return {false, opening.text};
      case OpenOutcome::Opened: break;
    }
    channel.Divert(*this);
    service_ = opening.service;
    return {true, opening.text};
  }

  void Diverted(ChannelWindow& channel, std::span<const std::uint8_t> bytes) override {
    if (open()) libraries_->Send(service_, channel.id(), bytes);
  }

  void Closing(ChannelWindow& channel) override {
    if (!open()) return;
    libraries_->Close(service_, channel.id());
    service_ = kNone;
  }

  bool UserEvent(ChannelWindow& channel, ui::Event& event) override {
    if (event.id != kEvtServiceEnded) return false;
    if (open()) {
      libraries_->Ended(channel.id());
      channel.ReleaseDiversion(*this);
      service_ = kNone;
      remote::ReplyToStation(channel, "");
    }
    return true;
  }

 private:
  static constexpr int kNone = -1;
  bool open() const { return service_ != kNone; }

  std::shared_ptr<ServiceLibraries> libraries_;
  int service_ = kNone;
};

}  // namespace

std::unique_ptr<channels::ChannelPart> ServicePart(std::shared_ptr<ServiceLibraries> libraries) {
  return std::make_unique<Services>(std::move(libraries));
}

}  // namespace tarvik::services
