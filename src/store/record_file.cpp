#include "store/record_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <sys/stat.h>

#include "core/atomic_file.h"
#include "store/record_journal.h"

namespace tarvik::store {
namespace {

// Larger files are not a station's record store; refusing them keeps a
// damaged or foreign file from being read into memory whole.
constexpr std::size_t kFileLimit = 64u << 20;

std::int32_t Get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return static_cast<std::int32_t>(v);
}
std::int16_t Get16(const std::string& b, std::size_t at) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
void Put32(std::string& b, std::size_t at, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void Put16(std::string& b, std::size_t at, std::int16_t value) {
  auto v = static_cast<std::uint16_t>(value);
  b[at] = static_cast<char>(v & 0xff);
  b[at + 1] = static_cast<char>(v >> 8);
}

std::optional<std::string> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string contents;
  char buffer[8192];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    contents.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (contents.size() > kFileLimit) return std::string(kFileLimit + 1, '\0');
  }
  if (in.bad()) return std::nullopt;
  return contents;
}

std::string_view CutKey(std::string_view key) { return key.substr(0, std::min(key.size(), kKeyCapacity)); }

}  // namespace

RecordFiles::Header RecordFiles::ReadHeader(const std::string& index) {
  Header h;
  h.freeHead = Get32(index, 0);
  h.nextNode = Get32(index, 4);
  h.first = Get32(index, 8);
  h.last = Get32(index, 12);
  h.recordSize = Get16(index, 16);
  h.unique = Get16(index, 18);
  return h;
}

void RecordFiles::WriteHeader(std::string& index, const Header& h) {
  if (index.size() < kNodeSize) index.resize(kNodeSize, '\0');
  Put32(index, 0, h.freeHead);
  Put32(index, 4, h.nextNode);
  Put32(index, 8, h.first);
  Put32(index, 12, h.last);
  Put16(index, 16, h.recordSize);
  Put16(index, 18, h.unique);
}

RecordFiles::Node RecordFiles::ReadNode(const std::string& index, std::int32_t offset) {
  Node n;
  const auto at = static_cast<std::size_t>(offset);
  n.next = Get32(index, at);
  n.previous = Get32(index, at + 4);
  std::memcpy(n.key.data(), index.data() + at + 8, n.key.size());
  return n;
}

void RecordFiles::WriteNode(std::string& index, std::int32_t offset, const Node& n) {
  const auto at = static_cast<std::size_t>(offset);
  if (index.size() < at + kNodeSize) index.resize(at + kNodeSize, '\0');
  Put32(index, at, n.next);
  Put32(index, at + 4, n.previous);
  std::memcpy(index.data() + at + 8, n.key.data(), n.key.size());
}

std::string_view RecordFiles::KeyOf(const Node& n) {
  return {n.key.data(), ::strnlen(n.key.data(), n.key.size())};
}

bool RecordFiles::IsFree(const Node& n) { return n.key[0] == 0 && n.key[1] == 0 && n.key[2] == 0 && n.key[3] == 0; }

bool RecordFiles::Check(const Header& h, const Files& f) {
  const std::size_t size = f.index.size();
  if (size < kNodeSize || size % kNodeSize != 0 || size > kFileLimit || f.data.size() > kFileLimit) return false;
  if (h.recordSize <= 0 || h.nextNode < 1 || static_cast<std::size_t>(h.nextNode) != size / kNodeSize) return false;
  const std::size_t nodes = size / kNodeSize;
  std::vector<bool> seen(nodes, false);
  const auto valid = [&](std::int32_t p) {
    return p >= kNodeSize && p % kNodeSize == 0 && static_cast<std::size_t>(p) < size &&
           !seen[static_cast<std::size_t>(p / kNodeSize)];
  };
  // The list in key order: every link points at a node of the file, each
  // node is reached once, the back links mirror the forward links, keys are
  // terminated and every record lies inside the data file.
  std::int32_t previous = kNoNode;
  for (std::int32_t p = h.first; p != kNoNode;) {
    if (!valid(p)) return false;
    seen[static_cast<std::size_t>(p / kNodeSize)] = true;
    const Node n = ReadNode(f.index, p);
    if (n.previous != previous || IsFree(n) || KeyOf(n).size() > kKeyCapacity) return false;
    if (static_cast<std::size_t>(p / kNodeSize) * static_cast<std::size_t>(h.recordSize) > f.data.size()) return false;
    previous = p;
    p = n.next;
  }
  if (h.last != previous) return false;
  for (std::int32_t p = h.freeHead; p != kNoNode;) {
    if (!valid(p)) return false;
    seen[static_cast<std::size_t>(p / kNodeSize)] = true;
    p = ReadNode(f.index, p).next;
  }
  return true;
}

