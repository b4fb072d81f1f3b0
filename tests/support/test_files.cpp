#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

#include "console/append_log.h"
#include "platform/utf8.h"

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  // Made new, never taken over: tests in other processes may start at the same clock tick.
  do {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() / ("glyphwarden-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
  } while (!fs::create_directory(path_));
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have made something read-only; give write access back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
  // What std::filesystem cannot reach (MinGW's, past 260 characters) goes through the system.
  if (fs::exists(path_, ignored)) removeFolderTree(wide(path_));
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void writeFile(const fs::path& path, const std::string& text) {
  writeFile(path, Bytes(text.begin(), text.end()));
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ImageBuilder& ImageBuilder::pair(std::size_t k, std::uint32_t anchor, std::uint32_t gfxId) {
  for (int i = 0; i < 4; ++i) {
    bytes_.at(8 * k + i) = static_cast<std::uint8_t>(anchor >> (8 * i));
    bytes_.at(8 * k + 4 + i) = static_cast<std::uint8_t>(gfxId >> (8 * i));
  }
  return *this;
}

ImageBuilder& ImageBuilder::fill(std::uint8_t value) {
  std::fill(bytes_.begin(), bytes_.end(), value);
  return *this;
}

LogCapture::LogCapture() {
  installLogSink(collect, this);
}
LogCapture::~LogCapture() {
  installLogSink(nullptr, nullptr);
}

bool LogCapture::collect(void* context, const wchar_t* text) {
  static_cast<LogCapture*>(context)->text_ += text;
  return true;
}

void FileSnapshot::add(const fs::path& root) {
  if (fs::is_regular_file(root)) {
    files_[root] = readFile(root);
    return;
  }
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored))
    if (it->is_regular_file()) files_[it->path()] = readFile(it->path());
}

void FileSnapshot::expectUnchanged() const {
  for (const auto& [path, bytes] : files_) {
    EXPECT_TRUE(fs::exists(path)) << path << " is gone";
    // Not EXPECT_EQ: the files may be images of many megabytes, too large to print.
    EXPECT_TRUE(readFile(path) == bytes) << path << " changed";
  }
}

RunFolders::RunFolders() {
  fs::create_directory(originalGfx);
  fs::create_directory(newGfx);
}

std::vector<std::wstring> runArguments(const fs::path& originalFirmware, const fs::path& newFirmware,
                                       const fs::path& originalGfx, const fs::path& newGfx) {
  return {L"--original-firmware", wide(originalFirmware), L"--new-firmware", wide(newFirmware),
          L"--original-gfx",      wide(originalGfx),      L"--new-gfx",      wide(newGfx)};
}

std::vector<std::string> fileNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
