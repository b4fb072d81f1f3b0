// Runs over inputs nobody chose kindly: firmware files of awkward sizes, folder texts and
// composed paths at the edges of their buffers, odd file names, a very full folder. Every run
// leaves the firmware files and the pre-existing PNGs as they were.
#include <gtest/gtest.h>

#include <cwchar>

#include "engine/conversion.h"
#include "platform/platform.h"
#include "support/test_files.h"

namespace {

// Composed with append: GCC 12 warns falsely (-Wrestrict) on a literal + std::string.
std::string labelled(const char* label, std::size_t number, const char* unit = "") {
  std::string text(label);
  text += std::to_string(number);
  text += unit;
  return text;
}

std::wstring regionLine(std::size_t length) {
  wchar_t line[64];
  std::swprintf(line, 64, L"source fw size: %08X\r\n", static_cast<unsigned>((length + 4095) / 4096 * 4096));
  return line;
}

struct HostilePack : RunFolders {
  LogCapture log;
  RunRecord record;  // of the last run
  // Runs and checks that no firmware file and no PNG that was there before changed.
  bool run(const std::wstring& from, const std::wstring& to) {
    FileSnapshot snapshot;
    snapshot.add(dir.path());
    log.clear();
    record = {};
    const bool walked = runConversion({wide(originalFirmware), wide(newFirmware), from, to}, {.record = &record});
    snapshot.expectUnchanged();
    return walked;
  }
  bool run() { return run(wide(originalGfx), wide(newGfx)); }
};

// An image of a given length filled with 0xEE, with one pair at k when it fits in the file.
Bytes imageWithPair(std::size_t length, std::size_t k, std::uint32_t anchor, std::uint32_t gfxId) {
  ImageBuilder image(length);
  image.fill(0xEE);
  if (8 * k + 8 <= length) image.pair(k, anchor, gfxId);
  return image.bytes();
}

}  // namespace

TEST(HostileInputs, FirmwareFilesOfEveryAwkwardSize) {
  const std::size_t sizes[] = {0, 1, 7, 8, 4095, 4096, 4097, 64u << 20};
  for (const bool originalSide : {true, false}) {
    for (const std::size_t size : sizes) {
      SCOPED_TRACE(labelled(originalSide ? "original of " : "new of ", size, " bytes"));
      HostilePack pack;
      const std::size_t region = (size + 4095) / 4096 * 4096;
      // The last pair the search looks at: the original's second to last, the new image's last,
      // both counted in the region; it is written only where it lies inside the file.
      const std::size_t last = originalSide ? region / 8 - 2 : region / 8 - 1;
      const std::size_t k = std::min(size / 8 == 0 ? 0 : size / 8 - 1, size == 0 ? 0 : last);
      if (originalSide) {
        writeFile(pack.originalFirmware, imageWithPair(size, k, 0x71, 0x0001));
        writeFile(pack.newFirmware, ImageBuilder(4096).pair(3, 0x71, 0x0B01).bytes());
      } else {
        writeFile(pack.originalFirmware, ImageBuilder(4096).pair(3, 0x71, 0x0001).bytes());
        writeFile(pack.newFirmware, imageWithPair(size, k, 0x71, 0x0B01));
      }
      writeFile(pack.originalGfx / "0001.png", "picture");
      const bool walked = pack.run();
      if (size == 0) {
        EXPECT_FALSE(walked);
        EXPECT_EQ(pack.log.text(), originalSide ? L"original firmware file mapping failed.\r\n"
                                                : L"new firmware file mapping failed.\r\n");
        continue;
      }
      ASSERT_TRUE(walked) << testing::PrintToString(pack.log.text());
      std::wstring expected = L"files loaded successfully\r\n";
      expected += originalSide ? regionLine(size) + regionLine(4096) : regionLine(4096) + regionLine(size);
      if (size >= 8) expected += L"0001 -> 0B01 copied successfully\r\n";
      EXPECT_EQ(pack.log.text(), expected);
    }
  }
}