std::int32_t RecordFiles::FindExact(const Slot& slot, std::string_view key) {
  if (slot.header.unique) {
    const auto it = slot.keys.find(key);
    return it == slot.keys.end() ? kNoNode : it->second;
  }
  const Header& h = slot.header;
  const Files& f = slot.files;
  std::int32_t p = h.first;
  while (p != kNoNode) {
    const Node n = ReadNode(f.index, p);
    const std::string_view k = KeyOf(n);
    if (k == key) return p;
    if (k > key || n.next == kNoNode) return kNoNode;
    p = n.next;
  }
  return kNoNode;
}

std::int32_t RecordFiles::NodeAt(const Header& h, const Files& f, std::int32_t p) {
  if (p < kNodeSize || p % kNodeSize != 0 || p / kNodeSize >= h.nextNode) return kNoNode;
  return IsFree(ReadNode(f.index, p)) ? kNoNode : p;
}

std::int32_t RecordFiles::Locate(const Slot& slot, std::string_view key, std::int32_t position) {
  return key.empty() ? NodeAt(slot.header, slot.files, position) : FindExact(slot, CutKey(key));
}

std::string RecordFiles::RecordAt(const Header& h, const Files& f, std::int32_t p) {
  const std::size_t at = static_cast<std::size_t>(p / kNodeSize - 1) * static_cast<std::size_t>(h.recordSize);
  std::string record(static_cast<std::size_t>(h.recordSize), '\0');
  if (at < f.data.size()) f.data.copy(record.data(), std::min(record.size(), f.data.size() - at), at);
  return record;
}

// The pieces one change writes, against the pair as it is: the new header,
// nodes and records, and the sizes the files grow to.
class RecordFiles::Change {
 public:
  Change(const Slot& slot) : header(slot.header) {
    journal.indexSize = slot.files.index.size();
    journal.dataSize = slot.files.data.size();
  }
  void PutNode(std::int32_t offset, const Node& node) {
    std::string bytes(kNodeSize, '\0');
    WriteNode(bytes, 0, node);
    Put(true, static_cast<std::uint64_t>(offset), std::move(bytes));
  }
  void PutRecord(std::uint64_t at, std::string bytes) { Put(false, at, std::move(bytes)); }
  void Finish() {
    std::string bytes(kNodeSize, '\0');
    WriteHeader(bytes, header);
    Put(true, 0, std::move(bytes));
  }

  Header header;
  Journal journal;

 private:
  void Put(bool index, std::uint64_t at, std::string bytes) {
    std::uint64_t& size = index ? journal.indexSize : journal.dataSize;
    size = std::max<std::uint64_t>(size, at + bytes.size());
    journal.pieces.push_back(JournalPiece{index, at, std::move(bytes)});
  }
};

