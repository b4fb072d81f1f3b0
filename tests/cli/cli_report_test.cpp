// The command line's reports as a user asks for them: the counts and reasons on standard error,
// the page, and the paths a report may and may not be written to.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_runs.h"
#include "engine/display_text.h"
#include "harness/run_program.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "support/test_files.h"
#include "support/test_system.h"

TEST(CommandLine, ReportCountsAndExplainsOnStandardErrorOnly) {
  MixedPack pack;
  const ProgramResult plain = runCli(pack.with({L"--dry-run"}));
  const ProgramResult reported = runCli(pack.with({L"--dry-run", L"--report"}));
  EXPECT_EQ(reported.exitCode, 0);
  EXPECT_EQ(reported.output, plain.output);
  const std::string& report = reported.errors;
  for (const char* line :
       {"report (dry run, nothing was copied):", "walked:      7", "would copy:  2", "duplicate:   2", "failed:      0",
        "not carried: 3", "  0105.png: no matching anchor in new firmware",
        "  0106.png: number not in original firmware", "  logo.png: not a graphic number"})
    EXPECT_NE(report.find(std::string(line) + OUTPUT_LINE_END), std::string::npos) << line << "\n" << report;
  EXPECT_EQ(occurrences(report, ".png: "), 3u) << report;

  const ProgramResult real = runCli(pack.with({L"--report"}));
  EXPECT_NE(real.errors.find(std::string("report:") + OUTPUT_LINE_END), std::string::npos) << real.errors;
  EXPECT_NE(real.errors.find(std::string("copied:      2") + OUTPUT_LINE_END), std::string::npos) << real.errors;
}

TEST(CommandLine, ReportOfAFailedRunSaysNothingWasWalked) {
  MixedPack pack;
  fs::remove(pack.dir / "W810.bin");
  const ProgramResult result = runCli(pack.with({L"--report"}));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.errors.find("the firmware images could not be opened"), std::string::npos) << result.errors;
  EXPECT_NE(result.errors.find(std::string("walked:      0") + OUTPUT_LINE_END), std::string::npos) << result.errors;
  EXPECT_EQ(runCli(pack.with({L"--dry-run", L"--dry-run"})).exitCode, 2);
}

TEST(CommandLine, NonBmpPathsWorkInEveryRole) {
  TempDir dir;
  const fs::path root = dir.path() / fs::path(u8"\U0001F4F1 \u00e9t\u00e9");
  const fs::path old = root / fs::path(u8"\u56fe\u5f62 \U00010348");
  const fs::path updated = root / fs::path(u8"n\u00fc \U0001F600");
  fs::create_directories(old);
  fs::create_directories(updated);
  writeFile(root / fs::path(u8"W800 \U0001F600.bin"), ImageBuilder(4096).pair(1, 0x78, 0x0001).bytes());
  writeFile(root / fs::path(u8"W810 \u00df.bin"), ImageBuilder(4096).pair(1, 0x78, 0x0002).bytes());
  writeFile(old / fs::path(u8"0001 \U0001F3A8.png"), "png");
  std::vector<std::wstring> arguments =
      runArguments(root / fs::path(u8"W800 \U0001F600.bin"), root / fs::path(u8"W810 \u00df.bin"), old, updated);
  arguments.push_back(L"--report");
  const ProgramResult result = runCli(arguments);
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0002 copied successfully"), std::string::npos) << result.output;
  EXPECT_EQ(readFile(updated / "0002.png"), readFile(old / fs::path(u8"0001 \U0001F3A8.png")));
  EXPECT_NE(result.errors.find("copied:      1"), std::string::npos) << result.errors;
}

TEST(CommandLine, HtmlReportWithADryRunWritesOnlyTheReport) {
  MixedPack pack;
  TempDir reports;
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  const std::vector<std::string> before = treeListing(pack.dir.path());
  const ProgramResult result =
      runCli(pack.with({L"--dry-run", L"--html-report", wide(reports / "report.html").c_str()}));
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_EQ(treeListing(pack.dir.path()), before);
  snapshot.expectUnchanged();
  const Bytes page = readFile(reports / "report.html");
  const std::string text(page.begin(), page.end());
  EXPECT_NE(text.find("Dry run: nothing was copied"), std::string::npos);
  EXPECT_NE(text.find("Written by glyphwarden-cli " PROJECT_VERSION "."), std::string::npos);
  EXPECT_NE(text.find("<b>7</b>walked"), std::string::npos);
  EXPECT_NE(text.find("&rarr; 0201 would copy"), std::string::npos);
  EXPECT_NE(text.find(">no matching anchor in new firmware<"), std::string::npos);

  // A report that could not be written is found out before anything is copied.
  const ProgramResult nowhere = runCli(pack.with({L"--html-report", wide(reports / "missing" / "r.html").c_str()}));
  EXPECT_EQ(nowhere.exitCode, 2);
  EXPECT_NE(nowhere.errors.find("lies in a folder that does not exist"), std::string::npos) << nowhere.errors;
  EXPECT_EQ(treeListing(pack.dir.path()), before);
}

