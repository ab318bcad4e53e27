#include "store/station_db.h"

#include <sys/stat.h>

#include <algorithm>

#include <cstring>

#include "core/atomic_file.h"

namespace tarvik::store {
namespace {

constexpr std::size_t kCallLimit = 8;

struct Field {
  std::size_t offset;
  std::size_t size;
};
constexpr Field kCallField{0, kStationCallSize};
constexpr Field kNameField{8, kStationNameSize};
constexpr Field kQthField{49, kStationQthSize};
constexpr Field kText1Field{90, kStationText1Size};
constexpr Field kText2Field{131, kStationText2Size};
constexpr Field kRemarkField{173, kStationRemarkSize};
constexpr Field kLastConnectField{302, kStationLastConnectSize};
constexpr Field kHomeField{319, kStationHomeSize};
constexpr std::size_t kLevelOffset = 448;
constexpr std::size_t kBoxOffset = 450;
// The last 16-bit field holds the DIGI mark: 1 set, 0 clear (files of
// older versions hold 0 there, so their stations read as unmarked).
constexpr std::size_t kDigiOffset = 452;

void PutText(std::string& bytes, Field f, std::string_view text) {
  // Always room for the terminating zero: a full field is cut.
  const std::size_t n = std::min(text.size(), f.size - 1);
  std::memcpy(bytes.data() + f.offset, text.data(), n);
}
std::string GetText(std::string_view bytes, Field f) {
  const std::string_view field = bytes.substr(f.offset, f.size - 1);
  return std::string(field.substr(0, field.find('\0')));
}
void Put16(std::string& bytes, std::size_t at, std::int16_t value) {
  const auto v = static_cast<std::uint16_t>(value);
  bytes[at] = static_cast<char>(v & 0xff);
  bytes[at + 1] = static_cast<char>(v >> 8);
}
std::int16_t Get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[at]) |
                                   (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Closes the file at the end of an operation.
class OpenStationFile {
 public:
  OpenStationFile(RecordFiles& files, std::int16_t handle) : files_(files), handle_(handle) {}
  ~OpenStationFile() {
    if (handle_ >= 0 && handle_ < kRecordSlots) files_.Close(handle_);
  }
  OpenStationFile(const OpenStationFile&) = delete;
  OpenStationFile& operator=(const OpenStationFile&) = delete;
  bool ok() const { return handle_ >= 0 && handle_ < kRecordSlots; }
  std::int16_t handle() const { return handle_; }

 private:
  RecordFiles& files_;
  std::int16_t handle_;
};

}  // namespace

std::string FoldCall(std::string_view call) {
  const std::size_t dash = call.find('-');
  std::string key(call.substr(0, std::min({dash, call.size(), kCallLimit})));
  if (dash != std::string_view::npos) {
    const std::string_view digits = call.substr(dash + 1);
    int ssid = 0;
    bool valid = !digits.empty() && digits.size() <= 2;
    for (const char c : digits) {
      if (c < '0' || c > '9') valid = false;
      else ssid = ssid * 10 + (c - '0');
    }
    if (valid && ssid <= 15) key += static_cast<char>('a' + ssid);
  }
  return key;
}

std::string ShowCall(std::string_view key) {
  // The SSID letter follows at most 8 call characters, so it may be the
  // ninth character.
  for (std::size_t i = 0; i < key.size() && i < kCallLimit + 1; ++i) {
    const auto c = static_cast<unsigned char>(key[i]);
    if (c > '`') return std::string(key.substr(0, i)) + "-" + std::to_string(c - 'a') + std::string(key.substr(i + 1));
  }
  return std::string(key);
}

std::string BareKey(std::string_view key) {
  for (std::size_t i = 0; i < key.size() && i < kCallLimit + 1; ++i)
    if (static_cast<unsigned char>(key[i]) > '`') return std::string(key.substr(0, i));
  return std::string(key);
}

std::string StationRecord::Encode() const {
  std::string bytes(kStationRecordSize, '\0');
  PutText(bytes, kCallField, station);
  PutText(bytes, kNameField, name);
  PutText(bytes, kQthField, qth);
  PutText(bytes, kText1Field, text1);
  PutText(bytes, kText2Field, text2);
  PutText(bytes, kRemarkField, remark);
  PutText(bytes, kLastConnectField, lastConnect);
  PutText(bytes, kHomeField, home);
  Put16(bytes, kLevelOffset, level);
  Put16(bytes, kBoxOffset, box);
  Put16(bytes, kDigiOffset, digi ? 1 : 0);
  return bytes;
}

StationRecord StationRecord::Decode(std::string_view input) {
  std::string bytes(input.substr(0, kStationRecordSize));
  bytes.resize(kStationRecordSize, '\0');
  StationRecord r;
  r.station = GetText(bytes, kCallField);
  r.name = GetText(bytes, kNameField);
  r.qth = GetText(bytes, kQthField);
  r.text1 = GetText(bytes, kText1Field);
  r.text2 = GetText(bytes, kText2Field);
  r.remark = GetText(bytes, kRemarkField);
  r.lastConnect = GetText(bytes, kLastConnectField);
  r.home = GetText(bytes, kHomeField);
  r.level = Get16(bytes, kLevelOffset);
  r.box = Get16(bytes, kBoxOffset);
  r.digi = Get16(bytes, kDigiOffset) != 0;
  return r;
}

std::int16_t StationDatabase::OpenFile() {
  std::int16_t handle = files_.Open(kStationFileName);
  if (handle == kCannotOpen && !Exists(files_.IndexPath(kStationFileName)) &&
      !Exists(files_.DataPath(kStationFileName)))
    handle = files_.Create(kStationFileName, kStationRecordSize, true);
  if (handle >= 0 && handle < kRecordSlots &&
      (files_.RecordSize(handle) != kStationRecordSize || !files_.Unique(handle))) {
    // Another store under the same name: it is not ours to change.
    files_.Close(handle);
    return kDamaged;
  }
  return handle;
}

std::int16_t StationDatabase::Lookup(std::string_view call, StationEntry& entry) {
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  const std::string key = FoldCall(call);
  std::string bytes;
  std::int32_t position = kNoNode;
  std::int16_t r = key.empty() ? 0 : files_.Read(file.handle(), key, bytes, position);
  if (r == 0 && BareKey(key) != key && !BareKey(key).empty())
    r = files_.Read(file.handle(), BareKey(key), bytes, position);
  if (r != kRecordFound) return r;
  entry.position = position;
  entry.record = StationRecord::Decode(bytes);
  return r;
}

std::int16_t StationDatabase::ReadAt(std::int32_t position, StationRecord& record) {
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  std::string bytes;
  const std::int16_t r = files_.Read(file.handle(), "", bytes, position);
  if (r == kRecordFound) record = StationRecord::Decode(bytes);
  return r;
}

std::int16_t StationDatabase::Insert(StationRecord record, std::int32_t& position) {
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  const std::string key = FoldCall(record.station);
  record.station = key;
  return files_.Insert(file.handle(), key, record.Encode(), position);
}

std::int16_t StationDatabase::Update(std::int32_t position, const StationRecord& record) {
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  return files_.Update(file.handle(), "", record.Encode(), position);
}

std::int16_t StationDatabase::Remove(std::int32_t position) {
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  return files_.Delete(file.handle(), "", position);
}

std::int16_t StationDatabase::List(std::vector<StationEntry>& entries) {
  entries.clear();
  OpenStationFile file(files_, OpenFile());
  if (!file.ok()) return file.handle();
  std::string bytes;
  std::int32_t position = kNoNode;
  for (std::int16_t r = files_.First(file.handle(), bytes, position); r == kRecordFound;
       r = files_.Next(file.handle(), bytes, position))
    entries.push_back({position, StationRecord::Decode(bytes)});
  return kRecordOk;
}

void RemoveStaleTemporaries(const std::string& directory) {
  const RecordFiles files(directory);
  core::RemoveStaleTemporaries(files.IndexPath(kStationFileName));
  core::RemoveStaleTemporaries(files.DataPath(kStationFileName));
}

}  // namespace tarvik::store