RecordFiles::Stamp RecordFiles::StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Stamp{};
  return Stamp{static_cast<std::uintmax_t>(st.st_size),
               static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

void RecordFiles::IndexKeys(Slot& slot) {
  slot.keys.clear();
  if (!slot.header.unique) return;
  for (std::int32_t p = slot.header.first; p != kNoNode;) {
    const Node n = ReadNode(slot.files.index, p);
    slot.keys.emplace(std::string(KeyOf(n)), p);
    p = n.next;
  }
}

std::int16_t RecordFiles::Load(Slot& slot) {
  if (!RecoverJournal(slot.indexPath, slot.dataPath, kFileLimit)) return kCannotOpen;
  auto idx = ReadWhole(slot.indexPath);
  auto dat = ReadWhole(slot.dataPath);
  if (!idx || !dat) return kCannotOpen;
  slot.files = Files{std::move(*idx), std::move(*dat)};
  if (slot.files.index.size() < kNodeSize) return kDamaged;
  slot.header = ReadHeader(slot.files.index);
  if (!Check(slot.header, slot.files)) return kDamaged;
  slot.indexStamp = StampOf(slot.indexPath);
  slot.dataStamp = StampOf(slot.dataPath);
  IndexKeys(slot);
  return kRecordOk;
}

bool RecordFiles::Commit(Slot& slot, Change& change) {
  change.Finish();
  if (JournalPending(slot.indexPath)) {
    // An earlier change failed half-way: it is finished first, and this
    // one, made against what memory held, is refused.
    Load(slot);
    return false;
  }
  if (!CommitJournal(slot.indexPath, slot.dataPath, change.journal)) {
    // What is on disk is not known now: the next opening reads it again.
    slot.indexStamp = slot.dataStamp = Stamp{};
    return false;
  }
  change.journal.ApplyTo(slot.files.index, slot.files.data);
  slot.header = change.header;
  slot.indexStamp = StampOf(slot.indexPath);
  slot.dataStamp = StampOf(slot.dataPath);
  return true;
}

RecordFiles::Slot* RecordFiles::slotOf(int handle) {
  if (handle < 0 || handle >= kRecordSlots) return nullptr;
  Slot& s = slots_[static_cast<std::size_t>(handle)];
  return s.useCount > 0 ? &s : nullptr;
}

int RecordFiles::freeSlot() const {
  // A closed pair kept loaded gives its place up.
  for (int i = 0; i < kRecordSlots; ++i)
    if (slots_[static_cast<std::size_t>(i)].useCount == 0) return i;
  return -1;
}

bool RecordFiles::Commit(Slot& slot, Header header, Files files) {
  WriteHeader(files.index, header);
  std::remove(JournalPath(slot.indexPath).c_str());
  if (!core::WriteFileAtomically(slot.dataPath, files.data)) return false;
  if (!core::WriteFileAtomically(slot.indexPath, files.index)) return false;
  slot.header = header;
  slot.files = std::move(files);
  slot.indexStamp = StampOf(slot.indexPath);
  slot.dataStamp = StampOf(slot.dataPath);
  IndexKeys(slot);
  return true;
}

std::int16_t RecordFiles::Create(std::string_view name, int recordSize, bool unique) {
  const int index = freeSlot();
  if (index < 0) return kNoSlot;
  if (recordSize <= 0 || recordSize > INT16_MAX) return kBadHandle;
  Slot fresh;
  fresh.indexPath = IndexPath(name);
  for (Slot& s : slots_)
    if (s.useCount == 0 && s.indexPath == fresh.indexPath) s = Slot{};
  fresh.dataPath = DataPath(name);
  Header h;
  h.recordSize = static_cast<std::int16_t>(recordSize);
  h.unique = unique ? 1 : 0;
  if (!Commit(fresh, h, Files{})) return kCannotOpen;
  // A name that was open elsewhere now names other files: its users share
  // the fresh state.
  for (Slot& s : slots_)
    if (s.useCount > 0 && s.indexPath == fresh.indexPath) {
      s.header = fresh.header;
      s.files = fresh.files;
      s.keys = fresh.keys;
      s.indexStamp = fresh.indexStamp;
      s.dataStamp = fresh.dataStamp;
      ++s.useCount;
      return static_cast<std::int16_t>(&s - slots_.data());
    }
  fresh.useCount = 1;
  slots_[static_cast<std::size_t>(index)] = std::move(fresh);
  return static_cast<std::int16_t>(index);
}

std::int16_t RecordFiles::Open(std::string_view name) {
  const std::string indexPath = IndexPath(name);
  for (Slot& s : slots_) {
    if (s.indexPath != indexPath) continue;
    if (s.useCount > 0) {
      ++s.useCount;
      return static_cast<std::int16_t>(&s - slots_.data());
    }
    // Kept loaded since its last close: still what is on disk?
    // (A journal another writer left before touching the files leaves them
    // as they were: it is played when the pair is read again.)
    if (s.indexStamp == StampOf(s.indexPath) && s.dataStamp == StampOf(s.dataPath) &&
        s.indexStamp.modified >= 0) {
      s.useCount = 1;
      return static_cast<std::int16_t>(&s - slots_.data());
    }
    s = Slot{};
  }
  const int index = freeSlot();
  if (index < 0) return kNoSlot;
  Slot slot;
  slot.indexPath = indexPath;
  slot.dataPath = DataPath(name);
  if (const std::int16_t r = Load(slot); r != kRecordOk) return r;
  slot.useCount = 1;
  slots_[static_cast<std::size_t>(index)] = std::move(slot);
  return static_cast<std::int16_t>(index);
}

std::int16_t RecordFiles::Close(int handle) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  --s->useCount;  // the pair stays loaded for the next Open
  return kRecordOk;
}

int RecordFiles::RecordSize(int handle) const {
  if (handle < 0 || handle >= kRecordSlots) return 0;
  const Slot& s = slots_[static_cast<std::size_t>(handle)];
  return s.useCount > 0 ? s.header.recordSize : 0;
}

bool RecordFiles::Unique(int handle) const {
  if (handle < 0 || handle >= kRecordSlots) return false;
  const Slot& s = slots_[static_cast<std::size_t>(handle)];
  return s.useCount > 0 && s.header.unique != 0;
}