TEST(CommandLine, ReportIsRefusedWhereItWouldDestroySomethingAndThenNothingIsDone) {
  MixedPack pack;
  fs::create_directories(pack.dir / "a folder.html");
  writeFile(pack.dir / "notes.txt", "the user's own notes");
  TempDir elsewhere;  // kept out of the snapshot, which would follow the loop
  const bool looped = makeLinkLoop(elsewhere / "loop");
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  const std::vector<std::string> before = treeListing(pack.dir.path());
  struct Case {
    fs::path report;
    const char* why;
  };
  std::vector<Case> cases = {
      {pack.dir / "W800.bin", "is the original firmware image"},
      {pack.dir / "W810.bin", "is the new firmware image"},
      {pack.dir / "old" / "0101.png", "lies in the original graphics folder"},
      {pack.dir / "old" / "report.html", "lies in the original graphics folder"},
      {pack.dir / "new" / "0202.png", "lies in the new graphics folder"},
      {pack.dir / "new" / "0201.png", "lies in the new graphics folder"},  // the run would make it
      {pack.dir / "a folder.html", "is a folder"},
      {pack.dir / "notes.txt", "exists and was not written by glyphwarden-cli"},
      {pack.dir / "missing" / "report", "lies in a folder that does not exist"},
      {wide(pack.dir / "reports") + platform::PATH_SEPARATOR, "ends in a separator"},
  };
  if (looped) cases.push_back({elsewhere / "loop", "cannot be checked: too many levels of symbolic links"});
  for (const auto& c : cases) {
    for (const wchar_t* option : {L"--html-report", L"--json"}) {
      for (const bool dry : {false, true}) {
        SCOPED_TRACE(c.report.string() + (dry ? " (dry run)" : ""));
        std::vector<std::wstring> arguments = pack.with({option});
        arguments.push_back(wide(c.report));
        if (dry) arguments.push_back(L"--dry-run");
        const ProgramResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.output, "") << "the run does not start";
        EXPECT_NE(result.errors.find(c.why), std::string::npos) << result.errors;
      }
    }
  }
  // Neither kind of output replaces the other kind.
  TempDir outputs;
  ASSERT_EQ(runCli(pack.with({L"--dry-run", L"--html-report", wide(outputs / "report").c_str(), L"--json",
                              wide(outputs / "record").c_str()}))
                .exitCode,
            0);
  for (const auto& [option, file] : {std::pair{L"--json", "report"}, std::pair{L"--html-report", "record"}}) {
    const ProgramResult crossed = runCli(pack.with({L"--dry-run", option, wide(outputs / file).c_str()}));
    EXPECT_EQ(crossed.exitCode, 2);
    EXPECT_NE(crossed.errors.find("exists and was not written by glyphwarden-cli"), std::string::npos)
        << crossed.errors;
  }
  const ProgramResult same = runCli(pack.with(
      {L"--dry-run", L"--html-report", wide(outputs / "both").c_str(), L"--json", wide(outputs / "both").c_str()}));
  EXPECT_EQ(same.exitCode, 2);
  EXPECT_FALSE(fs::exists(outputs / "both"));
  const ProgramResult spelledTwice = runCli(pack.with({L"--dry-run", L"--html-report", wide(outputs / "both").c_str(),
                                                       L"--json", wide(outputs / "." / "both").c_str()}));
  EXPECT_EQ(spelledTwice.exitCode, 2) << "one new file, two spellings";
  EXPECT_FALSE(fs::exists(outputs / "both"));
  EXPECT_EQ(treeListing(pack.dir.path()), before);
  snapshot.expectUnchanged();
}

TEST(CommandLine, ReportReplacesOnlyAnEarlierReportEvenUnderTheLongestName) {
  MixedPack pack;
  TempDir reports;
  // The longest name a folder entry may have: the temporary name beside it must still fit.
  const fs::path report = reports / (std::string(250, 'r') + ".html");
  const ProgramResult first = runCli(pack.with({L"--dry-run", L"--html-report", wide(report).c_str()}));
  EXPECT_EQ(first.exitCode, 0) << first.errors;
  const Bytes dryPage = readFile(report);
  const ProgramResult second = runCli(pack.with({L"--html-report", wide(report).c_str()}));
  EXPECT_EQ(second.exitCode, 0) << second.errors;
  EXPECT_NE(readFile(report), dryPage) << "the earlier report is replaced";
  EXPECT_EQ(fileNames(reports.path()), std::vector<std::string>{report.filename().string()});
}

// A PNG that is a folder, a FIFO or a link to a device, and a folder where a copy goes: each
// report line names its file and says what it is, in the same words on every system.
TEST(CommandLine, ReportNamesTheFileOfEachFailedCopyAndWhatItIs) {
  MixedPack pack;
  fs::remove(pack.dir / "old" / "0101.png");
  fs::create_directory(pack.dir / "old" / "0101.png");
  fs::create_directory(pack.dir / "new" / "0203.png");
  std::vector<std::string> lines = {"  0101.png 0101 -> 0201: copy failed: a folder (opening the source)",
                                    "  0103.png 0103 -> 0203: copy failed: a folder has that name (putting the copy "
                                    "in place)"};
  if (makeFifo(pack.dir / "old" / "0102.png"))
    lines.push_back("  0102.png 0102 -> 0202: copy failed: not a regular file (opening the source)");
  if (makeLinkToADevice(pack.dir / "old" / "0104.png"))
    lines.push_back("  0104.png 0104 -> 0203: copy failed: a device (opening the source)");
  const ProgramResult result = runCli(pack.with({L"--report"}));
  EXPECT_EQ(result.exitCode, 1);
  for (const std::string& line : lines)
    EXPECT_NE(result.errors.find(line + OUTPUT_LINE_END), std::string::npos) << line << result.errors;
  // A record has no checksum of what is not a file, and no failure of its own for it.
  TempDir records;
  const ProgramResult recorded = runCli(pack.with({L"--report", L"--json", wide(records / "run.json").c_str()}));
  EXPECT_EQ(recorded.exitCode, result.exitCode);
  EXPECT_EQ(recorded.output + recorded.errors, result.output + result.errors);
}
