// The command line run as a user runs it: the real program, real files, its output and status.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_runs.h"
#include "engine/display_text.h"
#include "harness/run_program.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "support/test_files.h"
#include "support/test_system.h"

TEST(CommandLine, RunsTheConversionAndPrintsTheConsoleText) {
  TempDir dir;
  fs::create_directories(dir / "old");
  fs::create_directories(dir / "new");
  writeFile(dir / "W800.bin", ImageBuilder(4096).pair(1, 0x77, 0x0102).bytes());
  writeFile(dir / "W810.bin", ImageBuilder(5000).pair(2, 0x77, 0x0A0B).bytes());
  writeFile(dir / "old" / "0102.png", "png");
  const std::vector<std::wstring> arguments = {
      L"--original-firmware",           wide(dir / "W800.bin"), L"--new-firmware",
      wide(dir / "W810.bin"),           L"--original-gfx",      wide(dir / "old"),
      L"--new-gfx=" + wide(dir / "new")};
  const ProgramResult first = runCli(arguments);
  EXPECT_EQ(first.exitCode, 0) << first.errors;
  EXPECT_EQ(first.output, lines({"files loaded successfully", "source fw size: 00001000", "source fw size: 00002000",
                                 "0102 -> 0A0B copied successfully"}));
  EXPECT_EQ(readFile(dir / "new" / "0A0B.png"), readFile(dir / "old" / "0102.png"));
  const ProgramResult second = runCli(arguments);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_NE(second.output.find("0102 -> 0A0B duplicate"), std::string::npos) << second.output;
}

TEST(CommandLine, FailedRunExitsWithOne) {
  TempDir dir;
  const ProgramResult result = runCli(runArguments(dir / "none.bin", dir / "none2.bin", dir.path(), dir.path()));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, lines({"original firmware file not found.."}));
}

TEST(CommandLine, UsageErrorsExitWithTwoAndExplainOnStandardError) {
  const std::vector<std::vector<std::wstring>> cases = {
      {},
      {L"--original-firmware", L"a", L"--new-firmware", L"b", L"--original-gfx", L"c"},
      {L"--frobnicate"},
      {L"--new-gfx"},
      {L"--new-gfx", L"a", L"--new-gfx", L"b"},
      // An empty folder text would name the root folder.
      {L"--original-firmware", L"a", L"--new-firmware", L"b", L"--original-gfx", L"", L"--new-gfx", L"d"},
      {L"--original-firmware", L"a", L"--new-firmware", L"b", L"--original-gfx", L"c", L"--new-gfx="},
  };
  for (const auto& arguments : cases) {
    const ProgramResult result = runCli(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find("usage: glyphwarden-cli"), std::string::npos) << result.errors;
  }
}