std::int16_t RecordFiles::Insert(int handle, std::string_view key, std::string_view record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  key = CutKey(key);
  // An empty key would make a node that reads as free.
  if (key.empty() || key.find('\0') != std::string_view::npos) return kBadHandle;
  const Files& f = s->files;
  Change change(*s);
  Header& h = change.header;

  // The insertion place: after an equal key, before a larger one, or at the end.
  std::int32_t previous = kNoNode, next = kNoNode;
  if (h.unique) {
    const auto it = s->keys.lower_bound(key);
    if (it != s->keys.end() && it->first == key) return kDuplicate;
    next = it == s->keys.end() ? kNoNode : it->second;
    previous = next == kNoNode ? h.last : ReadNode(f.index, next).previous;
  } else if (h.first != kNoNode) {
    std::int32_t p = h.first;
    Node n = ReadNode(f.index, p);
    while (KeyOf(n) < key && n.next != kNoNode) {
      p = n.next;
      n = ReadNode(f.index, p);
    }
    if (KeyOf(n) > key) {
      previous = n.previous;
      next = p;
    } else {
      previous = p;
      next = KeyOf(n) == key ? n.next : kNoNode;
    }
  }

  std::int32_t node;
  if (h.freeHead != kNoNode) {
    node = h.freeHead;
    h.freeHead = ReadNode(f.index, node).next;
  } else {
    if (h.nextNode >= INT32_MAX / kNodeSize) return kDamaged;
    node = kNodeSize * h.nextNode++;
  }

  const std::size_t at = static_cast<std::size_t>(node / kNodeSize - 1) * static_cast<std::size_t>(h.recordSize);
  std::string fixed(record.substr(0, static_cast<std::size_t>(h.recordSize)));
  fixed.resize(static_cast<std::size_t>(h.recordSize), '\0');
  change.PutRecord(at, std::move(fixed));

  Node n;
  n.next = next;
  n.previous = previous;
  std::memcpy(n.key.data(), key.data(), key.size());
  change.PutNode(node, n);
  if (previous != kNoNode) {
    Node pn = ReadNode(f.index, previous);
    pn.next = node;
    change.PutNode(previous, pn);
  } else {
    h.first = node;
  }
  if (next != kNoNode) {
    Node nn = ReadNode(f.index, next);
    nn.previous = node;
    change.PutNode(next, nn);
  } else {
    h.last = node;
  }
  if (!Commit(*s, change)) return kCannotOpen;
  if (s->header.unique) s->keys.emplace(std::string(key), node);
  position = node;
  return kRecordOk;
}

std::int16_t RecordFiles::Read(int handle, std::string_view key, std::string& record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(*s, key, position);
  if (p == kNoNode) return 0;
  record = RecordAt(s->header, s->files, p);
  position = p;
  return kRecordFound;
}

std::int16_t RecordFiles::Update(int handle, std::string_view key, std::string_view record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(*s, key, position);
  if (p == kNoNode) return 0;
  const auto size = static_cast<std::size_t>(s->header.recordSize);
  std::string fixed(record.substr(0, size));
  fixed.resize(size, '\0');
  Change change(*s);
  change.PutRecord(static_cast<std::size_t>(p / kNodeSize - 1) * size, std::move(fixed));
  if (!Commit(*s, change)) return kCannotOpen;
  position = p;
  return kRecordFound;
}

std::int16_t RecordFiles::Delete(int handle, std::string_view key, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(*s, key, position);
  if (p == kNoNode) return 0;
  const Files& f = s->files;
  Change change(*s);
  Header& h = change.header;
  const Node n = ReadNode(f.index, p);
  if (n.previous != kNoNode) {
    Node pn = ReadNode(f.index, n.previous);
    pn.next = n.next;
    change.PutNode(n.previous, pn);
  }
  if (n.next != kNoNode) {
    Node nn = ReadNode(f.index, n.next);
    nn.previous = n.previous;
    change.PutNode(n.next, nn);
  }
  if (h.first == p) h.first = n.next;
  if (h.last == p) h.last = n.previous;
  // The free node keeps the rest of its old key bytes, as only the first
  // four mark it free; its record stays until the node is reused.
  Node freed = n;
  freed.next = h.freeHead;
  freed.previous = kNoNode;
  std::memset(freed.key.data(), 0, 4);
  change.PutNode(p, freed);
  h.freeHead = p;
  if (!Commit(*s, change)) return kCannotOpen;
  if (s->header.unique) {
    const auto it = s->keys.find(KeyOf(n));
    if (it != s->keys.end() && it->second == p) s->keys.erase(it);
  }
  position = p;
  return kRecordFound;
}

std::int16_t RecordFiles::First(int handle, std::string& record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  if (s->header.first == kNoNode) return 0;
  position = s->header.first;
  record = RecordAt(s->header, s->files, position);
  return kRecordFound;
}

std::int16_t RecordFiles::Next(int handle, std::string& record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = NodeAt(s->header, s->files, position);
  if (p == kNoNode) return 0;
  const std::int32_t next = ReadNode(s->files.index, p).next;
  if (next == kNoNode) return 0;
  position = next;
  record = RecordAt(s->header, s->files, next);
  return kRecordFound;
}

}  // namespace tarvik::store
