#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_files.h"

namespace {

std::vector<std::wstring> walk(const fs::path& folder, const std::wstring& mask) {
  std::vector<std::wstring> names;
  platform::DirectoryWalk walk;
  const std::wstring pattern = wide(folder) + platform::PATH_SEPARATOR + mask;
  if (walk.start(pattern.c_str())) {
    do names.push_back(walk.name());
    while (walk.next());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(DirectoryWalk, MatchesPngNamesWithoutRegardToCaseFoldersIncluded) {
  TempDir dir;
  for (const char* name : {"a.png", "B.PNG", "c.Png", "d.txt", "png", "e.png.bak"}) writeFile(dir / name, "x");
  fs::create_directory(dir / "f.png");
  EXPECT_EQ(walk(dir.path(), L"*.png"), (std::vector<std::wstring>{L"B.PNG", L"a.png", L"c.Png", L"f.png"}));
}

TEST(DirectoryWalk, CannotStartOnAMissingFolderOrWithoutAMatch) {
  TempDir dir;
  writeFile(dir / "a.txt", "x");
  platform::DirectoryWalk walk;
  EXPECT_FALSE(walk.start((wide(dir.path()) + platform::PATH_SEPARATOR + L"*.png").c_str()));
  EXPECT_FALSE(walk.start((wide(dir / "missing") + platform::PATH_SEPARATOR + L"*.png").c_str()));
}

TEST(MappedImage, SecondOpenFailsUntilTheFirstIsReleased) {
  TempDir dir;
  writeFile(dir / "fw.bin", "data");
  const std::wstring path = wide(dir / "fw.bin");
  platform::MappedImage first, second;
  ASSERT_TRUE(first.open(path.c_str()));
  EXPECT_FALSE(second.open(path.c_str()));
  first.release();
  EXPECT_TRUE(second.open(path.c_str()));
}

TEST(MappedImage, PagesLostWhileMappedReadAsZeroAndTheImageCountsAsChanged) {
  TempDir dir;
  writeFile(dir / "fw.bin", Bytes(3 * 4096, 0xAB));
  const std::wstring path = wide(dir / "fw.bin");
  platform::MappedImage image;
  ASSERT_TRUE(image.open(path.c_str()) && image.createMapping() && image.mapView());
  const std::uint32_t size = image.queryRegionSize();
  ASSERT_TRUE(image.unchangedSinceMapped());
  loseMappedPages(dir / "fw.bin", image.base(), size);
  unsigned sum = 0;
  for (std::uint32_t i = 0; i < size; ++i) sum += image.base()[i];
  EXPECT_EQ(sum, 0u) << "no fault ends the process; what is lost reads as zero";
  EXPECT_FALSE(image.unchangedSinceMapped());
  image.release();
}

TEST(CopyWithoutOverwrite, HasThreeOutcomesAndNeverReplaces) {
  TempDir dir;
  writeFile(dir / "source.png", "source bytes");
  writeFile(dir / "taken.png", "older bytes");
  fs::create_directory(dir / "folder.png");
  const auto copy = [&](const fs::path& from, const fs::path& to) {
    platform::CopyFailure failure;
    return platform::copyWithoutOverwrite(wide(from).c_str(), wide(to).c_str(), failure);
  };
  EXPECT_EQ(copy(dir / "source.png", dir / "fresh.png"), platform::CopyOutcome::Copied);
  EXPECT_EQ(readFile(dir / "fresh.png"), readFile(dir / "source.png"));
  EXPECT_EQ(copy(dir / "source.png", dir / "taken.png"), platform::CopyOutcome::DestinationExists);
  EXPECT_EQ(copy(dir / "source.png", dir / "source.png"), platform::CopyOutcome::DestinationExists);
  EXPECT_EQ(copy(dir / "missing.png", dir / "other.png"), platform::CopyOutcome::Failed);
  EXPECT_EQ(copy(dir / "folder.png", dir / "other.png"), platform::CopyOutcome::Failed);
  EXPECT_EQ(copy(dir / "source.png", dir / "missing" / "other.png"), platform::CopyOutcome::Failed);
  EXPECT_EQ(readFile(dir / "taken.png"), (Bytes{'o', 'l', 'd', 'e', 'r', ' ', 'b', 'y', 't', 'e', 's'}));
  // Nothing left behind but what was there and the one copy.
  EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"folder.png", "fresh.png", "source.png", "taken.png"}));
}

TEST(CopyWithoutOverwrite, CopiesLargeFilesWhole) {
  TempDir dir;
  Bytes big(300 * 1024 + 17);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
  writeFile(dir / "big.png", big);
  platform::CopyFailure failure;
  EXPECT_EQ(platform::copyWithoutOverwrite(wide(dir / "big.png").c_str(), wide(dir / "copy.png").c_str(), failure),
            platform::CopyOutcome::Copied);
  EXPECT_EQ(readFile(dir / "copy.png"), big);
}

TEST(ReplaceFileAtomically, ReplacesWholeOrLeavesTheOldFile) {
  TempDir dir;
  std::wstring why;
  const fs::path report = dir / "report.html";
  writeFile(report, "old report");
  ASSERT_TRUE(platform::replaceFileAtomically(wide(report).c_str(), "new report", why));
  const Bytes replaced = readFile(report);
  EXPECT_EQ(std::string(replaced.begin(), replaced.end()), "new report");
  EXPECT_EQ(fileNames(dir.path()), std::vector<std::string>{"report.html"});
  // Each refusal keeps the system's reason.
  EXPECT_FALSE(platform::replaceFileAtomically(wide(dir / "missing" / "report.html").c_str(), "x", why));
  EXPECT_FALSE(why.empty());
  fs::create_directory(dir / "folder.html");
  why.clear();
  EXPECT_FALSE(platform::replaceFileAtomically(wide(dir / "folder.html").c_str(), "x", why));
  EXPECT_FALSE(why.empty());
  EXPECT_TRUE(fs::is_directory(dir / "folder.html"));
  EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"folder.html", "report.html"}))
      << "no temporary file left";

  // The longest name a folder entry may have: the temporary name beside it must still fit.
  const fs::path longest = dir / (std::string(250, 'r') + ".html");
  EXPECT_TRUE(platform::replaceFileAtomically(wide(longest).c_str(), "long", why));
  EXPECT_EQ(readFile(longest).size(), 4u);
}
