// --undo through the real program: a run into a folder that also holds the user's own PNGs is
// taken back exactly, whatever was done to its copies since; unusable records remove nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <thread>

#include "cli/cli_runs.h"
#include "cli/recorded_run.h"
#include "engine/json_record.h"
#include "harness/run_program.h"
#include "support/test_files.h"

namespace {

std::string textOf(const fs::path& path) {
  const Bytes bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A JSON string of a path, as the record writes it (no character here needs escaping but '\\').
std::string jsonString(const fs::path& path) {
  std::string text(1, '"');
  text += std::regex_replace(utf8Of(path), std::regex(R"(\\)"), R"(\\)");
  return text += '"';
}

// The bytes a file system stores for a name, in hexadecimal: UTF-8, or UTF-16LE where names
// are wide.
std::string storedHex(const fs::path& path) {
  std::string bytes;
  if constexpr (sizeof(wchar_t) == 2) {
    for (const wchar_t unit : path.wstring()) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  } else {
    bytes = utf8Of(path);
  }
  std::string hex;
  for (const unsigned char byte : bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
  return hex;
}

std::string replaced(std::string text, const std::string& pattern, const std::string& by) {
  return std::regex_replace(text, std::regex(pattern), by, std::regex_constants::format_first_only);
}

// The record's copy of 0101.png to 0A01.png said to be a copy named number in folder.
std::string copyOf0101As(const std::string& record, const fs::path& folder, const std::string& number) {
  return replaced(replaced(record, R"("newGfxAbsolute": "[^"]*")", "\"newGfxAbsolute\": " + jsonString(folder)),
                  R"("newNumber": 2561)", "\"newNumber\": " + number);
}

// Where names are UTF-8 bytes: the Linux build.
constexpr bool LINUX = sizeof(wchar_t) == 4;
#define STATE_CHANGED "its state changed since the run, so it cannot be told from a file put in its place"

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
      // The same name and bytes, but a file the run never made.
      {"a copy replaced by another file with its bytes",
       [](const RunFolders& at) {
         const std::string bytes = textOf(at.newGfx / "0A01.png");
         fs::remove(at.newGfx / "0A01.png");
         writeFile(at.newGfx / "0A01.png", bytes);
       },
       false,
       LINUX ? "kept 0A01.png: not the file the run made" : "kept 0A01.png: ",
       {"0A01.png", "0A05.png", "0B00.png"},
       1},
      // Linux keeps a birth time that only the system sets; under Wine a creation time is the
      // last write time, and only the change time tells a file from the one made.
      {"a copy replaced by another file with its bytes and times, as cp -p puts it",
       [](const RunFolders& at) {
         const fs::path copy = at.newGfx / "0A01.png";
         const std::string bytes = textOf(copy);
         const auto written = fs::last_write_time(copy);
         fs::remove(copy);
         writeFile(copy, bytes);
         fs::last_write_time(copy, written);
       },
       false,
       // Under Wine the file may or may not be given the freed inode again.
       LINUX ? "kept 0A01.png: not the file the run made" : "kept 0A01.png: ",
       {"0A01.png", "0A05.png", "0B00.png"},
       1},
      {"the run taken back and made again without a record, on the inodes it freed",
       [](const RunFolders& at) {
         ASSERT_EQ(runCli({L"--undo", wide(at.dir / "run.json")}).exitCode, 0);
         ASSERT_EQ(runCli(runArguments(at.originalFirmware, at.newFirmware, at.originalGfx, at.newGfx)).exitCode, 0);
       },
       false,
       // Under Wine the freed inodes may or may not be given again.
       LINUX ? "kept 0A01.png: not the file the run made" : "kept 0A01.png: ",
       {"0A01.png", "0A02.png", "0A03.png", "0A04.png", "0A05.png", "0B00.png"},
       1},
      {"a copy touched",
       [](const RunFolders& at) {
         fs::last_write_time(at.newGfx / "0A01.png", fs::file_time_type::clock::now() + std::chrono::hours(1));
       },
       false, LINUX ? "removed 0A01.png" : "kept 0A01.png: " STATE_CHANGED,
       LINUX ? std::vector<std::string>{"0A05.png", "0B00.png"}
             : std::vector<std::string>{"0A01.png", "0A05.png", "0B00.png"},
       LINUX ? 0 : 1},
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
    EXPECT_TRUE(contains(undo.output, c.line)) << undo.output;
    EXPECT_EQ(fileNames(run.at.newGfx), c.left);
    run.untouched.expectUnchanged();
  }
}

TEST(Undo, FindsANewFolderWhateverItsName) {
  std::vector<std::pair<const char*, fs::path>> names = {
      // DEL is written escaped, U+1F600 as four bytes (two UTF-16 units on Windows).
      {"a name the record escapes", fs::path(u8"new gfx \x7F\U0001F600")},
  };
  // Only where names are bytes can a name be other than valid text.
  if constexpr (LINUX) names.push_back({"a name that is not valid text", fs::path("new gfx \xff")});
  for (const auto& [what, name] : names) {
    SCOPED_TRACE(what);
    RecordedRun run(name);
    const ProgramResult undo = runCli({L"--undo", wide(run.record)});
    EXPECT_EQ(undo.exitCode, 0) << undo.output << undo.errors;
    EXPECT_EQ(fileNames(run.at.newGfx), (std::vector<std::string>{"0A05.png", "0B00.png"}));
  }
}

TEST(Undo, RefusesRecordsThatCannotSayWhatTheRunMade) {
  RecordedRun run;
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
      {"an earlier format",
       edited(0, "\"formatVersion\": " + std::to_string(JSON_RECORD_FORMAT_VERSION), "\"formatVersion\": 1")},
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

TEST(Undo, RemovesNothingWhenTheNewFolderIsGone) {
  RecordedRun run;
  const fs::path moved = run.at.dir / "moved";
  fs::rename(run.at.newGfx, moved);
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 2) << undo.output;
  EXPECT_TRUE(contains(undo.errors, " is not there: moved or renamed? nothing was removed")) << undo.errors;
  EXPECT_EQ(fileNames(moved).size(), 6u);
}

// Records edited to name a file the run read as one of its copies, and records rewritten by a
// JSON tool. The first are refused whole; the second are undone as the original.
TEST(Undo, NeverRemovesAFileTheRunReadWhateverTheRecordSays) {
  const fs::path firmwareAsPng = "0C00.png";  // an image whose name is a copy's name
  struct Case {
    const char* what;
    std::function<std::string(const std::string&, const RunFolders&)> edit;
    int exitCode;
    const char* said;  // on standard error, or in the output when the undo goes ahead
  };
  const auto original = [](const RunFolders& at) { return fs::absolute(at.originalGfx); };
  const std::vector<Case> cases = {
      {"the new folder is the original one",
       [&](const std::string& r, const RunFolders& at) { return copyOf0101As(r, original(at), "257"); }, 2,
       "0101.png as a copy, but it is a file the run read"},
      {"the original folder through a .. segment",
       [&](const std::string& r, const RunFolders& at) {
         return copyOf0101As(r, fs::absolute(at.newGfx) / ".." / at.originalGfx.filename(), "257");
       },
       2, "it is a file the run read"},
      {"the original folder as stored bytes",
       [&](const std::string& r, const RunFolders& at) {
         return replaced(copyOf0101As(r, at.newGfx, "257"), R"("newGfxAbsolute": )",
                         "\"newGfxAbsoluteStoredHex\": \"" + storedHex(original(at)) + "\", \"newGfxAbsolute\": ");
       },
       2, "it is a file the run read"},
      {"the firmware folder, a copy named as the image and with its digest",
       [&](const std::string& r, const RunFolders& at) {
         std::smatch digest;
         std::regex_search(r, digest, std::regex(R"x("originalFirmware": \{[^}]*"sha256": "([0-9a-f]{64})")x"));
         return replaced(copyOf0101As(r, fs::absolute(at.dir.path()), "3072"),
                         R"("sha256": "[0-9a-f]{64}", "copies": \[\{"newNumber": 3072)",
                         "\"sha256\": \"" + digest[1].str() + "\", \"copies\": [{\"newNumber\": 3072");
       },
       2, "0C00.png as a copy, but it is a file the run read"},
      {"a version 2 record whose relative new folder is the original one here",
       [&](const std::string& r, const RunFolders& at) {
         std::string edited = replaced(r, R"("formatVersion": \d+)", "\"formatVersion\": 2");
         edited = replaced(edited, R"("newGfx": "[^"]*")", "\"newGfx\": " + jsonString(at.originalGfx.filename()));
         edited =
             replaced(edited, R"("originalGfx": "[^"]*")", "\"originalGfx\": " + jsonString(at.originalGfx.filename()));
         return replaced(edited, R"("newNumber": 2561)", "\"newNumber\": 257");
       },
       2, "it is a file the run read"},
      {"the new folder is the original one, where a PNG with a copy's bytes was put since",
       [&](const std::string& r, const RunFolders& at) {
         fs::copy_file(at.newGfx / "0A01.png", at.originalGfx / "0A01.png");
         return replaced(replaced(r, R"("newGfxAbsolute": "[^"]*")", "\"newGfxAbsolute\": " + jsonString(original(at))),
                         R"("newGfx": "[^"]*")", "\"newGfx\": " + jsonString(original(at)));
       },
       1, "kept 0A01.png: not the file the run made"},
      {"a version 4 record, which says no copy's identity",
       [](const std::string& r, const RunFolders&) {
         return std::regex_replace(replaced(r, R"("formatVersion": \d+)", "\"formatVersion\": 4"),
                                   std::regex(R"(, "identity": "[^"]*")"), "");
       },
       0, "(a format 4 record does not say which file each copy is: this undo goes by name and checksum alone)"},
      {"a version 5 record, with one time in each identity: the creation time on Windows, the change time on Linux",
       [](const std::string& r, const RunFolders&) {
         return std::regex_replace(
             replaced(r, R"("formatVersion": \d+)", "\"formatVersion\": 5"),
             std::regex(R"(("identity": "[0-9a-f]{16}-[0-9a-f]{32}-)([0-9a-f]{16})-([0-9a-f]{16}))"),
             sizeof(wchar_t) == 4 ? "$1$3" : "$1$2");
       },
       0, "removed 0A01.png"},
      {"compact, as jq -c writes it",
       [](const std::string& r, const RunFolders&) {
         return std::regex_replace(r, std::regex(R"(\n *|(": )|(, "))"), "$1$2");
       },
       0, "removed 0A01.png"},
      {"its members in another order",
       [](const std::string& r, const RunFolders&) {
         const std::string format = "\"format\": \"glyphwarden-run\",\n  ";
         std::string moved = replaced(r, format, "");
         return moved.insert(moved.rfind('}'), ", \"format\": \"glyphwarden-run\"\n");
       },
       0, "removed 0A01.png"},
      {"its strings escaped",
       [](const std::string& r, const RunFolders&) {
         return replaced(replaced(r, R"("glyphwarden-run")", R"("glyphwarden\u002drun")"), "/", R"(\/)");
       },
       0, "removed 0A01.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordedRun run({}, firmwareAsPng);
    const std::string edited = c.edit(textOf(run.record), run.at);
    ASSERT_NE(edited, textOf(run.record));
    writeFile(run.at.dir / "edited.json", edited);
    ProgramResult undo;
    {
      // Relative folders of an earlier record are taken from the current folder.
      const fs::path before = fs::current_path();
      fs::current_path(run.at.dir.path());
      undo = runCli({L"--undo", wide(run.at.dir / "edited.json")});
      fs::current_path(before);
    }
    EXPECT_EQ(undo.exitCode, c.exitCode) << undo.output << undo.errors;
    EXPECT_TRUE(contains(c.exitCode == 2 ? undo.errors : undo.output, c.said)) << undo.output << undo.errors;
    EXPECT_EQ(fileNames(run.at.newGfx).size(), c.exitCode == 0 ? 2u : 6u);
    run.untouched.expectUnchanged();
  }
}

// Two undos of one record at once, and an undo after one that was ended between moving a copy
// aside and removing it: every copy is removed once, and every file gone is accounted for.
TEST(Undo, TwoUndosAtOnceAndOneEndedHalfwayAccountForEveryCopy) {
  constexpr std::uint32_t PNGS = 300;  // enough that the two meet on many files
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    RecordedRun run({}, {}, PNGS);
    ProgramResult first, second;
    std::thread other([&] { first = runCli({L"--undo", wide(run.record)}); });
    second = runCli({L"--undo", wide(run.record)});
    other.join();
    EXPECT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(second.exitCode, 0) << second.output;
    const auto removedBy = [](const ProgramResult& undo) {
      std::smatch counts;
      return std::regex_search(undo.output, counts, std::regex(R"((\d+) removed, 0 kept)")) ? std::stoi(counts[1]) : -1;
    };
    // 0A05.png and 0B00.png were there before the run: duplicates.
    EXPECT_EQ(removedBy(first) + removedBy(second), static_cast<int>(PNGS) - 2) << first.output << second.output;
    EXPECT_EQ(fileNames(run.at.newGfx), (std::vector<std::string>{"0A05.png", "0B00.png"}));
    run.untouched.expectUnchanged();
  }
  RecordedRun run;
  const fs::path leftover = run.at.newGfx / ".glyphwarden-undo-99999-0.tmp";
  fs::rename(run.at.newGfx / "0A02.png", leftover);
  writeFile(run.at.newGfx / ".glyphwarden-undo-99999-1.tmp", "not a copy of this run");
  const ProgramResult undo = runCli({L"--undo", wide(run.record)});
  EXPECT_EQ(undo.exitCode, 0) << undo.output;
  EXPECT_TRUE(
      contains(undo.output, "removed 0A02.png (left as .glyphwarden-undo-99999-0.tmp by an undo that was ended)"))
      << undo.output;
  EXPECT_TRUE(contains(undo.output, "4 removed, 0 kept, 0 not there any more")) << undo.output;
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(run.at.newGfx / ".glyphwarden-undo-99999-1.tmp"));
}
