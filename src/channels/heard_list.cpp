#include "channels/heard_list.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/atomic_file.h"

namespace tarvik::channels {

namespace {

// Character i of a call text as the key reads it: a signed character, 0
// beyond the text's end.
std::uint32_t KeyChar(std::string_view call, std::size_t i) {
  if (i >= call.size()) return 0;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(call[i])));
}

}  // namespace

std::int32_t PairKey(const ax25::AddressRecord& a, const ax25::AddressRecord& b) {
  // Unsigned arithmetic wraps as the 32-bit sum of the key wants it to; the
  // weights are the same for both addresses, so the key ignores direction.
  const auto sum = [&](std::size_t i) { return KeyChar(a.call, i) + KeyChar(b.call, i); };
  std::uint32_t key = sum(5);
  key = sum(4) + 64u * key;
  key = sum(3) + 64u * key;
  key = sum(2) + 16u * key;
  key = sum(1) + 16u * key;
  key = sum(0) + 16u * key;
  key += static_cast<std::uint32_t>(a.ssid) + static_cast<std::uint32_t>(b.ssid);
  return static_cast<std::int32_t>(key);
}

std::string HeardTime(int day, int month, int year, int hour, int minute) {
  char text[48];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d", day, month, year, hour, minute);
  return text;
}

std::vector<int> HeardList::Note(const ax25::FrameRecord& frame, const std::string& time) {
  std::vector<int> changed;
  const std::optional<std::int32_t> key = NewPair(frame);
  if (!key) return changed;
  const HeardChange change = Note(frame, *key, time);
  for (int n = 0; n < change.count; ++n) changed.push_back(ChangedPlace(change, n));
  return changed;
}

HeardChange HeardList::Note(const ax25::FrameRecord& frame, std::int32_t key, const std::string& time) {
  lastKey_ = key;
  // A pair is in the list at most once. The keys are compared in one pass
  // over all places; only a match is checked for being in use.
  int found = -1;
  for (int p = 0; p < kHeardPlaces; ++p) {
    if (keyAt_[static_cast<std::size_t>(p)] == key && InUse(p)) found = p;
  }
  HeardChange change;
  int written;
  if (found >= 0 || size() == kHeardCapacity) {
    // The entries after the found one (or all, losing the oldest) close up
    // towards it; the newest place takes the new data.
    int q = found >= 0 ? found : Next(start_);
    change.first = q;
    const std::uint8_t freed = entryOf_[static_cast<std::size_t>(q)];
    // The entries fill the places after start_ (the place before place 0)
    // up to end_, so the places from q to the last lie in one run.
    const int last = Prev(end_);
    const auto from = static_cast<std::ptrdiff_t>(q);
    const auto to = static_cast<std::ptrdiff_t>(last);
    std::copy(entryOf_.begin() + from + 1, entryOf_.begin() + to + 1, entryOf_.begin() + from);
    std::copy(keyAt_.begin() + from + 1, keyAt_.begin() + to + 1, keyAt_.begin() + from);
    change.count = last - q;
    q = last;
    entryOf_[static_cast<std::size_t>(q)] = freed;
    written = q;
  } else {
    written = end_;
    change.first = written;
    end_ = Next(end_);
  }
  ++change.count;
  HeardEntry& entry = At(written);
  entry.port = frame.port;
  entry.radioChannel = frame.radioChannel;
  entry.destination = frame.destination;
  entry.source = frame.source;
  entry.time = time;
  entry.key = key;
  keyAt_[static_cast<std::size_t>(written)] = key;
  return change;
}

int HeardList::size() const { return (end_ - start_ - 1 + 2 * kHeardPlaces) % kHeardPlaces; }

int HeardList::PositionOf(int place) const {
  if (place < 0 || place >= kHeardPlaces) return -1;
  const int position = (place - start_ - 1 + 2 * kHeardPlaces) % kHeardPlaces;
  return position < size() ? position : -1;
}

int HeardList::PlaceOf(int position) const {
  if (position < 0 || position >= size()) return -1;
  return (start_ + 1 + position) % kHeardPlaces;
}

const HeardEntry* HeardList::AtPlace(int place) const {
  return PositionOf(place) < 0 ? nullptr : &At(place);
}

std::vector<HeardEntry> HeardList::Entries() const {
  std::vector<HeardEntry> out;
  for (int p = Next(start_); p != end_; p = Next(p)) out.push_back(At(p));
  return out;
}

std::string HeardWindowLine(const HeardEntry& entry) {
  char head[32];
  std::snprintf(head, sizeof head, "%d:%d\t", entry.port, entry.radioChannel);
  return head + ax25::FormatCall(entry.source) + "\tto\t " + ax25::FormatCall(entry.destination) +
         "\t" + entry.time;
}

std::string HeardFileLine(const HeardEntry& entry) {
  char line[128];
  std::snprintf(line, sizeof line, "%d:%d %-10s to %-10s  %.40s\n", entry.port, entry.radioChannel,
                ax25::FormatCall(entry.source).c_str(), ax25::FormatCall(entry.destination).c_str(),
                entry.time.c_str());
  return line;
}

std::string HeardFileHeader(const std::string& header, const std::string& ownCall) {
  if (header.empty()) return {};
  std::string out;
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] == '%' && i + 1 < header.size() && header[i + 1] == 's') {
      out += ownCall;
      ++i;
    } else if (header[i] == '%' && i + 1 < header.size() && header[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += header[i];
    }
  }
  return out + "\n";
}

bool WriteHeardFile(const std::string& path, const HeardList& list, const std::string& header,
                    const std::string& ownCall) {
  std::string contents = HeardFileHeader(header, ownCall);
  for (const HeardEntry& entry : list.Entries()) contents += HeardFileLine(entry);
  return core::WriteFileAtomically(path, contents);
}

}  // namespace tarvik::channels