namespace {

// The text of a folder under base whose path is exactly length characters, made of components
// short enough for every file system.
std::wstring pathOfLength(const fs::path& base, std::size_t length) {
  std::wstring text = wide(base);
  while (text.size() < length) {
    const std::size_t room = length - text.size() - 1;  // one for the separator
    // Never leave a remainder too short for a component of its own.
    const std::size_t part = room > 200 ? std::min<std::size_t>(150, room - 1) : room;
    text += platform::PATH_SEPARATOR;
    text += std::wstring(part, L'd');
  }
  return text;
}

fs::path folderOfLength(const fs::path& base, std::size_t length) {
  const fs::path folder(pathOfLength(base, length));
  fs::create_directories(folder);
  return folder;
}

}  // namespace

TEST(HostileInputs, FolderTextsAroundTheEditLimitWork) {
  for (const std::size_t length : {259u, 260u, 261u}) {
    SCOPED_TRACE(labelled("folders of ", length, " characters"));
    HostilePack pack;
    writeFile(pack.originalFirmware, ImageBuilder(4096).pair(1, 0x72, 0x0001).bytes());
    writeFile(pack.newFirmware, ImageBuilder(4096).pair(1, 0x72, 0x0C01).bytes());
    const fs::path from = folderOfLength(pack.dir / "o", length);
    const fs::path to = folderOfLength(pack.dir / "n", length);
    ASSERT_EQ(wide(from).size(), length);
    writeFile(from / "0001.png", "picture");
    EXPECT_TRUE(pack.run(wide(from), wide(to)));
    EXPECT_NE(pack.log.text().find(L"0001 -> 0C01 copied successfully\r\n"), std::wstring::npos)
        << testing::PrintToString(pack.log.text());
    EXPECT_EQ(readFile(to / "0C01.png"), readFile(from / "0001.png"));
  }
}

namespace {

// Folders of paths past 260 characters, beside the test's own: made and removed through the
// system's calls, which take such paths on both systems.
class LongFolders {
 public:
  ~LongFolders() { removeFolderTree(wide(base_.path())); }
  // A folder whose path text is exactly length characters.
  std::wstring make(const wchar_t* name, std::size_t length) {
    const std::wstring text = pathOfLength(base_.path() / name, length);
    EXPECT_TRUE(makeFolders(text)) << text.size() << " characters";
    return text;
  }

 private:
  TempDir base_;
};

}  // namespace

// Composed paths as long as the system takes work; beyond that they are refused, never cut.
TEST(HostileInputs, ComposedPathsAsLongAsTheSystemTakesWorkAndLongerAreRefused) {
  HostilePack pack;
  LongFolders far;
  writeFile(pack.originalFirmware, ImageBuilder(4096).pair(1, 0x73, 0x0001).bytes());
  writeFile(pack.newFirmware, ImageBuilder(4096).pair(1, 0x73, 0x0D01).bytes());
  writeFile(pack.originalGfx / "0001.png", "picture");
  const std::wstring beyond(platform::PATH_CAPACITY - 8, L'd');  // with "/0D01.png", one too many
  const struct {
    std::wstring originalGfx, newGfx;
    bool walked;
    const wchar_t* line;
  } cases[] = {
      {far.make(L"o", 600), far.make(L"n600", 600), true, L"0001 -> 0D01 copied successfully\r\n"},
      {wide(pack.originalGfx), far.make(L"n2000", 2000), true, L"0001 -> 0D01 copied successfully\r\n"},
      {wide(pack.originalGfx), beyond, true, L"0001 -> 0D01 copy failed.\r\n"},
      {beyond, wide(pack.newGfx), false, L"original gfx dir not found..\r\n"},
  };
  std::wstring why;
  ASSERT_TRUE(
      platform::replaceFileAtomically(platform::inFolder(cases[0].originalGfx, L"0001.png").c_str(), "picture", why))
      << testing::PrintToString(why);
  for (const auto& c : cases) {
    SCOPED_TRACE(labelled("folders of ", c.originalGfx.size(), " characters") + labelled(" and ", c.newGfx.size()));
    EXPECT_EQ(pack.run(c.originalGfx, c.newGfx), c.walked);
    EXPECT_NE(pack.log.text().find(c.line), std::wstring::npos) << testing::PrintToString(pack.log.text());
    // Refused as too long (by this program, or by the system where its limit is lower), not for
    // a folder that is not there.
    const bool refused = c.originalGfx == beyond || c.newGfx == beyond;
    const std::wstring& reason = c.walked ? pack.record.graphics.at(0).copies.at(0).failure : pack.record.walkFailure;
    EXPECT_EQ(reason.find(L"too long") != std::wstring::npos, refused) << testing::PrintToString(reason);
    std::string copied;
    if (c.walked && c.newGfx != beyond) {
      EXPECT_TRUE(platform::readWholeFile(platform::inFolder(c.newGfx, L"0D01.png").c_str(), copied, 64) &&
                  copied == "picture")
          << "the copy in the folder of " << c.newGfx.size() << " characters";
    }
  }
}

