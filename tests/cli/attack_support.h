// What the tests of the command line under attack share: a pack with one PNG, and the means
// to hold the real program at a chosen point and watch it through /proc. POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "cli/cli_runs.h"
#include "harness/run_program.h"
#include "support/test_files.h"

using namespace std::chrono_literals;

// A pack whose one PNG, 0001.png, is carried to 0A01.png.
struct Pack {
  RunFolders at;
  FileSnapshot snapshot;
  explicit Pack(std::size_t originalSize = 3 * 4096) {
    writeFile(at.originalFirmware, ImageBuilder(originalSize).pair(1, 0x61, 0x0001).bytes());
    writeFile(at.newFirmware, ImageBuilder(4096).pair(7, 0x61, 0x0A01).bytes());
    writeFile(at.originalGfx / "0001.png", "picture");
  }
  // Call once the pack is complete: everything in it must be the same after the run.
  void takeSnapshot() { snapshot.add(at.dir.path()); }
  std::vector<std::wstring> arguments(std::initializer_list<std::wstring> more = {}) const {
    std::vector<std::wstring> all = runArguments(at.originalFirmware, at.newFirmware, at.originalGfx, at.newGfx);
    all.insert(all.end(), more);
    return all;
  }
};

template <class Condition>
inline bool waitFor(Condition condition, std::chrono::milliseconds limit = 60s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline void makeLarge(const fs::path& file) {
  { std::ofstream(file, std::ios::binary | std::ios::trunc); }
  fs::resize_file(file, 256u << 20);
}

// The size of the file the process is writing in folder (named or not yet), or -1.
inline long long copyBeingWritten(int pid, const fs::path& folder) {
  const std::string prefix = folder.string() + "/";
  std::error_code error;
  fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", error);
  for (; !error && fd != fs::directory_iterator(); fd.increment(error)) {
    const fs::path target = fs::read_symlink(fd->path(), error);
    struct stat st;
    if (!error && target.string().starts_with(prefix) && stat(fd->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
      return st.st_size;
  }
  return -1;
}

inline bool stopped(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end = text.rfind(')');
  return end != std::string::npos && text.compare(end, 4, ") T ") == 0;
}

// Stops the run in the middle of its copy into folder: true when it stands stopped with part of
// a copy of sourceSize bytes written.
inline bool stopMidCopy(int pid, const fs::path& folder, std::uintmax_t sourceSize) {
  if (!waitFor([&] { return copyBeingWritten(pid, folder) > 0; })) return false;
  kill(pid, SIGSTOP);
  if (!waitFor([&] { return stopped(pid); })) return false;
  const long long written = copyBeingWritten(pid, folder);
  return written > 0 && static_cast<std::uintmax_t>(written) < sourceSize;
}

inline bool mapsFile(int pid, const fs::path& file) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  return text.find(file.string()) != std::string::npos;
}

// A pipe whose buffer is full: a child given its write end as standard output waits at its
// first write until the read end is drained. Returns how many bytes stand in it.
inline std::size_t fillPipe(int ends[2]) {
  EXPECT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, '.');
  std::size_t filled = 0;
  while (write(ends[1], block.data(), block.size()) > 0) filled += block.size();
  fcntl(ends[1], F_SETFL, 0);
  return filled;
}

inline std::string drainPipe(int readEnd) {
  std::string printed;
  char buffer[4096];
  ssize_t got;
  while ((got = read(readEnd, buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<std::size_t>(got));
  return printed;
}

// Whether the process waits in a write to its standard output (x86-64 and i386 number write 1
// and 4).
inline bool writingToOutput(int pid) {
  std::ifstream call("/proc/" + std::to_string(pid) + "/syscall");
  std::string number, fd;
  call >> number >> fd;
  return (number == "1" || number == "4") && fd == "0x1";
}
