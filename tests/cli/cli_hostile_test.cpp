// The command line under hostile and unlucky use that only a POSIX system lets a test arrange:
// an image shortened while it is read, interrupts in the middle of a copy, a full output
// device, device nodes as report paths, names made to forge report lines, narrow permissions.
// Every test also proves that no firmware image and no pre-existing file changed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include "harness/run_program.h"
#include "support/test_files.h"

namespace {

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

ProgramResult runCli(const std::vector<std::wstring>& arguments, const ChildLimits& limits = {}) {
  return runProgram(siblingProgram(L"glyphwarden-cli"), arguments, limits);
}

template <class Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit = 60s) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

void makeLarge(const fs::path& file) {
  { std::ofstream(file, std::ios::binary | std::ios::trunc); }
  fs::resize_file(file, 256u << 20);
}

// The size of the file the process is writing in folder (named or not yet), or -1.
long long copyBeingWritten(int pid, const fs::path& folder) {
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

bool stopped(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end = text.rfind(')');
  return end != std::string::npos && text.compare(end, 4, ") T ") == 0;
}

// Stops the run in the middle of its copy into folder: true when it stands stopped with part of
// a copy of sourceSize bytes written.
bool stopMidCopy(int pid, const fs::path& folder, std::uintmax_t sourceSize) {
  if (!waitFor([&] { return copyBeingWritten(pid, folder) > 0; })) return false;
  kill(pid, SIGSTOP);
  if (!waitFor([&] { return stopped(pid); })) return false;
  const long long written = copyBeingWritten(pid, folder);
  return written > 0 && static_cast<std::uintmax_t>(written) < sourceSize;
}

bool mapsFile(int pid, const fs::path& file) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  const std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  return text.find(file.string()) != std::string::npos;
}

// A pipe whose buffer is full: a child given its write end as standard output waits at its
// first write until the read end is drained. Returns how many bytes stand in it.
std::size_t fillPipe(int ends[2]) {
  EXPECT_EQ(pipe(ends), 0);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, '.');
  std::size_t filled = 0;
  while (write(ends[1], block.data(), block.size()) > 0) filled += block.size();
  fcntl(ends[1], F_SETFL, 0);
  return filled;
}

std::string drainPipe(int readEnd) {
  std::string printed;
  char buffer[4096];
  ssize_t got;
  while ((got = read(readEnd, buffer, sizeof buffer)) > 0) printed.append(buffer, static_cast<std::size_t>(got));
  return printed;
}

// Whether the process waits in a write to its standard output (x86-64 and i386 number write 1
// and 4).
bool writingToOutput(int pid) {
  std::ifstream call("/proc/" + std::to_string(pid) + "/syscall");
  std::string number, fd;
  call >> number >> fd;
  return (number == "1" || number == "4") && fd == "0x1";
}

}  // namespace

