#include "services/service_libraries.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/get_field.h"
#include "core/ini_reader.h"
#include "services/service_sessions.h"

namespace tarvik::services {

namespace {

constexpr std::size_t kPathSize = 128;
constexpr std::size_t kDescriptionSize = 128;
constexpr int kMaxEntries = 1000;

// An open shared object, closed with its owner.
class SharedObject {
 public:
  explicit SharedObject(void* handle) : handle_(handle) {}
  ~SharedObject() {
    if (handle_) ::dlclose(handle_);
  }
  SharedObject(const SharedObject&) = delete;
  SharedObject& operator=(const SharedObject&) = delete;

  template <class F>
  F entry(const char* name) const {
    return reinterpret_cast<F>(::dlsym(handle_, name));
  }

 private:
  void* handle_;
};

std::string Cut(std::string text, std::size_t size) {
  if (text.size() >= size) text.resize(size - 1);
  return text;
}

}  // namespace

struct ServiceLibraries::Library {
  int serial = 0;
  ServiceListing listing;
  std::unique_ptr<SharedObject> object;
  // The library may keep the pointer to its init block.
  TvkInitBlock init{};
  decltype(&::iInitDll) initDll = nullptr;
  decltype(&::iExitDll) exitDll = nullptr;
  decltype(&::iOpenSrv) openSrv = nullptr;
  decltype(&::iCloseSrv) closeSrv = nullptr;
  decltype(&::iSnd2Srv) snd2Srv = nullptr;
  decltype(&::iVersion) version = nullptr;
};

std::vector<ServiceEntry> ReadServiceEntries(std::string_view iniText) {
  std::vector<ServiceEntry> entries;
  core::IniReader ini(iniText);
  if (!ini.FindSection("[SERVICES]")) return entries;
  for (int n = 0; n < kMaxEntries; ++n) {
    const auto value = ini.ReadKey("SRV-" + std::to_string(n), kPathSize * 3);
    if (!value) break;
    ServiceEntry entry;
    std::optional<std::string_view> rest = core::GetField(*value, entry.name, ';', kServiceNameSize);
    if (rest) rest = core::GetField(*rest, entry.path, ';', kPathSize);
    if (rest) core::GetField(*rest, entry.description, ';', kDescriptionSize);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string ServiceListText(const std::vector<ServiceListing>& services, std::string_view none,
                            std::string_view heading) {
  std::string text;
  if (services.empty()) {
    text.append(none).append("\n");
  } else {
    text.append(heading).append("\n").append(49, '-').append("\n");
    for (const ServiceListing& s : services) {
      char line[kServiceNameSize + kDescriptionSize + 32];
      std::snprintf(line, sizeof line, "%-12s %d.%02d %-64s\n", s.name.c_str(), s.version / 100, s.version % 100,
                    s.description.c_str());
      text += line;
    }
  }
  text += "\n";
  return text;
}

ServiceLibraries::ServiceLibraries(core::App& app) : app_(app) {}

ServiceLibraries::~ServiceLibraries() { Unload(); }

void ServiceLibraries::Load() {
  const auto text = core::ReadWholeFile(app_.config().GetSetting(core::kSettingIniPath));
  if (!text) return;
  for (const ServiceEntry& entry : ReadServiceEntries(*text)) load(entry);
}

void ServiceLibraries::load(const ServiceEntry& entry) {
  const auto refuse = [&](const std::string& why) {
    app_.ShowMessage(app_.taskWindow, 1, kMsgServiceNotLoaded, entry.name, why);
  };
  if (entry.path.empty()) return refuse("library");
  // Like every other path of the station, a bare file name is one of the
  // station directory.
  const std::string path = entry.path.find('/') == std::string::npos ? "./" + entry.path : entry.path;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return refuse("library");
  auto library = std::make_unique<Library>();
  library->object = std::make_unique<SharedObject>(handle);
  const SharedObject& object = *library->object;
  library->initDll = object.entry<decltype(library->initDll)>("iInitDll");
  library->exitDll = object.entry<decltype(library->exitDll)>("iExitDll");
  library->openSrv = object.entry<decltype(library->openSrv)>("iOpenSrv");
  library->closeSrv = object.entry<decltype(library->closeSrv)>("iCloseSrv");
  library->snd2Srv = object.entry<decltype(library->snd2Srv)>("iSnd2Srv");
  library->version = object.entry<decltype(library->version)>("iVersion");
  if (!library->initDll || !library->exitDll || !library->openSrv || !library->closeSrv || !library->snd2Srv ||
      !library->version)
    return refuse("Entrypoint");
  library->init.sendToChannel = &ServiceSessions::SendToChannel;
  library->init.notify = &ServiceSessions::Notify;
  library->init.reserved = 0;
  library->initDll(&library->init);
  const std::int32_t version = library->version();
  if (version < kLowestVersion || version > kHighestVersion) {
    library->exitDll();
    return refuse("Version");
  }
  library->serial = nextSerial_++;
  library->listing = {entry.name, static_cast<int>(version), entry.description};
  libraries_.push_back(std::move(library));
}

void ServiceLibraries::Unload() {
  for (const auto& session : open_) ServiceSessions::Instance().Leave(session.first);
  open_.clear();
  for (const auto& library : libraries_) library->exitDll();
  libraries_.clear();
}

std::vector<ServiceListing> ServiceLibraries::Listing() const {
  std::vector<ServiceListing> listing;
  for (const auto& library : libraries_) listing.push_back(library->listing);
  return listing;
}

ServiceLibraries::Library* ServiceLibraries::find(int service) const {
  for (const auto& library : libraries_)
    if (library->serial == service) return library.get();
  return nullptr;
}

Opening ServiceLibraries::Open(ui::WindowId channel, std::string_view name, std::string_view call) {
  Opening opening;
  if (libraries_.empty()) return opening;
  const auto found = std::find_if(libraries_.begin(), libraries_.end(),
                                  [&](const auto& library) { return library->listing.name == name; });
  if (found == libraries_.end()) {
    opening.outcome = OpenOutcome::Unknown;
    return opening;
  }
  Library& library = **found;
  TvkOpenBlock block{};
  const std::string callText = Cut(std::string(call), TVK_CALL_SIZE);
  std::memcpy(block.call, callText.data(), callText.size());
  block.window = channel;
  // The library may send from inside iOpenSrv already.
  ServiceSessions::Instance().Enter(channel, app_.toolkit());
  const bool accepted = library.openSrv(&block) != 0;
  // Whatever the library wrote, the text ends inside the block.
  block.text[TVK_TEXT_SIZE - 1] = '\0';
  opening.text = block.text;
  if (accepted) {
    opening.outcome = OpenOutcome::Opened;
    opening.service = library.serial;
    open_[channel] = library.serial;
  } else {
    ServiceSessions::Instance().Leave(channel);
    opening.outcome = OpenOutcome::Refused;
  }
  return opening;
}

void ServiceLibraries::Send(int service, ui::WindowId channel, std::span<const std::uint8_t> bytes) {
  Library* library = find(service);
  if (!library) return;
  while (!bytes.empty()) {
    TvkDataBlock block{};
    const std::size_t n = std::min<std::size_t>(bytes.size(), TVK_DATA_CAPACITY);
    block.window = channel;
    block.length = static_cast<std::int16_t>(n);
    std::memcpy(block.data, bytes.data(), n);
    library->snd2Srv(&block);
    bytes = bytes.subspan(n);
  }
}

void ServiceLibraries::Close(int service, ui::WindowId channel) {
  ServiceSessions::Instance().Leave(channel);
  open_.erase(channel);
  if (Library* library = find(service)) library->closeSrv(channel);
}

void ServiceLibraries::Ended(ui::WindowId channel) {
  ServiceSessions::Instance().Leave(channel);
  open_.erase(channel);
}

}  // namespace tarvik::services
