#include "store/record_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tarvik::store {

namespace {

constexpr char kMagic[4] = {'T', 'V', 'K', 'J'};

void Put(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

bool Get(const std::string& in, std::size_t& at, std::uint64_t& v, int bytes) {
  if (at > in.size() || in.size() - at < static_cast<std::size_t>(bytes)) return false;
  v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
  at += static_cast<std::size_t>(bytes);
  return true;
}

std::uint32_t Checksum(const char* data, std::size_t size) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 16777619u;
  }
  return h;
}

bool WriteAll(int fd, const char* data, std::size_t size, off_t at) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, data, size, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    at += n;
  }
  return true;
}

// A descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool SyncDirectoryOf(const std::string& path) {
  const std::string dir = std::filesystem::path(path).parent_path().string();
  Fd d(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d.ok() && ::fsync(d.get()) == 0;
}

// Writes the pieces of one file in place and cuts or grows it to its size.
bool WriteInPlace(int fd, const Journal& journal, bool index) {
  for (const JournalPiece& p : journal.pieces)
    if (p.index == index && !WriteAll(fd, p.bytes.data(), p.bytes.size(), static_cast<off_t>(p.at)))
      return false;
  const std::uint64_t size = index ? journal.indexSize : journal.dataSize;
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
}

// Both files open for writing, or nothing.
struct PairFds {
  PairFds(const std::string& indexPath, const std::string& dataPath)
      : index(::open(indexPath.c_str(), O_WRONLY | O_CLOEXEC)), data(::open(dataPath.c_str(), O_WRONLY | O_CLOEXEC)) {}
  bool ok() const { return index.ok() && data.ok(); }
  // The data first: the index never reaches a record the data file lacks.
  bool Play(const Journal& journal) const {
    return WriteInPlace(data.get(), journal, false) && WriteInPlace(index.get(), journal, true);
  }
  Fd index, data;
};

}  // namespace

std::string JournalPath(const std::string& indexPath) { return indexPath + ".JNL"; }

void Journal::ApplyTo(std::string& index, std::string& data) const {
  index.resize(static_cast<std::size_t>(indexSize), '\0');
  data.resize(static_cast<std::size_t>(dataSize), '\0');
  for (const JournalPiece& p : pieces) {
    std::string& file = p.index ? index : data;
    const auto at = static_cast<std::size_t>(p.at);
    if (at >= file.size()) continue;
    file.replace(at, std::min(p.bytes.size(), file.size() - at), p.bytes, 0,
                 std::min(p.bytes.size(), file.size() - at));
  }
}

std::string EncodeJournal(const Journal& journal) {
  std::string out(kMagic, sizeof kMagic);
  Put(out, journal.indexSize, 8);
  Put(out, journal.dataSize, 8);
  Put(out, journal.pieces.size(), 4);
  for (const JournalPiece& p : journal.pieces) {
    out.push_back(p.index ? 'I' : 'D');
    Put(out, p.at, 8);
    Put(out, p.bytes.size(), 4);
    out += p.bytes;
  }
  Put(out, Checksum(out.data(), out.size()), 4);
  return out;
}

bool DecodeJournal(const std::string& in, std::uint64_t limit, Journal& journal) {
  if (in.size() < sizeof kMagic + 4 || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) return false;
  std::size_t end = in.size() - 4;
  std::size_t at = end;
  std::uint64_t sum = 0;
  if (!Get(in, at, sum, 4) || sum != Checksum(in.data(), end)) return false;
  const std::string body = in.substr(0, end);
  at = sizeof kMagic;
  std::uint64_t count = 0;
  Journal j;
  if (!Get(body, at, j.indexSize, 8) || !Get(body, at, j.dataSize, 8) || !Get(body, at, count, 4)) return false;
  if (j.indexSize > limit || j.dataSize > limit) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (at >= body.size()) return false;
    const char which = body[at++];
    if (which != 'I' && which != 'D') return false;
    JournalPiece p;
    p.index = which == 'I';
    std::uint64_t length = 0;
    if (!Get(body, at, p.at, 8) || !Get(body, at, length, 4)) return false;
    if (length > body.size() - at || p.at > limit || p.at + length > (p.index ? j.indexSize : j.dataSize))
      return false;
    p.bytes = body.substr(at, static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length);
    j.pieces.push_back(std::move(p));
  }
  if (at != body.size()) return false;
  journal = std::move(j);
  return true;
}

bool CommitJournal(const std::string& indexPath, const std::string& dataPath, const Journal& journal) {
  // Files that cannot be written are found before anything is: the change
  // then fails whole.
  const PairFds files(indexPath, dataPath);
  if (!files.ok()) return false;
  const std::string path = JournalPath(indexPath);
  const std::string bytes = EncodeJournal(journal);
  {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.ok() || !WriteAll(fd.get(), bytes.data(), bytes.size(), 0) || ::fsync(fd.get()) != 0) {
      ::unlink(path.c_str());
      return false;
    }
  }
  // From here on the change is made: a failure leaves the journal, which
  // the next opening plays.
  if (!SyncDirectoryOf(path) || !files.Play(journal)) return false;
  ::unlink(path.c_str());
  return true;
}

bool JournalPending(const std::string& indexPath) {
  struct stat st {};
  return ::stat(JournalPath(indexPath).c_str(), &st) == 0;
}

bool RecoverJournal(const std::string& indexPath, const std::string& dataPath, std::uint64_t limit) {
  const std::string path = JournalPath(indexPath);
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::string bytes;
  char buffer[8192];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > limit) break;
  }
  in.close();
  Journal journal;
  if (DecodeJournal(bytes, limit, journal)) {
    const PairFds files(indexPath, dataPath);
    if (!files.ok() || !files.Play(journal)) return false;
  }
  ::unlink(path.c_str());
  return true;
}

}  // namespace tarvik::store
