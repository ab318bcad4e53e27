#pragma once
// The station database: one 454-byte record per station call sign in the
// indexed record file "USER" of LOGPATH (unique keys). The key is the call
// with its SSID folded into one letter ("DB0ABC-2" -> "DB0ABCc"), so the
// bare call and the call with "-0" are different stations.
//
// The database opens the file for each operation and closes it again, so
// that the files on disk are complete between operations. A missing pair
// of files is created on first use; a damaged pair, or one of the two files
// missing, is reported (604, 601) and never replaced.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/record_file.h"

namespace tarvik::store {

inline constexpr std::string_view kStationFileName = "USER";
inline constexpr int kStationRecordSize = 454;

// Field sizes in the record (each counts its terminating zero).
inline constexpr std::size_t kStationCallSize = 8;
inline constexpr std::size_t kStationNameSize = 41;
inline constexpr std::size_t kStationQthSize = 41;
inline constexpr std::size_t kStationText1Size = 41;
inline constexpr std::size_t kStationText2Size = 42;
inline constexpr std::size_t kStationRemarkSize = 129;
inline constexpr std::size_t kStationLastConnectSize = 17;
inline constexpr std::size_t kStationHomeSize = 129;

// "DB0ABC-2" -> "DB0ABCc": at most 8 characters before "-", then the letter
// "a" + SSID for an SSID from 0 to 15 (others are dropped).
std::string FoldCall(std::string_view call);
// "DB0ABCc" -> "DB0ABC-2": the first lower-case letter within the first 9
// characters (8 call characters and the letter) becomes "-" and its
// distance from "a".
std::string ShowCall(std::string_view key);
// The key without its SSID letter.
std::string BareKey(std::string_view key);

struct StationRecord {
  std::string station;      // the key (folded call)
  std::string name;
  std::string qth;
  std::string text1;
  std::string text2;
  std::string remark;       // "ANM"
  std::string lastConnect;  // "LCONNECT"
  std::string home;         // connect path
  std::int16_t level = 0;   // which of L0..L5 is chosen
  std::int16_t box = 0;     // entry of the BOX list
  bool digi = false;        // "DIGI": the station may use this one as a digipeater

  // The 454 bytes; texts longer than their field are cut.
  std::string Encode() const;
  // Reads a record of untrusted bytes (short input reads as zeros).
  static StationRecord Decode(std::string_view bytes);
  bool operator==(const StationRecord&) const = default;
};

struct StationEntry {
  std::int32_t position = kNoNode;
  StationRecord record;
};

// Removes the temporary files a write of the database killed half-way left
// in `directory` ("USER.DAT.XXXXXX", "USER.IDX.XXXXXX"); run at start.
void RemoveStaleTemporaries(const std::string& directory);

class StationDatabase {
 public:
  explicit StationDatabase(std::string directory) : files_(std::move(directory)) {}

  // The record of a call: first with its SSID letter, then without. 1 and
  // the entry when found, 0 when not, 60x when the file cannot be used.
  std::int16_t Lookup(std::string_view call, StationEntry& entry);
  // The record at a position: 1 when there is one.
  std::int16_t ReadAt(std::int32_t position, StationRecord& record);
  // Stores a new station under FoldCall(record.station): 0 and its
  // position, 603 when it is there already.
  std::int16_t Insert(StationRecord record, std::int32_t& position);
  // Rewrites the record at a position: 1 when there was one.
  std::int16_t Update(std::int32_t position, const StationRecord& record);
  // Deletes the record at a position: 1 when there was one.
  std::int16_t Remove(std::int32_t position);
  // Every record in key order.
  std::int16_t List(std::vector<StationEntry>& entries);

  std::string IndexPath() const { return files_.IndexPath(kStationFileName); }

 private:
  // Opens (or on first use creates) the file; a handle or a code >= 600.
  std::int16_t OpenFile();

  RecordFiles files_;
};

}  // namespace tarvik::store
