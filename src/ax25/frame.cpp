#include "ax25/frame.h"

#include <algorithm>
#include <new>

namespace tarvik::ax25 {

std::span<const std::uint8_t> RawFrameBuffer::bytes() const {
  const auto n = static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(kCapacity)));
  return std::span<const std::uint8_t>(data.data(), n);
}

bool RawFrameBuffer::assign(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kCapacity) return false;
  std::copy(bytes.begin(), bytes.end(), data.begin());
  length = static_cast<int>(bytes.size());
  return true;
}

namespace {

// Records freed on this thread, kept for the next ones: a station decodes
// every received frame into a record that lives until the frame has been
// routed, shown and noted, so at most a few are alive at once. The list is
// bounded; beyond it records go back to the heap. Under the address
// sanitizer every record comes from the heap, so a record used after it was
// freed is still caught.
class RecordCache {
 public:
  RecordCache() = default;
  RecordCache(const RecordCache&) = delete;
  RecordCache& operator=(const RecordCache&) = delete;
  ~RecordCache() {
    while (head_ != nullptr) ::operator delete(take());
    count_ = kKept;  // a record freed later on this thread goes to the heap
  }

  void* take() {
    if (head_ == nullptr) return nullptr;
    Node* node = head_;
    head_ = node->next;
    --count_;
    return node;
  }
  bool keep(void* record) {
    if (count_ == kKept) return false;
    head_ = ::new (record) Node{head_};
    ++count_;
    return true;
  }

 private:
  static constexpr int kKept = 64;
  struct Node {
    Node* next;
  };
  Node* head_ = nullptr;
  int count_ = 0;
};

RecordCache& Cache() {
  thread_local RecordCache cache;
  return cache;
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
#define TARVIK_KEEP_RECORDS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVIK_KEEP_RECORDS 0
#endif
#endif
#ifndef TARVIK_KEEP_RECORDS
#define TARVIK_KEEP_RECORDS 1
#endif

void* FrameRecord::operator new(std::size_t size) {
  if (TARVIK_KEEP_RECORDS && size == sizeof(FrameRecord)) {
    if (void* kept = Cache().take()) return kept;
  }
  return ::operator new(size);
}

void FrameRecord::operator delete(void* record, std::size_t size) noexcept {
  if (record == nullptr) return;
  if (TARVIK_KEEP_RECORDS && size == sizeof(FrameRecord) && Cache().keep(record)) return;
  ::operator delete(record);
}

namespace {

bool IsSupervisory(FrameType type) {
  return type == FrameType::RR || type == FrameType::RNR || type == FrameType::REJ ||
         type == FrameType::SIll;
}

bool IsCommand(CrPf crpf) { return crpf == CrPf::Command || crpf == CrPf::CommandPoll; }

bool HasPollFinal(CrPf crpf) { return crpf == CrPf::CommandPoll || crpf == CrPf::ResponseFinal; }

}  // namespace

std::uint8_t ControlByte(FrameType type, CrPf crpf, int nr, int ns) {
  const int r = (nr & 7) << 5;
  int control = 0;
  switch (type) {
    case FrameType::I: control = r | (ns & 7) << 1; break;
    case FrameType::RR: control = r | 0x01; break;
    case FrameType::RNR: control = r | 0x05; break;
    case FrameType::REJ: control = r | 0x09; break;
    case FrameType::SIll: control = r | 0x0D; break;
    case FrameType::SABM: control = 0x2F; break;
    case FrameType::DISC: control = 0x43; break;
    case FrameType::DM: control = 0x0F; break;
    case FrameType::UA: control = 0x63; break;
    case FrameType::FRMR: control = 0x87; break;
    case FrameType::UI: control = 0x03; break;
    case FrameType::UIll: control = 0xEF; break;
    case FrameType::None: control = 0; break;
  }
  if (HasPollFinal(crpf)) control |= kPollFinal;
  return static_cast<std::uint8_t>(control);
}

FrameType TypeOfControl(std::uint8_t control) {
  if ((control & 0x01) == 0) return FrameType::I;
  if ((control & 0x03) == 0x01) {
    switch (control & 0x0C) {
      case 0x00: return FrameType::RR;
      case 0x04: return FrameType::RNR;
      case 0x08: return FrameType::REJ;
      default: return FrameType::SIll;
    }
  }
  // Unnumbered frames: P/F does not change the type.
  switch (control & ~kPollFinal & 0xFF) {
    case 0x03: return FrameType::UI;
    case 0x0F: return FrameType::DM;
    case 0x2F: return FrameType::SABM;
    case 0x43: return FrameType::DISC;
    case 0x63: return FrameType::UA;
    case 0x87: return FrameType::FRMR;
    default: return FrameType::UIll;
  }
}

bool HasPid(std::uint8_t control) {
  return (control & 0x01) == 0 || (control & ~kPollFinal & 0xFF) == 0x03;
}

FrameRecord BuildFrame(int port, int radioChannel, bool keep, const AddressRecord& destination,
                       const AddressRecord& source, const ViaList& via, FrameType type, CrPf crpf,
                       std::uint8_t pid, int nr, int ns, std::span<const std::uint8_t> info) {
  FrameRecord frame;
  frame.port = port;
  frame.radioChannel = radioChannel;
  frame.keep = keep;
  frame.kissCommand = 0;

  // A frame leaves with every digipeater still to do; the end bit marks the
  // last address actually present.
  const std::size_t viaCount = ViaCount(via);
  for (std::size_t i = 0; i < viaCount; ++i) {
    frame.via[i] = via[i];
    frame.via[i].cbit = false;
    frame.via[i].last = (i + 1 == viaCount);
  }
  frame.destination = destination;
  frame.destination.last = false;
  frame.source = source;
  frame.source.last = (viaCount == 0);

  const bool command = IsCommand(crpf);
  frame.destination.cbit = command;
  frame.source.cbit = !command;
  frame.crpf = crpf;

  frame.type = type;
  frame.control = ControlByte(type, crpf, nr, ns);
  if (type == FrameType::I || IsSupervisory(type)) frame.nr = nr & 7;
  if (type == FrameType::I) frame.ns = ns & 7;
  if (type == FrameType::I || type == FrameType::UI) frame.pid = pid;
  frame.info.assign(info.begin(), info.end());
  return frame;
}

}  // namespace tarvik::ax25
