// The command line run as a user runs it: the real program, real files, its output and status.
#include <gtest/gtest.h>

#include "support/run_program.h"
#include "support/test_files.h"

namespace {

#ifdef _WIN32
const char LINE_END[] = "\r\n";
#else
const char LINE_END[] = "\n";
#endif

std::string lines(std::initializer_list<const char*> texts) {
  std::string out;
  for (const char* text : texts) out += std::string(text) + LINE_END;
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
  const std::vector<std::wstring> arguments = {L"--original-firmware", wide(dir / "W800.bin"),
                                               L"--new-firmware",      wide(dir / "W810.bin"),
                                               L"--original-gfx",      wide(dir / "old"),
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
  const ProgramResult result = runCli({L"--original-firmware", wide(dir / "none.bin"), L"--new-firmware",
                                       wide(dir / "none2.bin"), L"--original-gfx", wide(dir.path()), L"--new-gfx",
                                       wide(dir.path())});
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
  const ProgramResult version = runCli({L"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output.rfind("glyphwarden-cli ", 0), 0u) << version.output;
}

TEST(CommandLine, NonAsciiNamesPrintAndCopy) {
  TempDir dir;
  const fs::path old = dir.path() / fs::path(u8"gr\u00e4fik \U0001F600");
  fs::create_directories(old);
  fs::create_directories(dir / "new");
  writeFile(dir / "W800.bin", ImageBuilder(4096).pair(1, 0x78, 0x0001).bytes());
  writeFile(dir / "W810.bin", ImageBuilder(4096).pair(1, 0x78, 0x0002).bytes());
  writeFile(old / fs::path(u8"1 \u4e2d.png"), "png");
  const ProgramResult result = runCli({L"--original-firmware", wide(dir / "W800.bin"), L"--new-firmware",
                                       wide(dir / "W810.bin"), L"--original-gfx", wide(old), L"--new-gfx",
                                       wide(dir / "new")});
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_NE(result.output.find("0001 -> 0002 copied successfully"), std::string::npos) << result.output;
  EXPECT_EQ(readFile(dir / "new" / "0002.png"), readFile(old / fs::path(u8"1 \u4e2d.png")));
}
