#include "engine/conversion.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/test_files.h"

namespace {

const wchar_t LOADED[] = L"files loaded successfully\r\nsource fw size: 00001000\r\nsource fw size: 00001000\r\n";

// A run over generated images and real folders, checked afterwards for untouched firmware
// files and untouched pre-existing PNGs.
class ConversionRun : public testing::Test {
 protected:
  TempDir dir;
  fs::path originalGfx = dir / "original gfx";
  fs::path newGfx = dir / "new gfx";
  fs::path originalFirmware = dir / "W800.bin";
  fs::path newFirmware = dir / "W810.bin";
  ImageBuilder original{4096};
  ImageBuilder updated{4096};
  LogCapture log;

  void SetUp() override {
    fs::create_directory(originalGfx);
    fs::create_directory(newGfx);
  }

  void addPng(const std::string& name, const std::string& contents) { writeFile(originalGfx / name, contents); }

  bool run(const fs::path& from, const fs::path& to, const ConversionOptions& options = {}) {
    writeFile(originalFirmware, original.bytes());
    writeFile(newFirmware, updated.bytes());
    FileSnapshot before;
    for (const auto& path : {originalFirmware, newFirmware, from, to}) before.add(path);
    log.clear();
    const bool succeeded = runConversion({wide(originalFirmware), wide(newFirmware), wide(from), wide(to)}, options);
    before.expectUnchanged();
    return succeeded;
  }
  bool run() { return run(originalGfx, newGfx); }
};

}  // namespace

TEST_F(ConversionRun, CopiesOnePngUnderItsNewNumber) {
  original.pair(3, 0xCAFE, 0x1A2B);
  updated.pair(8, 0xCAFE, 0x1C40);
  addPng("1A2B.png", "picture");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"1A2B -> 1C40 copied successfully\r\n");
  EXPECT_EQ(fileNames(newGfx), std::vector<std::string>{"1C40.png"});
  EXPECT_EQ(readFile(newGfx / "1C40.png"), readFile(originalGfx / "1A2B.png"));
}

TEST_F(ConversionRun, NumberInTwoOriginalPairsIsCopiedTwice) {
  original.pair(1, 0xA1, 0x0042).pair(2, 0xA2, 0x0042);
  updated.pair(1, 0xA2, 0x0200).pair(2, 0xA1, 0x0100);
  addPng("0042.png", "twice");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(),
            std::wstring(LOADED) + L"0042 -> 0100 copied successfully\r\n0042 -> 0200 copied successfully\r\n");
  EXPECT_EQ(readFile(newGfx / "0100.png"), readFile(originalGfx / "0042.png"));
  EXPECT_EQ(readFile(newGfx / "0200.png"), readFile(originalGfx / "0042.png"));
}

TEST_F(ConversionRun, SecondPngToTheSameNumberIsADuplicateAndTheFirstStays) {
  original.pair(1, 0xB1, 0x0010).pair(2, 0xB2, 0x0011);
  updated.pair(1, 0xB1, 0x0300).pair(2, 0xB2, 0x0300);
  addPng("0010.png", "first");
  addPng("0011.png", "second");
  EXPECT_TRUE(run());
  const std::wstring copied = L"0300 copied successfully\r\n", duplicate = L"0300 duplicate\r\n";
  // The walk's order decides which comes first.
  const bool tenFirst = log.text().find(L"0010 -> 0300 copied successfully") != std::wstring::npos;
  EXPECT_EQ(log.text(), std::wstring(LOADED) + (tenFirst ? L"0010 -> " + copied + L"0011 -> " + duplicate
                                                         : L"0011 -> " + copied + L"0010 -> " + duplicate));
  EXPECT_EQ(readFile(newGfx / "0300.png"), readFile(originalGfx / (tenFirst ? "0010.png" : "0011.png")));
}

