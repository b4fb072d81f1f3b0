// Real temporary files for tests: folders, generated firmware images, console capture, and a
// check that a run left pre-existing files untouched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "harness/system.h"
#include "support/test_system.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& path, const Bytes& bytes);
void writeFile(const fs::path& path, const std::string& text);
Bytes readFile(const fs::path& path);

// The four places of a run in a fresh folder: both graphics folders made, the firmware files
// left for the test to write.
struct RunFolders {
  RunFolders();
  TempDir dir;
  fs::path originalGfx = dir / "original gfx";
  fs::path newGfx = dir / "new gfx";
  fs::path originalFirmware = dir / "W800.bin";
  fs::path newFirmware = dir / "W810.bin";
};

// The four options of a command-line run, each followed by its path.
std::vector<std::wstring> runArguments(const fs::path& originalFirmware, const fs::path& newFirmware,
                                       const fs::path& originalGfx, const fs::path& newGfx);

// A firmware image of a given length, zero-filled, with pairs written at chosen indices.
class ImageBuilder {
 public:
  explicit ImageBuilder(std::size_t length) : bytes_(length, 0) {}
  ImageBuilder& pair(std::size_t k, std::uint32_t anchor, std::uint32_t gfxId);
  ImageBuilder& fill(std::uint8_t value);
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Every text appended while it lives, in order.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  const std::wstring& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  static bool collect(void* context, const wchar_t* text);
  std::wstring text_;
};

// The contents of every file under some roots, to prove later that none changed.
class FileSnapshot {
 public:
  void add(const fs::path& fileOrFolder);
  // Adds a failure for each recorded file that is missing or differs now.
  void expectUnchanged() const;

 private:
  std::map<fs::path, Bytes> files_;
};

std::vector<std::string> fileNames(const fs::path& folder);
