// --undo through the real program: a run into a folder that also holds the user's own PNGs is
// taken back exactly, whatever was done to its copies since; unusable records remove nothing.
#include <gtest/gtest.h>

#include <functional>

#include "support/run_program.h"
#include "support/test_files.h"

namespace {

ProgramResult runCli(const std::vector<std::wstring>& arguments) {
  return runProgram(siblingProgram(L"glyphwarden-cli"), arguments);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Four PNGs carried to 0A01..0A04; the new folder already holds the user's 0B00.png and an
// 0A05.png that makes the fifth a duplicate. The run is recorded in run.json.
struct RecordedRun {
  RunFolders at;
  fs::path record = at.dir / "run.json";
  FileSnapshot untouched;

  // newGfxName, when given, names the new folder instead.
  explicit RecordedRun(const fs::path& newGfxName = {}) {
    if (!newGfxName.empty()) {
      at.newGfx = at.dir.path() / newGfxName;
      fs::create_directory(at.newGfx);
    }
    ImageBuilder original(4096), updated(4096);
    for (std::uint32_t i = 1; i <= 5; ++i) {
      original.pair(i, 0x7700 + i, 0x0100 + i);
      updated.pair(10 + i, 0x7700 + i, 0x0A00 + i);
      writeFile(at.originalGfx / ("010" + std::to_string(i) + ".png"), "picture " + std::to_string(i));
    }
    writeFile(at.originalFirmware, original.bytes());
    writeFile(at.newFirmware, updated.bytes());
    writeFile(at.newGfx / "0B00.png", "the user's own");
    writeFile(at.newGfx / "0A05.png", "the user's too");
    std::vector<std::wstring> arguments = runArguments(at.originalFirmware, at.newFirmware, at.originalGfx, at.newGfx);
    arguments.insert(arguments.end(), {L"--json", wide(record)});
    EXPECT_EQ(runCli(arguments).exitCode, 0);
    for (const fs::path& kept :
         {at.originalGfx, at.originalFirmware, at.newFirmware, at.newGfx / "0B00.png", at.newGfx / "0A05.png"})
      untouched.add(kept);
  }
};

}  // namespace

TEST(Undo, RemovesExactlyTheUnchangedFilesTheRunMade) {
  struct Case {
    const char* what;
    std::function<void(const RunFolders&)> since;  // done to the new folder after the run
    bool dryRun;
    const char* line;  // the line for 0A01.png
    std::vector<std::string> left;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"nothing changed", [](const RunFolders&) {}, false, "removed 0A01.png", {"0A05.png", "0B00.png"}, 0},
      {"a dry run",
       [](const RunFolders&) {},
       true,
       "would remove 0A01.png",
       {"0A01.png", "0A02.png", "0A03.png", "0A04.png", "0A05.png", "0B00.png"},
       0},
      {"a copy edited",
       [](const RunFolders& at) { writeFile(at.newGfx / "0A01.png", "picture 1, retouched"); },
       false,
       "kept 0A01.png: changed since the run",
       {"0A01.png", "0A05.png", "0B00.png"},
       1},
      {"a copy removed",
       [](const RunFolders& at) { fs::remove(at.newGfx / "0A01.png"); },
       false,
       "0A01.png: not there any more",
       {"0A05.png", "0B00.png"},
       0},
      {"a copy replaced by a folder",
       [](const RunFolders& at) {
         fs::remove(at.newGfx / "0A01.png");
         fs::create_directory(at.newGfx / "0A01.png");
       },
       false,
       "kept 0A01.png: not a regular file",
       {"0A01.png", "0A05.png", "0B00.png"},
       1},
      // The same bytes, but another name of the user's original.
      {"a copy replaced by a hard link to its original",
       [](const RunFolders& at) {
         fs::remove(at.newGfx / "0A01.png");
         fs::create_hard_link(at.originalGfx / "0101.png", at.newGfx / "0A01.png");
       },
       false,
       "kept 0A01.png: linked to another name since the run",
       {"0A01.png", "0A05.png", "0B00.png"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordedRun run;
    c.since(run.at);
    std::vector<std::wstring> arguments = {L"--undo", wide(run.record)};
    if (c.dryRun) arguments.push_back(L"--dry-run");
    const ProgramResult undo = runCli(arguments);
    EXPECT_EQ(undo.exitCode, c.exitCode) << undo.output << undo.errors;
    EXPECT_TRUE(contains(undo.output, c.line + std::string(OUTPUT_LINE_END))) << undo.output;
    EXPECT_EQ(fileNames(run.at.newGfx), c.left);
    run.untouched.expectUnchanged();
  }
}

TEST(Undo, FindsANewFolderWhoseNameTheRecordEscapes) {
  // DEL is written escaped, U+1F600 as four bytes (two UTF-16 units on Windows).
  RecordedRun run(fs::path(u8"new gfx \x7F\U0001F600"));
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 0) << undo.output << undo.errors;
  EXPECT_EQ(fileNames(run.at.newGfx), (std::vector<std::string>{"0A05.png", "0B00.png"}));
}

#ifndef _WIN32
TEST(Undo, FindsANewFolderWhoseNameIsNotValidText) {
  RecordedRun run(fs::path("new gfx \xff"));
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 0) << undo.output << undo.errors;
  EXPECT_EQ(fileNames(run.at.newGfx), (std::vector<std::string>{"0A05.png", "0B00.png"}));
}

// Under Wine a Linux link is followed by every Windows call; tests/cli/wine_hostile_test.py
// holds the Windows program to the same.
TEST(Undo, KeepsACopyReplacedByASymbolicLinkAndItsTarget) {
  RecordedRun run;
  fs::remove(run.at.newGfx / "0A01.png");
  fs::create_symlink(run.at.originalGfx / "0101.png", run.at.newGfx / "0A01.png");
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 1);
  EXPECT_TRUE(contains(undo.output, "kept 0A01.png: not a regular file")) << undo.output;
  EXPECT_TRUE(fs::is_symlink(run.at.newGfx / "0A01.png"));
  run.untouched.expectUnchanged();
}
#endif

TEST(Undo, RefusesRecordsThatCannotSayWhatTheRunMade) {
  RecordedRun run;
  const auto textOf = [](const fs::path& path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
  };
  const std::string record = textOf(run.record);
  const auto edited = [&](std::size_t at, const std::string& from, const std::string& to) {
    std::string text = record;
    at = text.find(from, at);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  const std::size_t firstPng = record.find("\"graphics\"");
  const std::vector<std::pair<const char*, std::string>> records = {
      {"a dry run's", edited(0, "\"dryRun\": false", "\"dryRun\": true")},
      {"an earlier format", edited(0, "\"formatVersion\": 2", "\"formatVersion\": 1")},
      {"cut short", record.substr(0, record.size() / 2)},
      {"a PNG's digest damaged", edited(firstPng, "\"sha256\": \"", "\"sha256\": \"zz")},
      {"a firmware image", textOf(run.at.originalFirmware)},
  };
  for (const auto& [what, text] : records) {
    SCOPED_TRACE(what);
    writeFile(run.at.dir / "edited.json", text);
    const ProgramResult undo = runCli({L"--undo", wide(run.at.dir / "edited.json")});
    EXPECT_EQ(undo.exitCode, 2);
    EXPECT_TRUE(contains(undo.errors, "nothing was removed")) << undo.errors;
    EXPECT_EQ(fileNames(run.at.newGfx).size(), 6u);
  }
}