// The run is held at its first line of output (standard output is a full pipe) with both
// images mapped; the test then shortens or removes one, and lets the run go on. A large image
// is read in two halves on two threads, which fault on it together.
TEST(CommandLineUnderAttack, ImageShortenedOrRemovedWhileMappedEndsTheRunWithALine) {
  constexpr std::size_t LARGE_IMAGE = 32u << 20;
  const struct {
    const char* what;
    bool original;
    void (*change)(const fs::path&);
    const char* line;
    std::size_t originalSize = 3 * 4096;
    int tries = 1;
  } cases[] = {
      {"large original emptied", true, [](const fs::path& p) { ASSERT_EQ(truncate(p.c_str(), 0), 0); },
       "original firmware file changed during the run.\n", LARGE_IMAGE, 10},
      {"large original halved", true, [](const fs::path& p) { ASSERT_EQ(truncate(p.c_str(), LARGE_IMAGE / 2), 0); },
       "original firmware file changed during the run.\n", LARGE_IMAGE, 10},
      {"original shortened", true, [](const fs::path& p) { ASSERT_EQ(truncate(p.c_str(), 0), 0); },
       "original firmware file changed during the run.\n"},
      {"new shortened", false, [](const fs::path& p) { ASSERT_EQ(truncate(p.c_str(), 100), 0); },
       "new firmware file changed during the run.\n"},
      {"original removed", true, [](const fs::path& p) { fs::remove(p); },
       "original firmware file changed during the run.\n"},
      {"new rewritten in place, modification time put back", false,
       [](const fs::path& p) {
         struct stat before;
         ASSERT_EQ(stat(p.c_str(), &before), 0);
         const int fd = open(p.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(fd, "changed!", 8, 0), 8);
         close(fd);
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
       },
       "new firmware file changed during the run.\n"},
      {"original renamed over, still reachable through another link", true,
       [](const fs::path& p) {
         fs::create_hard_link(p, p.string() + ".kept");
         writeFile(p.string() + ".new", readFile(p));
         fs::rename(p.string() + ".new", p);
       },
       "original firmware file changed during the run.\n"},
  };
  for (const auto& c : cases)
    for (int attempt = 0; attempt < c.tries; ++attempt) {
      SCOPED_TRACE(c.what + (" #" + std::to_string(attempt)));
      Pack pack(c.originalSize);
      const fs::path changed = c.original ? pack.at.originalFirmware : pack.at.newFirmware;
      const fs::path other = c.original ? pack.at.newFirmware : pack.at.originalFirmware;
      const Bytes otherBefore = readFile(other);

      int output[2];
      const std::size_t filled = fillPipe(output);  // the run's first write now waits

      std::string printed;
      ChildLimits limits;
      limits.standardOutput = output[1];
      limits.whileRunning = [&](int pid) {
        close(output[1]);
        EXPECT_TRUE(waitFor([&] {
          return mapsFile(pid, pack.at.originalFirmware) && mapsFile(pid, pack.at.newFirmware);
        })) << "the run never mapped both images";
        c.change(changed);
        printed = drainPipe(output[0]);
      };
      const ProgramResult result = runCli(pack.arguments(), limits);
      close(output[0]);
      ASSERT_GE(printed.size(), filled);
      printed.erase(0, filled);

      EXPECT_EQ(result.exitCode, 1) << "no crash, and the failure is the run's: " << result.errors;
      EXPECT_NE(printed.find("files loaded successfully\n"), std::string::npos) << printed;
      EXPECT_NE(printed.find(c.line), std::string::npos) << printed;
      EXPECT_TRUE(fileNames(pack.at.newGfx).empty()) << "nothing is copied from an image that changed";
      EXPECT_EQ(readFile(other), otherBefore);
    }
}

// A copy of a large (sparse, so cheap) 0001.png is held half-written: the run is stopped once
// the copy into the new graphics folder has bytes but not all of them. Then something happens
// to it, and the run goes on.
constexpr std::uintmax_t LARGE_PNG = 256u << 20;

TEST(CommandLineUnderAttack, CopyEndedBySignalLeavesNothingAndEndsWithTheSignalsStatus) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    Pack pack;
    makeLarge(pack.at.originalGfx / "0001.png");
    writeFile(pack.at.newGfx / "keep.png", "kept");
    // Not the large picture: its size is checked instead of reading it twice.
    for (const fs::path& file : {pack.at.originalFirmware, pack.at.newFirmware, pack.at.newGfx / "keep.png"})
      pack.snapshot.add(file);

    ChildLimits limits;
    bool held = false;
    limits.whileRunning = [&](int pid) {
      held = stopMidCopy(pid, pack.at.newGfx, LARGE_PNG);
      kill(pid, signal);
      kill(pid, SIGCONT);
    };
    const ProgramResult result = runCli(pack.arguments(), limits);
    ASSERT_TRUE(held) << "the copy was never seen half-written";
    EXPECT_EQ(result.exitCode, 128 + signal) << result.errors;
    EXPECT_EQ(fileNames(pack.at.newGfx), std::vector<std::string>{"keep.png"}) << "no temporary file, no partial PNG";
    EXPECT_EQ(fs::file_size(pack.at.originalGfx / "0001.png"), LARGE_PNG);
    pack.snapshot.expectUnchanged();
  }
}

