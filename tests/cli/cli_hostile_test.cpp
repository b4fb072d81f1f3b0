// The command line under hostile and unlucky use that only a POSIX system lets a test arrange:
// an image shortened while it is read, a full output device, device nodes as report paths,
// names made to forge report lines, narrow permissions, two undos at once. Every test also
// proves that no firmware image and no pre-existing file changed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/attack_support.h"

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
  EXPECT_NE(result.errors.find("  \"zz\\ncopied:      999\\nfailed:      0.png\": not a graphic number\n"),
            std::string::npos)
      << result.errors;
  EXPECT_NE(result.errors.find("  \"\\x1B]0;owned\\x07\\x1B[2J.png\": not a graphic number\n"), std::string::npos)
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
