#pragma once
// The service libraries of a station: the shared objects named in the
// [SERVICES] section of the INI file, loaded at start-up and unloaded at
// the end (interface: include/tarvik/service.h).
//
// Each line "SRV-n=name;library path;description" (n = 0, 1, ... up to the
// first missing number) names one library. A library that cannot be
// loaded, lacks one of the six entry points or reports a version outside
// 1..9999 is told to the operator (message 1080) and not offered. A path
// without "/" is a file of the station directory, never one the system's
// library search would find elsewhere.
//
// The station's channels reach the libraries through their service part
// (service_part.h); a service opened on a channel is known by the serial
// number of its library, which is never used again, so that a channel
// outliving the libraries (the end of the program) calls nothing.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/app.h"
#include "tarvik/service.h"

namespace tarvik::services {

inline constexpr int kMsgServiceNotLoaded = 1080;
inline constexpr std::size_t kServiceNameSize = 12;  // 11 characters
inline constexpr int kLowestVersion = 1;
inline constexpr int kHighestVersion = 9999;

// One SRV-n line.
struct ServiceEntry {
  std::string name;
  std::string path;
  std::string description;
};

// The SRV-n lines of the [SERVICES] section of an INI text, in order.
std::vector<ServiceEntry> ReadServiceEntries(std::string_view iniText);

// A loaded service as the list shows it.
struct ServiceListing {
  std::string name;
  int version = 0;
  std::string description;
};

// The list text of "//S": `none` when there is no service, else `heading`,
// a rule and one line per service; a final line end either way.
std::string ServiceListText(const std::vector<ServiceListing>& services, std::string_view none,
                            std::string_view heading);

enum class OpenOutcome {
  Opened,      // the library accepted the station: its greeting
  Refused,     // the library refused it: its text
  NoServices,  // no service is loaded
  Unknown,     // no service of that name (compared exactly)
};

struct Opening {
  OpenOutcome outcome = OpenOutcome::NoServices;
  std::string text;    // the library's text (Opened, Refused)
  int service = -1;    // the serial number of the library (Opened)
};

class ServiceLibraries {
 public:
  explicit ServiceLibraries(core::App& app);
  ~ServiceLibraries();
  ServiceLibraries(const ServiceLibraries&) = delete;
  ServiceLibraries& operator=(const ServiceLibraries&) = delete;

  // Loads the libraries the INI file names (setting 10); loaded ones stay.
  void Load();
  // Every library's iExitDll, then it is unloaded; the services still open
  // on channels take no more from their libraries.
  void Unload();

  std::vector<ServiceListing> Listing() const;

  // "//S name" of the station `call` on `channel`.
  Opening Open(ui::WindowId channel, std::string_view name, std::string_view call);
  // Data the station sent while the service is open.
  void Send(int service, ui::WindowId channel, std::span<const std::uint8_t> bytes);
  // The channel closes with the service open: the library's iCloseSrv.
  void Close(int service, ui::WindowId channel);
  // The library ended the service on the channel itself.
  void Ended(ui::WindowId channel);

 private:
  struct Library;
  Library* find(int service) const;
  void load(const ServiceEntry& entry);

  core::App& app_;
  std::vector<std::unique_ptr<Library>> libraries_;
  std::map<ui::WindowId, int> open_;  // channel -> serial of its library
  int nextSerial_ = 1;
};

}  // namespace tarvik::services
