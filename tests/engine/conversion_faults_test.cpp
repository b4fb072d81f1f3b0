// Runs that meet faults of the system around them: a firmware image held by another process,
// the original graphics folder vanishing mid-run, one folder given as both graphics folders.
// Every run leaves the firmware files and the pre-existing PNGs as they were.
#include <gtest/gtest.h>

#include <thread>

#include "console/append_log.h"
#include "engine/conversion.h"
#include "support/held_file.h"
#include "support/test_files.h"

namespace {

struct Pack : RunFolders {
  Pack() {
    writeFile(originalFirmware, ImageBuilder(4096).pair(1, 0x51, 0x0001).pair(2, 0x52, 0x0002).bytes());
    writeFile(newFirmware, ImageBuilder(4096).pair(1, 0x51, 0x0101).pair(2, 0x52, 0x0102).bytes());
    writeFile(originalGfx / "0001.png", "first picture");
    writeFile(originalGfx / "0002.png", "second picture");
  }
  bool run(const fs::path& from, const fs::path& to, unsigned threads = 0) {
    return runConversion({wide(originalFirmware), wide(newFirmware), wide(from), wide(to)}, {.threads = threads});
  }
};

}  // namespace

TEST(ConversionFaults, FirmwareHeldByAnotherProcessIsNotFound) {
  for (const bool originalHeld : {true, false}) {
    Pack pack;
    FileSnapshot snapshot;
    snapshot.add(pack.dir.path());
    LogCapture log;
    {
      HeldFile held(originalHeld ? pack.originalFirmware : pack.newFirmware, pack.dir.path());
      ASSERT_TRUE(held.waitUntilHeld()) << "the other process could not take the file";
      EXPECT_FALSE(pack.run(pack.originalGfx, pack.newGfx));
      EXPECT_EQ(log.text(),
                originalHeld ? L"original firmware file not found..\r\n" : L"new firmware file not found..\r\n");
      EXPECT_EQ(held.letGo(), 0);
    }
    EXPECT_EQ(fileNames(pack.newGfx), std::vector<std::string>{});
    snapshot.expectUnchanged();
    // Once the other process lets go, the same run goes through.
    log.clear();
    EXPECT_TRUE(pack.run(pack.originalGfx, pack.newGfx));
    EXPECT_EQ(fileNames(pack.newGfx), (std::vector<std::string>{"0101.png", "0102.png"}));
  }
}

namespace {

// Removes a folder when the run reports its first copy, after the walk has been read: on one
// thread, where each copy is said before it is made.
struct FolderRemover {
  fs::path folder;
  std::wstring text;
  static bool onAppend(void* context, const wchar_t* part) {
    auto* self = static_cast<FolderRemover*>(context);
    if (std::wstring_view(part).find(L" -> ") != std::wstring_view::npos && fs::exists(self->folder))
      fs::remove_all(self->folder);
    self->text += part;
    return true;
  }
};

}  // namespace

TEST(ConversionFaults, OriginalFolderRemovedMidRunFailsEachCopyCleanly) {
  Pack pack;
  FileSnapshot firmware;
  firmware.add(pack.originalFirmware);
  firmware.add(pack.newFirmware);
  FolderRemover remover{pack.originalGfx, {}};
  installLogSink(FolderRemover::onAppend, &remover);
  const bool walked = pack.run(pack.originalGfx, pack.newGfx, 1);
  installLogSink(nullptr, nullptr);
  EXPECT_TRUE(walked);
  EXPECT_FALSE(fs::exists(pack.originalGfx));
  EXPECT_NE(remover.text.find(L"0001 -> 0101 copy failed.\r\n"), std::wstring::npos)
      << testing::PrintToString(remover.text);
  EXPECT_NE(remover.text.find(L"0002 -> 0102 copy failed.\r\n"), std::wstring::npos)
      << testing::PrintToString(remover.text);
  EXPECT_EQ(fileNames(pack.newGfx), std::vector<std::string>{}) << "no partial or temporary file is left";
  firmware.expectUnchanged();
}

TEST(ConversionFaults, SameFolderForBothEndsTerminatesAndNeverOverwrites) {
  Pack pack;
  // 0001 goes onto itself, 0002 onto 0003 which exists, 0004 onto 0005 which does not: the copy
  // made during the run is not walked again.
  writeFile(pack.originalFirmware, ImageBuilder(4096)
                                       .pair(1, 0x51, 0x0001)
                                       .pair(2, 0x52, 0x0002)
                                       .pair(3, 0x54, 0x0004)
                                       .pair(4, 0x55, 0x0005)
                                       .bytes());
  writeFile(pack.newFirmware, ImageBuilder(4096)
                                  .pair(1, 0x51, 0x0001)
                                  .pair(2, 0x52, 0x0003)
                                  .pair(3, 0x54, 0x0005)
                                  .pair(4, 0x55, 0x0006)
                                  .bytes());
  writeFile(pack.originalGfx / "0003.png", "third picture");
  writeFile(pack.originalGfx / "0004.png", "fourth picture");
  FileSnapshot snapshot;
  snapshot.add(pack.dir.path());
  LogCapture log;
  EXPECT_TRUE(pack.run(pack.originalGfx, pack.originalGfx));
  snapshot.expectUnchanged();
  const std::wstring& text = log.text();
  EXPECT_NE(text.find(L"0001 -> 0001 duplicate\r\n"), std::wstring::npos) << testing::PrintToString(text);
  EXPECT_NE(text.find(L"0002 -> 0003 duplicate\r\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"0004 -> 0005 copied successfully\r\n"), std::wstring::npos);
  EXPECT_EQ(text.find(L"0005 -> "), std::wstring::npos) << "a copy made by the run must not be walked";
  EXPECT_EQ(readFile(pack.originalGfx / "0005.png"), readFile(pack.originalGfx / "0004.png"));
  EXPECT_EQ(fileNames(pack.originalGfx),
            (std::vector<std::string>{"0001.png", "0002.png", "0003.png", "0004.png", "0005.png"}));
}