// Copies made at once finish in any order: two large PNGs go to one number, eight small ones
// elsewhere. Each line is said in the walk's order, and the earlier of the two in the walk is
// the copy, the later the duplicate, as on one thread.
TEST_F(ConversionRun, CopiesInFlightAreSaidAndDecidedInTheWalksOrder) {
  const auto graphicName = [](std::uint32_t number) { return fs::path(newGraphicName(number)).string(); };
  for (std::uint32_t k = 1; k <= 10; ++k) {
    original.pair(k, 0xD00 + k, k);
    updated.pair(k, 0xD00 + k, k == 10 ? 0x0A01 : 0x0A00 + k);
    addPng(graphicName(k), k == 1 || k == 10 ? std::string(16 << 20, static_cast<char>(k)) : "small");
  }
  for (const unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(threads);
    fs::remove_all(newGfx);
    fs::create_directory(newGfx);
    RunRecord record;
    EXPECT_TRUE(run(originalGfx, newGfx, {.record = &record, .threads = threads}));
    std::wstring said = LOADED;
    std::optional<std::uint32_t> first;  // the first of the two large ones in the walk
    for (const GraphicRecord& graphic : record.graphics) {
      const std::uint32_t to = *graphic.number == 10 ? 0x0A01 : 0x0A00 + *graphic.number;
      const bool duplicate = to == 0x0A01 && first.has_value();
      if (to == 0x0A01 && !first) first = *graphic.number;
      said += graphicNumberText(*graphic.number) + L" -> " + graphicNumberText(to) +
              (duplicate ? L" duplicate\r\n" : L" copied successfully\r\n");
    }
    EXPECT_EQ(log.text(), said);
    EXPECT_EQ(readFile(newGfx / "0A01.png"), readFile(originalGfx / graphicName(*first)));
  }
}

TEST_F(ConversionRun, SecondRunReportsEveryDestinationAsDuplicate) {
  original.pair(1, 0xC1, 0x0001);
  updated.pair(1, 0xC1, 0x0002);
  addPng("0001.png", "one");
  EXPECT_TRUE(run());
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 0002 duplicate\r\n");
}

TEST_F(ConversionRun, ExistingPngIsNeverOverwritten) {
  original.pair(1, 0xC1, 0x0001);
  updated.pair(1, 0xC1, 0x0002);
  addPng("0001.png", "new picture");
  writeFile(newGfx / "0002.png", "the user's own picture");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 0002 duplicate\r\n");
  const std::string own = "the user's own picture";
  EXPECT_EQ(readFile(newGfx / "0002.png"), Bytes(own.begin(), own.end()));
}

TEST_F(ConversionRun, SilentForNamesNumbersAndAnchorsThatLeadNowhere) {
  original.pair(1, 0xD1, 0x0005).pair(2, 0xD2, 0x0006).pair(3, 0xD3, 0x0000);
  updated.pair(1, 0xD2, 0x0600);
  addPng("0005.png", "anchor missing from the new image");
  addPng("0007.png", "number missing from the original image");
  addPng("0000.png", "number zero");
  addPng("logo.png", "no number");
  addPng("0006.txt", "not a png");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), LOADED);
  EXPECT_EQ(fileNames(newGfx), std::vector<std::string>{});
}

TEST_F(ConversionRun, NamesAreMatchedWithoutRegardToCase) {
  original.pair(1, 0xE1, 0x1A2B).pair(2, 0xE2, 0xABCD).pair(3, 0xE3, 0x0012);
  updated.pair(1, 0xE1, 0x0001).pair(2, 0xE2, 0x0002).pair(3, 0xE3, 0x0003);
  addPng("1a2b.PNG", "lower case digits, upper case extension");
  addPng("ABCDE.png", "five digits");
  addPng("12.Png", "two digits");
  EXPECT_TRUE(run());
  for (const wchar_t* line : {L"1A2B -> 0001 copied successfully\r\n", L"ABCD -> 0002 copied successfully\r\n",
                              L"0012 -> 0003 copied successfully\r\n"})
    EXPECT_NE(log.text().find(line), std::wstring::npos) << testing::PrintToString(std::wstring(line));
  EXPECT_EQ(fileNames(newGfx), (std::vector<std::string>{"0001.png", "0002.png", "0003.png"}));
}

TEST_F(ConversionRun, LastPairRuleHoldsOnBothSides) {
  original.pair(511, 0xF1, 0x0001).pair(510, 0xF2, 0x0002);
  updated.pair(511, 0xF2, 0x0022).pair(0, 0xF1, 0x0011);
  addPng("0001.png", "in the last original pair");
  addPng("0002.png", "anchor in the last new pair");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0002 -> 0022 copied successfully\r\n");
}

