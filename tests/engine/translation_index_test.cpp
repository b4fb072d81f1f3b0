#include "engine/translation_index.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "engine/conversion.h"
#include "engine/graphic_number.h"
#include "harness/literal_search.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "xorshift32.h"

namespace {

// Few distinct numbers and anchors, so numbers repeat in many pairs and anchors repeat in the
// new image; zero runs, so anchor 0 meets zero padding; and odd lengths.
Bytes hardImage(Xorshift32& random, std::size_t length) {
  Bytes image(length, 0);
  static const std::uint32_t WORDS[] = {0, 1, 2, 3, 0xFFFF, 0x10000, 0xFFFFFFFF, 0x1A2B, 0xFFFFFFFE};
  for (std::size_t at = 0; at + 4 <= length; at += 4) {
    if (random.below(4) == 0) continue;  // leave zeros
    const std::uint32_t word = WORDS[random.below(sizeof WORDS / sizeof WORDS[0])];
    for (int b = 0; b < 4; ++b) image[at + b] = static_cast<std::uint8_t>(word >> (8 * b));
  }
  return image;
}

}  // namespace

TEST(TranslationIndex, FindsExactlyWhatTheLiteralSearchesFind) {
  const std::uint32_t numbers[] = {0, 1, 2, 3, 0xFFFF, 0x10000, 0xFFFFFFFF, 0x1A2B, 0xFFFFFFFE, 77};
  Xorshift32 random{12345};
  for (int round = 0; round < 600; ++round) {
    const Bytes original = hardImage(random, random.below(600));
    const Bytes updated = hardImage(random, random.below(600));
    TranslationIndex index;
    // Half the rounds read each image in two halves on two threads.
    index.build(original, updated, std::vector<std::uint32_t>(std::begin(numbers), std::end(numbers)),
                round % 2 ? 2 : TranslationIndex::PAIRS_WORTH_A_THREAD);
    for (std::uint32_t number : numbers) {
      std::vector<std::uint32_t> expected;
      translateLiterally(original, updated, number, expected);
      ASSERT_EQ(newNumbersFound(index, number), expected)
          << "round " << round << " number " << number << " sizes " << original.size() << "/" << updated.size();
    }
  }
}

TEST(TranslationIndex, PairsInTheLastEightBytesFollowTheLiteralRule) {
  ImageBuilder original(4096), updated(4096);
  original.pair(511, 0x10, 0x0001).pair(510, 0x11, 0x0002);
  updated.pair(511, 0x11, 0x0022).pair(0, 0x10, 0x0011);
  TranslationIndex index;
  index.build(original.bytes(), updated.bytes(), {1, 2});
  EXPECT_EQ(newNumbersFound(index, 1), std::vector<std::uint32_t>{});
  EXPECT_EQ(newNumbersFound(index, 2), std::vector<std::uint32_t>{0x0022});
}

// A whole run gives the console text and files of the literal searches.
TEST(TranslationIndex, WholeRunMatchesTheLiteralReference) {
  TempDir dir;
  Xorshift32 random{777};
  const Bytes original = hardImage(random, 4096 * 2 + 100), updated = hardImage(random, 4096 + 4);
  writeFile(dir / "W800.bin", original);
  writeFile(dir / "W810.bin", updated);
  fs::create_directory(dir / "old");
  fs::create_directory(dir / "new");
  for (const char* name : {"1.png", "0001 again.png", "2.png", "3.png", "ffff.png", "-1.png", "-2.png", "+1a2b.png",
                           "1A2B.png", "0x3.png", "logo.png", "0.png"})
    writeFile(dir / "old" / name, name);

  LogCapture log;
  ASSERT_TRUE(
      runConversion({wide(dir / "W800.bin"), wide(dir / "W810.bin"), wide(dir / "old"), wide(dir / "new")}, {}));

  // The reference: the walk in the OS's order, the literal searches, the first copy per name.
  std::wstring expected = L"files loaded successfully\r\nsource fw size: 00003000\r\nsource fw size: 00002000\r\n";
  std::map<std::uint32_t, std::wstring> firstSource;
  platform::DirectoryWalk walk;
  ASSERT_TRUE(walk.start((wide(dir / "old") + platform::PATH_SEPARATOR + L"*.png").c_str()));
  Bytes paddedOriginal = original, paddedUpdated = updated;
  paddedOriginal.resize(0x3000, 0);
  paddedUpdated.resize(0x2000, 0);
  do {
    const auto number = scanGraphicNumber(walk.name());
    if (!number || *number == 0) continue;
    std::vector<std::uint32_t> newNumbers;
    translateLiterally(paddedOriginal, paddedUpdated, *number, newNumbers);
    for (std::uint32_t newNumber : newNumbers) {
      wchar_t line[64];
      const bool first = firstSource.emplace(newNumber, walk.name()).second;
      std::swprintf(line, 64, L"%04X -> %04X%ls\r\n", *number, newNumber,
                    first ? L" copied successfully" : L" duplicate");
      expected += line;
    }
  } while (walk.next());
  EXPECT_EQ(log.text(), expected);
  EXPECT_FALSE(firstSource.empty());
  for (const auto& [newNumber, source] : firstSource) {
    wchar_t name[16];
    std::swprintf(name, 16, L"%04X.png", newNumber);
    EXPECT_EQ(readFile(dir.path() / "new" / fs::path(name)), readFile(dir.path() / "old" / fs::path(source)));
  }
}
