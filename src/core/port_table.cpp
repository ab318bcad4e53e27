#include "core/port_table.h"

namespace tarvik::core {

std::int16_t ProtocolFromName(std::string_view name) {
  if (name == "KISS") return kProtocolKiss;
  if (name == "SMACK") return kProtocolSmack;
  if (name == "HOST") return kProtocolHost;
  if (name == "RMNC") return kProtocolRmnc;
  return kProtocolNone;
}

std::int16_t DevTypeFromName(std::string_view name) {
  if (name == "TNC") return kDevTypeTnc;
  if (name == "COM") return kDevTypeCom;
  if (name == "TCPIP") return kDevTypeTcpIp;
  return kDevTypeNone;
}

std::optional<int> PortTable::FindFreePort() const {
  for (int port = 0; port < kPortCount; ++port) {
    if (!(*this)[port].open()) return port;
  }
  return std::nullopt;
}

}  // namespace tarvik::core