TEST_F(ConversionRun, NewNumberAboveFFFFPrintsAllItsDigits) {
  original.pair(1, 0x99, 0x0001);
  updated.pair(1, 0x99, 0x12345);
  addPng("1.png", "big");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 12345 copied successfully\r\n");
  EXPECT_TRUE(fs::exists(newGfx / "12345.png"));
}

TEST_F(ConversionRun, FolderNamedLikeAPngFailsItsCopy) {
  original.pair(1, 0x31, 0x0001);
  updated.pair(1, 0x31, 0x0101);
  fs::create_directory(originalGfx / "0001.png");
  EXPECT_TRUE(run());
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 0101 copy failed.\r\n");
  EXPECT_FALSE(fs::exists(newGfx / "0101.png"));
}

TEST_F(ConversionRun, MissingNewFolderFailsEveryCopy) {
  original.pair(1, 0x32, 0x0001);
  updated.pair(1, 0x32, 0x0102);
  addPng("0001.png", "nowhere to go");
  EXPECT_TRUE(run(originalGfx, dir / "no such folder"));
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 0102 copy failed.\r\n");
  EXPECT_FALSE(fs::exists(dir / "no such folder"));
}

TEST_F(ConversionRun, OriginalFolderMissingOrWithoutPngsCannotBeWalked) {
  addPng("notes.txt", "no png here");
  for (const fs::path& folder : {originalGfx, dir / "no such folder"}) {
    EXPECT_FALSE(run(folder, newGfx));
    EXPECT_EQ(log.text(), std::wstring(LOADED) + L"original gfx dir not found..\r\n");
  }
  platform::MappedImage probe;
  EXPECT_TRUE(probe.open(wide(originalFirmware).c_str())) << "the images were not released";
}

TEST_F(ConversionRun, FirmwareThatCannotBeOpenedEndsTheRunWithItsLine) {
  addPng("0001.png", "x");
  writeFile(originalFirmware, original.bytes());
  EXPECT_FALSE(runConversion({wide(originalFirmware), wide(originalFirmware), wide(originalGfx), wide(newGfx)}, {}));
  EXPECT_EQ(log.text(), L"new firmware file not found..\r\n");
  EXPECT_FALSE(runConversion({wide(dir / "nothing.bin"), wide(originalFirmware), wide(originalGfx), wide(newGfx)}, {}));
  EXPECT_EQ(log.text(), L"new firmware file not found..\r\noriginal firmware file not found..\r\n");
  EXPECT_EQ(fileNames(newGfx), std::vector<std::string>{});
}

TEST_F(ConversionRun, PathsThatDoNotFitTheirBufferAreRefusedNotTruncated) {
  original.pair(1, 0x41, 0x0001);
  updated.pair(1, 0x41, 0x0201);
  addPng("0001.png", "x");
  writeFile(originalFirmware, original.bytes());
  writeFile(newFirmware, updated.bytes());
  // Folder text + separator + "*.png" with its terminator: one character more than a path holds.
  const std::wstring longFolder(platform::PATH_CAPACITY - 6, L'a');
  RunRecord record;
  EXPECT_FALSE(
      runConversion({wide(originalFirmware), wide(newFirmware), longFolder, wide(newGfx)}, {.record = &record}));
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"original gfx dir not found..\r\n");
  EXPECT_EQ(record.walkFailure, platform::PATH_TOO_LONG) << "refused as too long, not as a folder not there";

  // A destination folder text whose "/0201.png" path would need one character more.
  const std::wstring longDestination =
      wide(newGfx) + std::wstring(platform::PATH_CAPACITY - 9 - wide(newGfx).size(), L'b');
  log.clear();
  record = {};
  EXPECT_TRUE(runConversion({wide(originalFirmware), wide(newFirmware), wide(originalGfx), longDestination},
                            {.record = &record}));
  EXPECT_EQ(log.text(), std::wstring(LOADED) + L"0001 -> 0201 copy failed.\r\n");
  ASSERT_EQ(record.graphics.size(), 1u);
  ASSERT_EQ(record.graphics[0].copies.size(), 1u);
  EXPECT_NE(record.graphics[0].copies[0].failure.find(platform::PATH_TOO_LONG), std::wstring::npos)
      << "refused as too long, not as a folder not there";
}
