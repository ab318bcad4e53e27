#pragma once
// The heard list: which pairs of stations have lately exchanged I frames on
// any port, newest last, each with the port, radio channel, direction and
// time of the pair's latest I frame.
//
// The main window keeps one list and notes every received I frame in it
// (HeardFrameEvent in heard_window.h); the heard window (1080) shows it and
// the remote service can ask for it as a text file (WriteHeardFile).
//
// A pair is known by its pair key, which is the same whichever of the two
// stations sends. Different pairs can share a key; the list treats them as
// one pair, as stations everywhere expect of this list.
//
// Places: the list lives in 20 places used as a ring between a start and an
// end index, so it holds at most 19 entries. A change reports every place
// whose contents changed, so that a window showing the list replaces only
// those lines.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ax25/frame.h"

namespace tarvik::channels {

inline constexpr int kHeardPlaces = 20;
inline constexpr int kHeardCapacity = kHeardPlaces - 1;

// User event to the open heard window: place `arg` changed.
inline constexpr int kEvtHeardChanged = 1089;

struct HeardEntry {
  int port = 0;
  int radioChannel = 0;
  ax25::AddressRecord destination;
  ax25::AddressRecord source;
  std::string time;  // "%02d.%02d.%04d %02d:%02d"
  std::int32_t key = 0;
};

// The key of the pair of two addresses, equal for both directions.
std::int32_t PairKey(const ax25::AddressRecord& a, const ax25::AddressRecord& b);

// The time text of an entry: day, month, year, hour, minute.
std::string HeardTime(int day, int month, int year, int hour, int minute);

// The places one noted frame changed: `count` places from `first` on, in
// the list's order (the last of them is the one written).
struct HeardChange {
  int first = 0;
  int count = 0;
};

class HeardList {
 public:
  // Notes an I frame heard at `time`; returns the places that changed, the
  // written one last. Nothing changes (and nothing is returned) when the
  // frame is no I frame or belongs to the same pair as the previous I frame
  // noted, so a running conversation costs nothing.
  std::vector<int> Note(const ax25::FrameRecord& frame, const std::string& time);
  // The key of the frame's pair when Note would change anything for it.
  std::optional<std::int32_t> NewPair(const ax25::FrameRecord& frame) const {
    if (frame.type != ax25::FrameType::I) return std::nullopt;
    const std::int32_t key = PairKey(frame.source, frame.destination);
    if (key == lastKey_) return std::nullopt;
    return key;
  }
  // Notes a frame whose NewPair gave `key`: the way of a caller that notes
  // every frame heard.
  HeardChange Note(const ax25::FrameRecord& frame, std::int32_t key, const std::string& time);
  // The n-th place of a change.
  static int ChangedPlace(const HeardChange& change, int n) { return (change.first + n) % kHeardPlaces; }

  // Entries oldest first.
  std::vector<HeardEntry> Entries() const;
  int size() const;
  int start() const { return start_; }
  int end() const { return end_; }
  // The entry in a place, null when the place holds none.
  const HeardEntry* AtPlace(int place) const;
  // Position of a place counted from the oldest entry (0 = oldest), and the
  // place of a position; -1 when outside the list.
  int PositionOf(int place) const;
  int PlaceOf(int position) const;

 private:
  // Noted for every I frame of a new pair: no division.
  static int Next(int place) { return place + 1 == kHeardPlaces ? 0 : place + 1; }
  static int Prev(int place) { return place == 0 ? kHeardPlaces - 1 : place - 1; }
  // Whether a place holds an entry: it is one of the size() places after start_.
  bool InUse(int place) const {
    const int after = (place - start_ + kHeardPlaces) % kHeardPlaces;
    return after >= 1 && after <= size();
  }

  // A place names an entry of the store: closing up the list moves these
  // numbers, not the entries' texts.
  HeardEntry& At(int place) { return store_[entryOf_[static_cast<std::size_t>(place)]]; }
  const HeardEntry& At(int place) const { return store_[entryOf_[static_cast<std::size_t>(place)]]; }
  std::array<HeardEntry, kHeardPlaces> store_{};
  std::array<std::uint8_t, kHeardPlaces> entryOf_ = [] {
    std::array<std::uint8_t, kHeardPlaces> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = static_cast<std::uint8_t>(i);
    return identity;
  }();
  int start_ = kHeardPlaces - 1;
  int end_ = 0;
  // The key of the entry at each place, kept beside entryOf_ for the search.
  std::array<std::int32_t, kHeardPlaces> keyAt_{};
  std::optional<std::int32_t> lastKey_;
};

// A line of the heard window: "%d:%d\t" source "\tto\t " destination "\t" time.
std::string HeardWindowLine(const HeardEntry& entry);

// A line of the heard file: "%d:%d %-10s to %-10s  %s\n".
std::string HeardFileLine(const HeardEntry& entry);

// The heard file's first line: `header` (STRINGS "HEARD" of the main window)
// with its "%s" replaced by the own call and "%%" by "%", then "\n"; empty
// when there is no header. Any other "%" stays as it is, so a header
// written by hand can never make the program read beyond its texts.
std::string HeardFileHeader(const std::string& header, const std::string& ownCall);

// Writes the heard file anew (through a temporary file): the header, then
// one line per entry, oldest first. False when it could not be written.
bool WriteHeardFile(const std::string& path, const HeardList& list, const std::string& header,
                    const std::string& ownCall);

}  // namespace tarvik::channels