TEST(CommandLine, HelpAndVersionSucceed) {
  const ProgramResult help = runCli({L"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--original-firmware FILE"), std::string::npos);
  // -h everywhere, and /? where Windows programs take it.
  for (const wchar_t* asked : {L"-h", L"/?"}) {
    const ProgramResult again = runCli({asked});
    const bool taken = asked[0] == L'-' || platform::SLASH_QUESTION_IS_HELP;
    EXPECT_EQ(again.exitCode, taken ? 0 : 2);
    EXPECT_EQ(again.output, taken ? help.output : "");
  }
  const ProgramResult version = runCli({L"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output, std::string("glyphwarden-cli " PROJECT_VERSION) + OUTPUT_LINE_END);
}

TEST(CommandLine, NonAsciiNamesPrintAndCopy) {
  TempDir dir;
  const fs::path old = dir.path() / fs::path(u8"gr\u00e4fik \U0001F600");
  fs::create_directories(old);
  fs::create_directories(dir / "new");
  writeFile(dir / "W800.bin", ImageBuilder(4096).pair(1, 0x78, 0x0001).bytes());
  writeFile(dir / "W810.bin", ImageBuilder(4096).pair(1, 0x78, 0x0002).bytes());
  writeFile(old / fs::path(u8"1 \u4e2d.png"), "png");
  const ProgramResult result = runCli(runArguments(dir / "W800.bin", dir / "W810.bin", old, dir / "new"));
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0002 copied successfully"), std::string::npos) << result.output;
  EXPECT_EQ(readFile(dir / "new" / "0002.png"), readFile(old / fs::path(u8"1 \u4e2d.png")));
}

TEST(CommandLine, DryRunPrintsWhatTheRunWouldAndChangesNothing) {
  MixedPack pack;
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  const std::vector<std::string> before = treeListing(pack.dir.path());

  const ProgramResult dry = runCli(pack.with({L"--dry-run"}));
  EXPECT_EQ(dry.exitCode, 0) << dry.errors;
  EXPECT_EQ(dry.errors, "");
  EXPECT_EQ(treeListing(pack.dir.path()), before);
  snapshot.expectUnchanged();
  EXPECT_NE(dry.output.find(std::string("0101 -> 0201 would copy") + OUTPUT_LINE_END), std::string::npos) << dry.output;
  EXPECT_NE(dry.output.find(std::string("0102 -> 0202 duplicate") + OUTPUT_LINE_END), std::string::npos) << dry.output;
  // 0103 and 0104 both go to 0203: whichever the walk meets second is a duplicate.
  EXPECT_EQ(occurrences(dry.output, "-> 0203 would copy"), 1u) << dry.output;
  EXPECT_EQ(occurrences(dry.output, "-> 0203 duplicate"), 1u) << dry.output;
  EXPECT_EQ(dry.output.find("copied successfully"), std::string::npos);

  // The real run prints the same lines, with copies where the dry run said it would copy.
  const ProgramResult real = runCli(pack.arguments);
  EXPECT_EQ(real.exitCode, 0) << real.errors;
  EXPECT_EQ(real.output, replaceAll(dry.output, " would copy", " copied successfully"));
  EXPECT_EQ(fileNames(pack.dir / "new"), (std::vector<std::string>{"0201.png", "0202.png", "0203.png"}));

  // After it, a dry run knows every destination exists.
  const ProgramResult again = runCli(pack.with({L"--dry-run"}));
  EXPECT_EQ(again.output, replaceAll(real.output, " copied successfully", " duplicate"));
}

// A user's mistake: one line on standard error naming the file and why, beside the console's
// own lines; a new folder that cannot take copies is refused before anything is done.
TEST(CommandLine, EveryMistakeSaysWhyInOneLineThatNamesTheFile) {
  MixedPack pack;
  writeFile(pack.dir / "a file", "not a folder");
  writeFile(pack.dir / "empty.bin", "");
  fs::create_directories(pack.dir / "no pngs");
  const fs::path& d = pack.dir.path();
  const auto shown = [](const fs::path& path) { return platform::toUtf8(displayText(wide(path))); };
  struct Case {
    const char* what;
    fs::path originalFirmware, newFirmware, originalGfx, newGfx;
    int exitCode;
    std::string said;
  };
  std::vector<Case> cases = {
      {"no new folder", d / "W800.bin", d / "W810.bin", d / "old", d / "missing", 2,
       "the new graphics folder " + shown(d / "missing") + " is not there; nothing was done"},
      {"a file as new folder", d / "W800.bin", d / "W810.bin", d / "old", d / "a file", 2,
       "the new graphics folder " + shown(d / "a file") + " is not a folder; nothing was done"},
      {"no original folder", d / "W800.bin", d / "W810.bin", d / "missing", d / "new", 1,
       "cannot read the original graphics folder " + shown(d / "missing") + ": "},
      {"no PNG in the original folder", d / "W800.bin", d / "W810.bin", d / "no pngs", d / "new", 1,
       "cannot read the original graphics folder " + shown(d / "no pngs") + ": nothing in it is named *.png"},
      {"a folder as original firmware", d / "old", d / "W810.bin", d / "old", d / "new", 1,
       "cannot open the original firmware " + shown(d / "old") + ": a folder"},
      {"the same image twice", d / "W800.bin", d / "." / "W800.bin", d / "old", d / "new", 1,
       "cannot open the new firmware " + shown(d / "." / "W800.bin") +
           ": it is the same file as the original firmware"},
      {"an empty new firmware", d / "W800.bin", d / "empty.bin", d / "old", d / "new", 1,
       "cannot open the new firmware " + shown(d / "empty.bin") + ": the file is empty"},
  };
  // A folder whose status the system cannot give is refused for the system's reason.
  TempDir elsewhere;  // kept out of the snapshot, which would follow the loop
  if (makeLinkLoop(elsewhere / "loop"))
    cases.push_back({"a new folder that cannot be checked", d / "W800.bin", d / "W810.bin", d / "old",
                     elsewhere / "loop", 2,
                     "cannot check the new graphics folder " + shown(elsewhere / "loop") +
                         ": too many levels of symbolic links (errno 40); nothing was done"});
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramResult result = runCli(runArguments(c.originalFirmware, c.newFirmware, c.originalGfx, c.newGfx));
    EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
    EXPECT_EQ(occurrences(result.errors, "glyphwarden-cli: " + c.said), 1u) << result.errors;
    EXPECT_EQ(occurrences(result.errors, OUTPUT_LINE_END), 1u) << result.errors;
  }
  snapshot.expectUnchanged();

  // Duplicates alone are no failure.
  ASSERT_EQ(runCli(pack.arguments).exitCode, 0);
  const ProgramResult again = runCli(pack.arguments);
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_EQ(occurrences(again.output, "duplicate"), 4u) << again.output;
}