TEST(CommandLineUnderAttack, SourceChangedDuringItsCopyIsNeverReportedCopied) {
  const struct {
    const char* what;
    void (*change)(const fs::path&);
  } cases[] = {
      {"shortened", [](const fs::path& p) { ASSERT_EQ(truncate(p.c_str(), 100), 0); }},
      {"rewritten in place, modification time put back",
       [](const fs::path& p) {
         struct stat before;
         ASSERT_EQ(stat(p.c_str(), &before), 0);
         const int fd = open(p.c_str(), O_WRONLY);
         ASSERT_EQ(pwrite(fd, "changed", 7, static_cast<off_t>(LARGE_PNG - 7)), 7);
         close(fd);
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
       }},
      {"renamed over",
       [](const fs::path& p) {
         writeFile(p.string() + ".new", "another picture");
         fs::rename(p.string() + ".new", p);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Pack pack;
    const fs::path source = pack.at.originalGfx / "0001.png";
    makeLarge(source);
    ChildLimits limits;
    bool held = false;
    limits.whileRunning = [&](int pid) {
      held = stopMidCopy(pid, pack.at.newGfx, LARGE_PNG);
      c.change(source);
      kill(pid, SIGCONT);
    };
    const ProgramResult result = runCli(pack.arguments({L"--report"}), limits);
    ASSERT_TRUE(held) << "the copy was never seen half-written";
    EXPECT_EQ(result.exitCode, 1) << result.errors;
    EXPECT_NE(result.output.find("0001 -> 0A01 copy failed.\n"), std::string::npos) << result.output;
    EXPECT_NE(result.errors.find(
                  "  0001.png 0001 -> 0A01: copy failed: the source changed while it was copied (checking that "
                  "the source was unchanged)\n"),
              std::string::npos)
        << result.errors;
    EXPECT_TRUE(fileNames(pack.at.newGfx).empty()) << "the copy is discarded";
  }
}

// The new graphics folder is renamed, and its name given to a link to another folder, while a
// copy into it is held half-written: the copy still lands in the folder the run began with.
TEST(CommandLineUnderAttack, NewFolderSwappedForALinkDuringACopyKeepsTheCopyInIt) {
  Pack pack;
  makeLarge(pack.at.originalGfx / "0001.png");
  const fs::path moved = pack.at.dir / "moved", elsewhere = pack.at.dir / "elsewhere";
  fs::create_directory(elsewhere);
  ChildLimits limits;
  bool held = false;
  limits.whileRunning = [&](int pid) {
    held = stopMidCopy(pid, pack.at.newGfx, LARGE_PNG);
    fs::rename(pack.at.newGfx, moved);
    fs::create_directory_symlink(elsewhere, pack.at.newGfx);
    kill(pid, SIGCONT);
  };
  const ProgramResult result = runCli(pack.arguments(), limits);
  ASSERT_TRUE(held) << "the copy was never seen half-written";
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0A01 copied successfully\n"), std::string::npos) << result.output;
  EXPECT_EQ(fileNames(moved), std::vector<std::string>{"0A01.png"});
  EXPECT_TRUE(fileNames(elsewhere).empty()) << "nothing went through the link";
  EXPECT_EQ(fs::file_size(moved / "0A01.png"), LARGE_PNG);
}

TEST(CommandLineUnderAttack, OutputThatCannotBeWrittenIsReportedAndFailsTheRun) {
  Pack pack;
  pack.takeSnapshot();
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  ChildLimits limits;
  limits.standardOutput = full;
  const ProgramResult result = runCli(pack.arguments(), limits);
  close(full);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.errors.find("cannot write to standard output"), std::string::npos) << result.errors;
  EXPECT_EQ(readFile(pack.at.newGfx / "0A01.png"), readFile(pack.at.originalGfx / "0001.png"))
      << "the copies are still made";
  pack.snapshot.expectUnchanged();
}

TEST(CommandLineUnderAttack, DeviceNodesAndLinksToFirmwareAreNeverReportPaths) {
  Pack pack;
  fs::create_symlink(pack.at.originalFirmware, pack.at.dir / "link-to-firmware.html");
  pack.takeSnapshot();
  for (const fs::path& target : {fs::path("/dev/null"), pack.at.dir / "link-to-firmware.html"}) {
    SCOPED_TRACE(target);
    struct stat before;
    ASSERT_EQ(lstat(target.c_str(), &before), 0);
    const ProgramResult result = runCli(pack.arguments({L"--html-report", wide(target)}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("--html-report"), std::string::npos) << result.errors;
    struct stat after;
    ASSERT_EQ(lstat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode) << "still the same kind of file";
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(fileNames(pack.at.newGfx).empty());
  }
  pack.snapshot.expectUnchanged();
}

TEST(CommandLineUnderAttack, NamesCannotForgeReportLinesOrDriveTheTerminal) {
  Pack pack;
  writeFile(pack.at.originalGfx / "zz\ncopied:      999\nfailed:      0.png", "x");
  writeFile(pack.at.originalGfx / "\x1b]0;owned\x07\x1b[2J.png", "x");
  pack.takeSnapshot();
  const ProgramResult result = runCli(pack.arguments({L"--dry-run", L"--report"}));
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_EQ(result.errors.find('\x1b'), std::string::npos) << "no escape character reaches the terminal";
  EXPECT_EQ(result.errors.find("\ncopied:      999"), std::string::npos) << result.errors;
  EXPECT_NE(result.errors.find("  zz\\ncopied:      999\\nfailed:      0.png: not a graphic number\n"),
            std::string::npos)
      << result.errors;
  EXPECT_NE(result.errors.find("  \\x1B]0;owned\\x07\\x1B[2J.png: not a graphic number\n"), std::string::npos)
      << result.errors;
  EXPECT_NE(result.errors.find("\nwould copy:  1\n"), std::string::npos) << result.errors;
  pack.snapshot.expectUnchanged();
}

TEST(CommandLineUnderAttack, CopyIsNeverReadableByMoreUsersThanItsSource) {
  const mode_t mask = umask(022);
  for (const mode_t mode : {0640, 0600, 0444}) {
    SCOPED_TRACE(mode);
    Pack pack;
    writeFile(pack.at.dir / "private.png", "secret picture");
    ASSERT_EQ(chmod((pack.at.dir / "private.png").c_str(), mode), 0);
    fs::remove(pack.at.originalGfx / "0001.png");
    fs::create_symlink(pack.at.dir / "private.png", pack.at.originalGfx / "0001.png");
    pack.takeSnapshot();
    const ProgramResult result = runCli(pack.arguments());
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    struct stat copy;
    ASSERT_EQ(stat((pack.at.newGfx / "0A01.png").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 0777, mode & ~mode_t{022});
    EXPECT_EQ(readFile(pack.at.newGfx / "0A01.png"), readFile(pack.at.dir / "private.png"));
    pack.snapshot.expectUnchanged();
  }
  umask(mask);
}

// An undo held after it has checked every file (at its first line, by a full pipe) while a
// second undo of the same record removes them: the first then finds each not there any more,
// and both succeed.
TEST(CommandLineUnderAttack, UndoHeldAfterItsCheckCountsWhatAnotherUndoRemovedAsGone) {
  Pack pack;
  const fs::path record = pack.at.dir / "run.json";
  ASSERT_EQ(runCli(pack.arguments({L"--json", wide(record)})).exitCode, 0);
  int output[2];
  const std::size_t filled = fillPipe(output);
  std::string printed;
  ProgramResult other;
  ChildLimits limits;
  limits.standardOutput = output[1];
  limits.whileRunning = [&](int pid) {
    close(output[1]);
    EXPECT_TRUE(waitFor([&] { return writingToOutput(pid); })) << "the undo never reached its first line";
    other = runCli({L"--undo", wide(record)});
    printed = drainPipe(output[0]);
  };
  const ProgramResult held = runCli({L"--undo", wide(record)}, limits);
  close(output[0]);
  ASSERT_GE(printed.size(), filled);
  printed.erase(0, filled);
  EXPECT_EQ(other.exitCode, 0) << other.output;
  EXPECT_NE(other.output.find("1 removed, 0 kept, 0 not there any more\n"), std::string::npos) << other.output;
  EXPECT_EQ(held.exitCode, 0) << printed;
  EXPECT_NE(printed.find("0A01.png: not there any more\n0 removed, 0 kept, 1 not there any more\n"), std::string::npos)
      << printed;
  EXPECT_TRUE(fileNames(pack.at.newGfx).empty());
}
