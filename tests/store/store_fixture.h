#pragma once
// A scratch LOGPATH per test and byte helpers for the record files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarvik::store::testing {

class LogDir : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tvk_store_") + std::to_string(::getpid()) + "_" +
                       info->test_suite_name() + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string prefix() const { return dir.string() + "/"; }
  std::string read(const std::string& file) const {
    std::ifstream in(dir / file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void write(const std::string& file, const std::string& bytes) const {
    std::ofstream(dir / file, std::ios::binary) << bytes;
  }
  // Names of the files in the directory (to see stray temporary files).
  std::size_t fileCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
  }

  std::filesystem::path dir;
};

// Little-endian byte texts for expected file contents.
inline std::string I32(std::int32_t v) {
  std::string b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xff);
  return b;
}
inline std::string I16(std::int16_t v) {
  std::string b(2, '\0');
  b[0] = static_cast<char>(static_cast<std::uint16_t>(v) & 0xff);
  b[1] = static_cast<char>(static_cast<std::uint16_t>(v) >> 8);
  return b;
}
inline std::string Key12(const std::string& key) {
  std::string b = key;
  b.resize(12, '\0');
  return b;
}
inline std::string Node(std::int32_t next, std::int32_t previous, const std::string& key) {
  return I32(next) + I32(previous) + Key12(key);
}
inline std::string Header(std::int32_t freeHead, std::int32_t nextNode, std::int32_t first, std::int32_t last,
                          std::int16_t size, std::int16_t unique) {
  return I32(freeHead) + I32(nextNode) + I32(first) + I32(last) + I16(size) + I16(unique);
}

}  // namespace tarvik::store::testing
