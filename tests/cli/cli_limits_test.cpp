// The command line under limits only a POSIX system can set on a child: a new graphics folder
// it may not write, and a file-size limit that makes a copy's writes fail part way.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cli/cli_runs.h"
#include "harness/run_program.h"
#include "support/test_files.h"

namespace {

struct LimitedPack {
  TempDir dir;
  std::vector<std::wstring> arguments;
  LimitedPack() {
    fs::create_directories(dir / "old");
    fs::create_directories(dir / "new");
    writeFile(dir / "W800.bin", ImageBuilder(4096).pair(1, 0x61, 0x0001).pair(2, 0x62, 0x0002).bytes());
    writeFile(dir / "W810.bin", ImageBuilder(4096).pair(1, 0x61, 0x0A01).pair(2, 0x62, 0x0A02).bytes());
    writeFile(dir / "old" / "0001.png", std::string(100, 's'));     // fits under the limit below
    writeFile(dir / "old" / "0002.png", std::string(300000, 'L'));  // does not
    arguments = runArguments(dir / "W800.bin", dir / "W810.bin", dir / "old", dir / "new");
  }
};

// True when a user who is neither the owner nor in the group may pass through every folder
// on the way to path.
bool reachableByOthers(const fs::path& path) {
  for (fs::path folder = path; folder != folder.parent_path(); folder = folder.parent_path()) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || (S_ISDIR(st.st_mode) && !(st.st_mode & S_IXOTH))) return false;
  }
  return true;
}

}  // namespace

TEST(CommandLineLimits, ReadOnlyNewFolderFailsEveryCopyAndChangesNothing) {
  LimitedPack pack;
  // The build may lie in a folder that other users cannot enter: the program runs from a copy.
  TempDir programs;
  const fs::path program = programs / "glyphwarden-cli";
  std::error_code error;
  fs::copy_file(fs::path(siblingProgram(L"glyphwarden-cli")), program, error);
  fs::permissions(programs.path(),
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                      fs::perms::others_exec,
                  error);
  if (error || !reachableByOthers(program) || !reachableByOthers(pack.dir.path()))
    GTEST_SKIP() << "the temporary folder " << pack.dir.path() << " cannot be reached by user nobody";
  writeFile(pack.dir / "new" / "keep.png", "kept");
  ASSERT_EQ(chmod((pack.dir / "new").c_str(), 0555), 0);
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  ChildLimits limits;
  limits.unprivileged = true;  // root writes anywhere; nobody does not
  std::vector<std::wstring> arguments = pack.arguments;
  arguments.push_back(L"--report");
  const ProgramResult result = runProgram(wide(program), arguments, limits);
  EXPECT_EQ(result.exitCode, 1) << "every copy failed: " << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0A01 copy failed.\n"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("0002 -> 0A02 copy failed.\n"), std::string::npos) << result.output;
  EXPECT_NE(
      result.errors.find("  0001.png 0001 -> 0A01: copy failed: permission denied (errno 13) (making the copy)\n"),
      std::string::npos)
      << result.errors;
  EXPECT_EQ(fileNames(pack.dir / "new"), std::vector<std::string>{"keep.png"});
  snapshot.expectUnchanged();
}

TEST(CommandLineLimits, CopyPastTheFileSizeLimitFailsAndLeavesNoPartialPng) {
  LimitedPack pack;
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  ChildLimits limits;
  limits.fileSizeLimit = 65536;  // SIGXFSZ keeps its default action: the program must not die of it
  std::vector<std::wstring> arguments = pack.arguments;
  arguments.push_back(L"--report");
  const ProgramResult result = runCli(arguments, limits);
  EXPECT_EQ(result.exitCode, 1) << "the run must end on its own, saying a copy failed: " << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0A01 copied successfully\n"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("0002 -> 0A02 copy failed.\n"), std::string::npos) << result.output;
  EXPECT_NE(result.errors.find("  0002.png 0002 -> 0A02: copy failed: file too large (errno 27) (making the copy)\n"),
            std::string::npos)
      << result.errors;
  EXPECT_EQ(fileNames(pack.dir / "new"), std::vector<std::string>{"0A01.png"}) << "no partial or temporary file";
  EXPECT_EQ(readFile(pack.dir / "new" / "0A01.png"), readFile(pack.dir / "old" / "0001.png"));
  snapshot.expectUnchanged();
}

TEST(CommandLineLimits, HalfWrittenHtmlReportNeverReplacesAGoodOne) {
  LimitedPack pack;
  TempDir reports;
  const fs::path report = reports / "report.html";
  std::vector<std::wstring> arguments = pack.arguments;
  arguments.insert(arguments.end(), {L"--dry-run", L"--html-report", wide(report)});
  ASSERT_EQ(runCli(arguments).exitCode, 0);
  const Bytes good = readFile(report);
  ASSERT_GT(good.size(), 1000u);

  ChildLimits limits;
  limits.fileSizeLimit = 1000;  // the next report's writes fail part way
  const ProgramResult result = runCli(arguments, limits);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.errors.find("cannot write the HTML report"), std::string::npos) << result.errors;
  EXPECT_EQ(readFile(report), good);
  EXPECT_EQ(fileNames(reports.path()), std::vector<std::string>{"report.html"}) << "no temporary file left";
}
