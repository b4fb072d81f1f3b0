// The command line's copies held half-written by a stopped process: then ended by a signal,
// their source changed, or their folder swapped for a link. Nothing half-written is ever left
// under a PNG's name, and nothing changed is reported copied. POSIX only.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/attack_support.h"

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
    // The copy is ended, or, made by another thread before the process took the signal (as
    // under valgrind, which delivers signals late), whole.
    std::vector<std::string> left = fileNames(pack.at.newGfx);
    if (left.size() == 2 && left[0] == "0A01.png" && fs::file_size(pack.at.newGfx / "0A01.png") == LARGE_PNG)
      left.erase(left.begin());
    EXPECT_EQ(left, std::vector<std::string>{"keep.png"}) << "no temporary file, no partial PNG";
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
