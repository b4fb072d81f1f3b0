// The command line run as a user runs it: the real program, real files, its output and status.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/display_text.h"
#include "harness/run_program.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "support/test_files.h"

namespace {

std::string lines(std::initializer_list<const char*> texts) {
  std::string out;
  for (const char* text : texts) out += std::string(text) + OUTPUT_LINE_END;
  return out;
}

ProgramResult runCli(const std::vector<std::wstring>& arguments) {
  return runProgram(siblingProgram(L"glyphwarden-cli"), arguments);
}

}  // namespace

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

namespace {

// Every path under a folder, folders included, so a test can prove nothing was created.
std::vector<std::string> treeListing(const fs::path& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    entries.push_back(entry.path().lexically_relative(root).generic_string());
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
  return count;
}

// A pack with one PNG of each fate: carried, carried onto an existing file, two PNGs onto one
// new number, no number, a number the original lacks, an anchor the new image lacks.
struct MixedPack {
  TempDir dir;
  std::vector<std::wstring> arguments;
  MixedPack() {
    fs::create_directories(dir / "old");
    fs::create_directories(dir / "new");
    writeFile(dir / "W800.bin", ImageBuilder(8192)
                                    .pair(1, 0xA1, 0x0101)
                                    .pair(2, 0xA2, 0x0102)
                                    .pair(3, 0xA3, 0x0103)
                                    .pair(4, 0xA4, 0x0104)
                                    .pair(5, 0xA5, 0x0105)
                                    .bytes());
    writeFile(dir / "W810.bin", ImageBuilder(8192)
                                    .pair(7, 0xA1, 0x0201)
                                    .pair(8, 0xA2, 0x0202)
                                    .pair(9, 0xA3, 0x0203)
                                    .pair(10, 0xA4, 0x0203)
                                    .bytes());
    for (const char* name : {"0101.png", "0102.png", "0103.png", "0104.png", "0105.png", "0106.png", "logo.png"})
      writeFile(dir / "old" / name, std::string("picture ") + name);
    writeFile(dir / "new" / "0202.png", "already there");
    arguments = runArguments(dir / "W800.bin", dir / "W810.bin", dir / "old", dir / "new");
  }
  std::vector<std::wstring> with(std::initializer_list<const wchar_t*> options) const {
    std::vector<std::wstring> all = arguments;
    all.insert(all.end(), options.begin(), options.end());
    return all;
  }
};

}  // namespace

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
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  const std::vector<std::string> before = treeListing(pack.dir.path());
  const struct {
    fs::path report;
    const char* why;
  } cases[] = {
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
  const struct {
    const char* what;
    fs::path originalFirmware, newFirmware, originalGfx, newGfx;
    int exitCode;
    std::string said;
  } cases[] = {
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
