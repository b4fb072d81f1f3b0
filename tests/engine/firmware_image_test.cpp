#include "engine/firmware_image.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace {

class FirmwareImagePairTest : public testing::Test {
 protected:
  TempDir dir;
  fs::path original = dir / "W800_fw.bin";
  fs::path updated = dir / "W810_fw.bin";
  LogCapture log;

  void SetUp() override {
    writeFile(original, ImageBuilder(5000).fill(0xAB).bytes());
    writeFile(updated, ImageBuilder(8192).fill(0xCD).bytes());
  }

  bool open(FirmwareImagePair& pair, const fs::path& a, const fs::path& b) {
    return openForRun(pair, wide(a).c_str(), wide(b).c_str());
  }

  // Whatever a failed open had opened is released when the file can be held exclusively again.
  static void expectReleased(const fs::path& path) {
    platform::MappedImage file;
    EXPECT_TRUE(file.open(wide(path).c_str())) << path << " is still held";
  }
};

}  // namespace

TEST_F(FirmwareImagePairTest, ReportsLoadingAndBothRegionSizes) {
  FirmwareImagePair pair;
  ASSERT_TRUE(open(pair, original, updated));
  EXPECT_EQ(log.text(), L"files loaded successfully\r\nsource fw size: 00002000\r\nsource fw size: 00002000\r\n");
  EXPECT_EQ(pair.original().regionSize, 8192u);
  EXPECT_EQ(pair.newImage().regionSize, 8192u);
  const auto bytes = pair.original().bytes();
  EXPECT_EQ(bytes[4999], 0xAB);
  for (std::size_t i = 5000; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_F(FirmwareImagePairTest, RegionSizeIsTheLengthRoundedUpToWholePages) {
  const struct {
    std::size_t length;
    const wchar_t* line;
  } cases[] = {{1, L"source fw size: 00001000\r\n"},
               {4096, L"source fw size: 00001000\r\n"},
               {4097, L"source fw size: 00002000\r\n"},
               {65537, L"source fw size: 00011000\r\n"}};
  for (const auto& c : cases) {
    writeFile(original, Bytes(c.length, 1));
    log.clear();
    FirmwareImagePair pair;
    ASSERT_TRUE(open(pair, original, updated)) << c.length;
    EXPECT_EQ(log.text(), std::wstring(L"files loaded successfully\r\n") + c.line + L"source fw size: 00002000\r\n")
        << c.length;
  }
}

TEST_F(FirmwareImagePairTest, HoldsBothFilesUntilReleased) {
  FirmwareImagePair pair;
  ASSERT_TRUE(open(pair, original, updated));
  platform::MappedImage probe;
  EXPECT_FALSE(probe.open(wide(original).c_str()));
  EXPECT_FALSE(probe.open(wide(updated).c_str()));
  pair.release();
  expectReleased(original);
  expectReleased(updated);
}

TEST_F(FirmwareImagePairTest, EachOpeningFailureReportsOneLineAndReleasesEverything) {
  writeFile(dir / "empty.bin", Bytes{});
  fs::create_directory(dir / "folder.bin");
  const struct {
    fs::path original, updated;
    const wchar_t* line;
  } cases[] = {
      {dir / "missing.bin", updated, L"original firmware file not found..\r\n"},
      {dir / "folder.bin", updated, L"original firmware file not found..\r\n"},
      {original, original, L"new firmware file not found..\r\n"},
      {original, dir / "missing.bin", L"new firmware file not found..\r\n"},
      {original, dir / "folder.bin", L"new firmware file not found..\r\n"},
      {dir / "empty.bin", updated, L"original firmware file mapping failed.\r\n"},
      {original, dir / "empty.bin", L"new firmware file mapping failed.\r\n"},
  };
  for (const auto& c : cases) {
    log.clear();
    FirmwareImagePair pair;
    EXPECT_FALSE(open(pair, c.original, c.updated));
    EXPECT_EQ(log.text(), c.line) << c.original << " " << c.updated;
    for (const auto& path : {original, updated, dir / "empty.bin"}) expectReleased(path);
  }
}
