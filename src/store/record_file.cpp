#include "store/record_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "core/atomic_file.h"

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

std::int32_t RecordFiles::FindExact(const Header& h, const Files& f, std::string_view key) {
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

std::int32_t RecordFiles::Locate(const Header& h, const Files& f, std::string_view key, std::int32_t position) {
  return key.empty() ? NodeAt(h, f, position) : FindExact(h, f, CutKey(key));
}

std::string RecordFiles::RecordAt(const Header& h, const Files& f, std::int32_t p) {
  const std::size_t at = static_cast<std::size_t>(p / kNodeSize - 1) * static_cast<std::size_t>(h.recordSize);
  std::string record(static_cast<std::size_t>(h.recordSize), '\0');
  if (at < f.data.size()) f.data.copy(record.data(), std::min(record.size(), f.data.size() - at), at);
  return record;
}

RecordFiles::Slot* RecordFiles::slotOf(int handle) {
  if (handle < 0 || handle >= kRecordSlots) return nullptr;
  Slot& s = slots_[static_cast<std::size_t>(handle)];
  return s.useCount > 0 ? &s : nullptr;
}

int RecordFiles::freeSlot() const {
  for (int i = 0; i < kRecordSlots; ++i)
    if (slots_[static_cast<std::size_t>(i)].useCount == 0) return i;
  return -1;
}

bool RecordFiles::Commit(Slot& slot, Header header, Files files) {
  WriteHeader(files.index, header);
  if (!core::WriteFileAtomically(slot.dataPath, files.data)) return false;
  if (!core::WriteFileAtomically(slot.indexPath, files.index)) return false;
  slot.header = header;
  slot.files = std::move(files);
  return true;
}

std::int16_t RecordFiles::Create(std::string_view name, int recordSize, bool unique) {
  const int index = freeSlot();
  if (index < 0) return kNoSlot;
  if (recordSize <= 0 || recordSize > INT16_MAX) return kBadHandle;
  Slot fresh;
  fresh.indexPath = IndexPath(name);
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
      ++s.useCount;
      return static_cast<std::int16_t>(&s - slots_.data());
    }
  fresh.useCount = 1;
  slots_[static_cast<std::size_t>(index)] = std::move(fresh);
  return static_cast<std::int16_t>(index);
}

std::int16_t RecordFiles::Open(std::string_view name) {
  const std::string indexPath = IndexPath(name);
  for (Slot& s : slots_)
    if (s.useCount > 0 && s.indexPath == indexPath) {
      ++s.useCount;
      return static_cast<std::int16_t>(&s - slots_.data());
    }
  const int index = freeSlot();
  if (index < 0) return kNoSlot;
  Slot slot;
  slot.indexPath = indexPath;
  slot.dataPath = DataPath(name);
  auto idx = ReadWhole(slot.indexPath);
  auto dat = ReadWhole(slot.dataPath);
  if (!idx || !dat) return kCannotOpen;
  slot.files = Files{std::move(*idx), std::move(*dat)};
  if (slot.files.index.size() < kNodeSize) return kDamaged;
  slot.header = ReadHeader(slot.files.index);
  if (!Check(slot.header, slot.files)) return kDamaged;
  slot.useCount = 1;
  slots_[static_cast<std::size_t>(index)] = std::move(slot);
  return static_cast<std::int16_t>(index);
}

std::int16_t RecordFiles::Close(int handle) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  if (--s->useCount == 0) *s = Slot{};
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
  Header h = s->header;
  Files f = s->files;

  // The insertion place: after an equal key, before a larger one, or at the end.
  std::int32_t previous = kNoNode, next = kNoNode;
  if (h.first != kNoNode) {
    std::int32_t p = h.first;
    Node n = ReadNode(f.index, p);
    while (KeyOf(n) < key && n.next != kNoNode) {
      p = n.next;
      n = ReadNode(f.index, p);
    }
    if (KeyOf(n) == key) {
      if (h.unique) return kDuplicate;
      previous = p;
      next = n.next;
    } else if (KeyOf(n) > key) {
      previous = n.previous;
      next = p;
    } else {
      previous = p;
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
  if (f.data.size() < at + static_cast<std::size_t>(h.recordSize)) f.data.resize(at + static_cast<std::size_t>(h.recordSize), '\0');
  std::string fixed(record.substr(0, static_cast<std::size_t>(h.recordSize)));
  fixed.resize(static_cast<std::size_t>(h.recordSize), '\0');
  f.data.replace(at, fixed.size(), fixed);

  Node n;
  n.next = next;
  n.previous = previous;
  std::memcpy(n.key.data(), key.data(), key.size());
  WriteNode(f.index, node, n);
  if (previous != kNoNode) {
    Node pn = ReadNode(f.index, previous);
    pn.next = node;
    WriteNode(f.index, previous, pn);
  } else {
    h.first = node;
  }
  if (next != kNoNode) {
    Node nn = ReadNode(f.index, next);
    nn.previous = node;
    WriteNode(f.index, next, nn);
  } else {
    h.last = node;
  }
  if (!Commit(*s, h, std::move(f))) return kCannotOpen;
  position = node;
  return kRecordOk;
}

std::int16_t RecordFiles::Read(int handle, std::string_view key, std::string& record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(s->header, s->files, key, position);
  if (p == kNoNode) return 0;
  record = RecordAt(s->header, s->files, p);
  position = p;
  return kRecordFound;
}

std::int16_t RecordFiles::Update(int handle, std::string_view key, std::string_view record, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(s->header, s->files, key, position);
  if (p == kNoNode) return 0;
  Files f = s->files;
  const auto size = static_cast<std::size_t>(s->header.recordSize);
  const std::size_t at = static_cast<std::size_t>(p / kNodeSize - 1) * size;
  if (f.data.size() < at + size) f.data.resize(at + size, '\0');
  std::string fixed(record.substr(0, size));
  fixed.resize(size, '\0');
  f.data.replace(at, size, fixed);
  if (!Commit(*s, s->header, std::move(f))) return kCannotOpen;
  position = p;
  return kRecordFound;
}

std::int16_t RecordFiles::Delete(int handle, std::string_view key, std::int32_t& position) {
  Slot* s = slotOf(handle);
  if (!s) return kBadHandle;
  const std::int32_t p = Locate(s->header, s->files, key, position);
  if (p == kNoNode) return 0;
  Header h = s->header;
  Files f = s->files;
  const Node n = ReadNode(f.index, p);
  if (n.previous != kNoNode) {
    Node pn = ReadNode(f.index, n.previous);
    pn.next = n.next;
    WriteNode(f.index, n.previous, pn);
  }
  if (n.next != kNoNode) {
    Node nn = ReadNode(f.index, n.next);
    nn.previous = n.previous;
    WriteNode(f.index, n.next, nn);
  }
  if (h.first == p) h.first = n.next;
  if (h.last == p) h.last = n.previous;
  // The free node keeps the rest of its old key bytes, as only the first
  // four mark it free; its record stays until the node is reused.
  Node freed = n;
  freed.next = h.freeHead;
  freed.previous = kNoNode;
  std::memset(freed.key.data(), 0, 4);
  WriteNode(f.index, p, freed);
  h.freeHead = p;
  if (!Commit(*s, h, std::move(f))) return kCannotOpen;
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
