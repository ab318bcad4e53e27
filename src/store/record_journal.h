#pragma once
// The change journal of an indexed record file pair.
//
// A change to the pair touches a few small pieces (a record, two or three
// index nodes, the header). They are first written, with the new sizes of
// both files and a checksum, to the journal "<index path>.JNL" and made
// durable; only then are they written into the files in place, which are
// made durable in turn, and the journal is removed. A crash before the
// journal is whole leaves the old pair (the torn journal is thrown away); a
// crash after it leaves a journal that the next opening plays into the
// files, giving the new pair. A change costs what it touches, not the size
// of the files.

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::store {

struct JournalPiece {
  bool index = false;  // the index file, else the data file
  std::uint64_t at = 0;
  std::string bytes;
};

struct Journal {
  std::vector<JournalPiece> pieces;
  std::uint64_t indexSize = 0;  // the sizes of both files after the change
  std::uint64_t dataSize = 0;

  // Writes the pieces over `index` and `data` (grown or cut to the sizes).
  void ApplyTo(std::string& index, std::string& data) const;
};

// The journal's bytes, and the journal read back from untrusted bytes
// (nothing when they are torn, damaged or do not fit `limit`).
std::string EncodeJournal(const Journal& journal);
bool DecodeJournal(const std::string& bytes, std::uint64_t limit, Journal& journal);

// Carries a change out: the journal is made durable, then the files are
// written in place and made durable, then the journal is removed. False
// when something could not be written: before the journal was whole
// nothing changed (files that cannot be opened for writing are found
// first); after it, the journal stays and RecoverJournal finishes the
// change.
bool CommitJournal(const std::string& indexPath, const std::string& dataPath, const Journal& journal);

// Before the pair is read: plays a whole journal into the files and
// removes it, or removes a torn one. False when a whole journal could not
// be played (the files are then not to be used).
bool RecoverJournal(const std::string& indexPath, const std::string& dataPath, std::uint64_t limit);

std::string JournalPath(const std::string& indexPath);
// Whether a journal waits to be played.
bool JournalPending(const std::string& indexPath);

}  // namespace tarvik::store
