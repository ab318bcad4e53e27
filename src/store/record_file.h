#pragma once
// The indexed record file: a small keyed store of fixed-size records in two
// files of LOGPATH. "<name>.IDX" holds a 20-byte header and a key-sorted,
// doubly linked list of 20-byte nodes; "<name>.DAT" holds the records in the
// numbering of the nodes. A node's offset in the index file is the record's
// handle for callers ("position"). Keys are texts of at most 11 bytes,
// compared byte by byte; lookups walk the list from its first node.
//
// Index header (little-endian): free list head (int32, -1 none), next node
// number (int32, 1 in a new file), first node, last node (int32 offsets, -1
// when empty), record size (int16), unique flag (int16). Node n lies at
// offset 20 * n: next (int32), previous (int32), key (12 bytes, zero
// terminated; a free node has its first four key bytes zero). The record
// of the node at offset p lies at (p / 20 - 1) * record size.
//
// Both files are untrusted: Open checks every link of the list and of the
// free list before the files are used, and a file that does not hold
// together is refused with kDamaged instead of being walked. A change
// writes only the pieces it touches, through the change journal
// (record_journal.h): a crash leaves either the old pair or the new one,
// and the header on disk is always current, not only after Close.
//
// The pair stays loaded after its last Close, with the keys of a unique
// file in a map: opening it again costs a look at both files' size and
// modification time, and finding a key a map lookup instead of a walk.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarvik::store {

enum RecordResult : std::int16_t {
  kRecordOk = 0,
  kRecordFound = 1,
  kNoSlot = 600,      // the open-file table is full
  kCannotOpen = 601,  // a file cannot be opened, read or written
  kBadHandle = 602,   // handle not valid or not open; an unusable request
  kDuplicate = 603,   // key already present in a unique file
  kDamaged = 604,     // the files do not hold together
};

inline constexpr int kRecordSlots = 16;
inline constexpr int kNodeSize = 20;
inline constexpr std::size_t kKeyCapacity = 11;
inline constexpr std::int32_t kNoNode = -1;

class RecordFiles {
 public:
  // The files of every name lie in `directory` (a prefix ending in "/").
  explicit RecordFiles(std::string directory) : directory_(std::move(directory)) {}

  // Creates both files (replacing what is there) with a fresh header;
  // returns the slot (0..15) or 600 / 601.
  std::int16_t Create(std::string_view name, int recordSize, bool unique);
  // Opens existing files; a name already open shares its slot. Returns the
  // slot or 600 / 601 / 604.
  std::int16_t Open(std::string_view name);
  // Gives the slot back when its last user closes it; 0 or 602.
  std::int16_t Close(int handle);

  // 0 and the new node's offset; 603 for a key present in a unique file.
  std::int16_t Insert(int handle, std::string_view key, std::string_view record, std::int32_t& position);
  // With a key: the node with that key; with an empty key: the node at
  // `position`. 1 with the record (and its position) when found, else 0.
  std::int16_t Read(int handle, std::string_view key, std::string& record, std::int32_t& position);
  // As Read, but writes `record` in place; the key stays.
  std::int16_t Update(int handle, std::string_view key, std::string_view record, std::int32_t& position);
  // As Read, but unlinks the node onto the free list; 1 when deleted.
  std::int16_t Delete(int handle, std::string_view key, std::int32_t& position);
  // The first record in key order; 1, or 0 when empty.
  std::int16_t First(int handle, std::string& record, std::int32_t& position);
  // The record after the node at `position`; 1, or 0 at the end.
  std::int16_t Next(int handle, std::string& record, std::int32_t& position);

  // The record size of an open file (0 for a bad handle).
  int RecordSize(int handle) const;
  bool Unique(int handle) const;
  std::string IndexPath(std::string_view name) const { return directory_ + std::string(name) + ".IDX"; }
  std::string DataPath(std::string_view name) const { return directory_ + std::string(name) + ".DAT"; }

 private:
  struct Header {
    std::int32_t freeHead = kNoNode;
    std::int32_t nextNode = 1;
    std::int32_t first = kNoNode;
    std::int32_t last = kNoNode;
    std::int16_t recordSize = 0;
    std::int16_t unique = 0;
  };
  struct Node {
    std::int32_t next = kNoNode;
    std::int32_t previous = kNoNode;
    std::array<char, 12> key{};
  };
  // Both files as they are on disk; the header lies at the start of `index`.
  struct Files {
    std::string index;
    std::string data;
  };
  // What a file looked like when it was read or written last.
  struct Stamp {
    std::uintmax_t size = 0;
    std::int64_t modified = -1;
    bool operator==(const Stamp&) const = default;
  };
  struct Slot {
    int useCount = 0;  // 0 with a path: closed, kept loaded
    std::string indexPath;
    std::string dataPath;
    Header header;
    Files files;
    Stamp indexStamp, dataStamp;
    // Key -> node of a unique file (the first node of a key).
    std::map<std::string, std::int32_t, std::less<>> keys;
  };
  class Change;

  Slot* slotOf(int handle);
  int freeSlot() const;
  static Header ReadHeader(const std::string& index);
  static void WriteHeader(std::string& index, const Header& header);
  static Node ReadNode(const std::string& index, std::int32_t offset);
  static void WriteNode(std::string& index, std::int32_t offset, const Node& node);
  static std::string_view KeyOf(const Node& node);
  static bool IsFree(const Node& node);
  static bool Check(const Header& header, const Files& files);
  // The node whose key equals `key`, or kNoNode.
  static std::int32_t FindExact(const Slot& slot, std::string_view key);
  // The node at `position` when it is a node in use, or kNoNode.
  static std::int32_t NodeAt(const Header& header, const Files& files, std::int32_t position);
  // Locates the node of a request: by key, or by position for an empty key.
  static std::int32_t Locate(const Slot& slot, std::string_view key, std::int32_t position);
  static std::string RecordAt(const Header& header, const Files& files, std::int32_t position);
  // Writes both files whole; false when they cannot be written.
  bool Commit(Slot& slot, Header header, Files files);
  // Writes a change's pieces; false when they cannot be written.
  bool Commit(Slot& slot, Change& change);
  static Stamp StampOf(const std::string& path);
  // Reads the pair into a slot; 0, 601 or 604.
  static std::int16_t Load(Slot& slot);
  static void IndexKeys(Slot& slot);

  std::string directory_;
  std::array<Slot, kRecordSlots> slots_{};
};

}  // namespace tarvik::store
