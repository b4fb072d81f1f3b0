// A recorded run for the tests of --undo: real files, the real program, its record.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "cli/cli_runs.h"
#include "harness/run_program.h"
#include "support/test_files.h"

// Four PNGs carried to 0A01..0A04; the new folder already holds the user's 0B00.png and an
// 0A05.png that makes the fifth a duplicate. The run is recorded in run.json.
struct RecordedRun {
  RunFolders at;
  fs::path record = at.dir / "run.json";
  FileSnapshot untouched;

  // newGfxName, when given, names the new folder instead; firmwareName the original image.
  // pngs carries that many PNGs instead, 0101.png on.
  explicit RecordedRun(const fs::path& newGfxName = {}, const fs::path& firmwareName = {}, std::uint32_t pngs = 5) {
    if (!newGfxName.empty()) {
      at.newGfx = at.dir.path() / newGfxName;
      fs::create_directory(at.newGfx);
    }
    if (!firmwareName.empty()) at.originalFirmware = at.dir.path() / firmwareName;
    ImageBuilder original(4096), updated(4096);
    for (std::uint32_t i = 1; i <= pngs; ++i) {
      original.pair(i, 0x7700 + i, 0x0100 + i);
      updated.pair(10 + i, 0x7700 + i, 0x0A00 + i);
      char name[16];
      std::snprintf(name, sizeof name, "%04X.png", 0x0100 + i);
      writeFile(at.originalGfx / name, "picture " + std::to_string(i));
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
