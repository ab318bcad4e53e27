#pragma once
// The station's services as the remote command S sees them on a channel.
// The channel part that opens services implements this; the remote
// service finds it among the channel's parts, so that the commands never
// depend on how services are loaded.

#include <string>

namespace tarvik::channels {
class ChannelWindow;
}

namespace tarvik::remote {

// Longest service name a station can ask for.
inline constexpr std::size_t kServiceNameLimit = 11;

class ServiceHost {
 public:
  virtual ~ServiceHost() = default;

  // The text of the service list.
  virtual std::string ServiceList(channels::ChannelWindow& channel) = 0;

  struct Answer {
    bool opened = false;  // the service took the channel over
    std::string text;     // its greeting, its refusal or why nothing opened
  };
  // Opens the service of that name (compared exactly) for the station.
  virtual Answer OpenService(channels::ChannelWindow& channel, const std::string& name) = 0;
};

}  // namespace tarvik::remote
