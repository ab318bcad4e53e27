#pragma once
// The services of a channel: the part that opens a service library for the
// station ("//S name") and, while the service is open, holds the channel's
// data diversion, so that everything the station sends goes to the library
// instead of line handling (remote commands, transfers, scripts). The
// service ends when the library says so (user event 850: the station gets
// an empty reply, the prompt in prompt mode) or when the channel closes
// (the library's iCloseSrv).

#include <memory>

#include "channels/channel_part.h"
#include "services/service_libraries.h"

namespace tarvik::services {

std::unique_ptr<channels::ChannelPart> ServicePart(std::shared_ptr<ServiceLibraries> libraries);

}  // namespace tarvik::services
