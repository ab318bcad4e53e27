#pragma once
// The information bytes of a frame, held inside the frame record.
//
// Every received frame is decoded into a fresh record; keeping its bytes in
// the record itself spares an allocation and a free per frame. The room is
// that of the largest frame a port carries, so every information field that
// could be sent or received fits. Only the used bytes are copied.
//
// An assignment longer than the room keeps nothing and marks the field as
// overlong; such a frame can not be encoded (the encoder refuses it), as no
// port could carry it.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace tarvik::ax25 {

class InfoBytes {
 public:
  static constexpr std::size_t kCapacity = 618;

  using value_type = std::uint8_t;
  using const_iterator = const std::uint8_t*;
  using iterator = const std::uint8_t*;

  // The room is left as it is: only the used bytes are ever read.
  InfoBytes() noexcept {}  // NOLINT: no member initialisers on purpose
  InfoBytes(std::span<const std::uint8_t> bytes) noexcept { assign(bytes); }  // NOLINT: bytes
  InfoBytes(const std::vector<std::uint8_t>& bytes) noexcept  // NOLINT: bytes
      : InfoBytes(std::span<const std::uint8_t>(bytes)) {}
  InfoBytes(const InfoBytes& other) noexcept { *this = other; }
  InfoBytes& operator=(const InfoBytes& other) noexcept {
    if (this != &other) {
      size_ = other.size_;
      overlong_ = other.overlong_;
      if (size_ > 0) std::memcpy(bytes_.data(), other.bytes_.data(), size_);
    }
    return *this;
  }
  InfoBytes& operator=(std::span<const std::uint8_t> bytes) noexcept {
    assign(bytes);
    return *this;
  }
  InfoBytes& operator=(const std::vector<std::uint8_t>& bytes) noexcept {
    assign(std::span<const std::uint8_t>(bytes));
    return *this;
  }

  void assign(std::span<const std::uint8_t> bytes) noexcept {
    overlong_ = bytes.size() > kCapacity;
    size_ = overlong_ ? 0 : bytes.size();
    if (size_ > 0) std::memcpy(bytes_.data(), bytes.data(), size_);
  }
  template <typename It>
  void assign(It first, It last) noexcept {
    assign(std::span<const std::uint8_t>(first, last));
  }
  void clear() noexcept {
    size_ = 0;
    overlong_ = false;
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  // More bytes were given than any frame can carry; none are kept.
  bool overlong() const noexcept { return overlong_; }
  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  const std::uint8_t* begin() const noexcept { return bytes_.data(); }
  const std::uint8_t* end() const noexcept { return bytes_.data() + size_; }
  std::uint8_t operator[](std::size_t i) const noexcept { return bytes_[i]; }
  operator std::span<const std::uint8_t>() const noexcept { return {bytes_.data(), size_}; }  // NOLINT

  friend bool operator==(const InfoBytes& a, const InfoBytes& b) noexcept {
    return a.overlong_ == b.overlong_ && std::equal(a.begin(), a.end(), b.begin(), b.end());
  }
  friend bool operator==(const InfoBytes& a, const std::vector<std::uint8_t>& b) noexcept {
    return !a.overlong_ && std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  std::size_t size_ = 0;
  bool overlong_ = false;
  std::array<std::uint8_t, kCapacity> bytes_;
};

}  // namespace tarvik::ax25