TEST(HostileInputs, FileNamesWithSpacesSignsPrefixesAndAnyCharacters) {
  HostilePack pack;
  const std::uint32_t numbers[] = {0x1, 0x2, 0xFFFFFFFF, 0x3, 0x4, 0x5, 0x6};
  ImageBuilder original(4096), updated(4096);
  for (std::size_t i = 0; i < std::size(numbers); ++i) {
    original.pair(i, 0x900 + static_cast<std::uint32_t>(i), numbers[i]);
    updated.pair(i, 0x900 + static_cast<std::uint32_t>(i), 0xE00 + static_cast<std::uint32_t>(i));
  }
  original.pair(20, 0x999, 0x0);  // a pair for number 0, which no name may reach
  updated.pair(20, 0x999, 0xEFF);
  writeFile(pack.originalFirmware, original.bytes());
  writeFile(pack.newFirmware, updated.bytes());
  const char8_t* carried[] = {
      u8" 1.png", u8"+2.png", u8"-1.png", u8"0x3.png", u8"0X4z.png", u8"5 \u00e9t\u00e9.png", u8"6\U0001F600.png"};
  const char8_t* skipped[] = {u8"0x.png", u8"\U0001F600.png", u8"\u00e97.png", u8"+-8.png", u8"0000.png", u8"-.png"};
  for (const char8_t* name : carried) writeFile(pack.originalGfx / fs::path(name), "picture");
  for (const char8_t* name : skipped) writeFile(pack.originalGfx / fs::path(name), "not carried");
  EXPECT_TRUE(pack.run());
  const std::wstring& text = pack.log.text();
  for (const wchar_t* line : {L"0001 -> 0E00 copied successfully\r\n", L"0002 -> 0E01 copied successfully\r\n",
                              L"FFFFFFFF -> 0E02 copied successfully\r\n", L"0003 -> 0E03 copied successfully\r\n",
                              L"0004 -> 0E04 copied successfully\r\n", L"0005 -> 0E05 copied successfully\r\n",
                              L"0006 -> 0E06 copied successfully\r\n"})
    EXPECT_NE(text.find(line), std::wstring::npos) << testing::PrintToString(line) << testing::PrintToString(text);
  EXPECT_EQ(text.find(L"0EFF"), std::wstring::npos) << "number 0 is never carried";
  EXPECT_EQ(fileNames(pack.newGfx).size(), 7u);
}

TEST(HostileInputs, TenThousandPngsInOneFolder) {
  HostilePack pack;
  constexpr std::uint32_t COUNT = 10000;
  ImageBuilder original(8 * (COUNT + 2)), updated(8 * (COUNT + 2));
  for (std::uint32_t i = 1; i <= COUNT; ++i) {
    original.pair(i, 0x100000 + i, i);
    updated.pair(COUNT + 1 - i, 0x100000 + i, 0x4000 + i);  // the new table in the other order
  }
  writeFile(pack.originalFirmware, original.bytes());
  writeFile(pack.newFirmware, updated.bytes());
  for (std::uint32_t i = 1; i <= COUNT; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%04X.png", i);
    writeFile(pack.originalGfx / name, name);
  }
  EXPECT_TRUE(pack.run());
  const std::wstring& text = pack.log.text();
  std::size_t copied = 0;
  for (std::size_t at = 0; (at = text.find(L" copied successfully\r\n", at)) != std::wstring::npos; ++at) ++copied;
  EXPECT_EQ(copied, COUNT);
  EXPECT_NE(text.find(L"2710 -> 6710 copied successfully\r\n"), std::wstring::npos);
  EXPECT_EQ(fileNames(pack.newGfx).size(), COUNT);
  EXPECT_EQ(readFile(pack.newGfx / "4001.png"), readFile(pack.originalGfx / "0001.png"));
}
