#include "harness/literal_search.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace {

std::vector<std::uint32_t> translate(const ImageBuilder& original, const ImageBuilder& updated, std::uint32_t number) {
  std::vector<std::uint32_t> newNumbers;
  translateLiterally(original.bytes(), updated.bytes(), number, newNumbers);
  return newNumbers;
}

using Numbers = std::vector<std::uint32_t>;

}  // namespace

TEST(LiteralSearch, ReadsPairsAsLittleEndianWords) {
  ImageBuilder image(16);
  image.pair(1, 0x11223344, 0xA0B0C0D0);
  EXPECT_EQ(image.bytes()[8], 0x44);
  const IdPair pair = readPair(image.bytes(), 1);
  EXPECT_EQ(pair.anchor, 0x11223344u);
  EXPECT_EQ(pair.gfx_id, 0xA0B0C0D0u);
}

TEST(LiteralSearch, EveryOriginalPairGivesOneTranslationInAscendingOrder) {
  ImageBuilder original(4096), updated(4096);
  original.pair(10, 0xAAAA, 0x1A2B).pair(3, 0xBBBB, 0x1A2B).pair(7, 0xCCCC, 0x1A2B);
  updated.pair(5, 0xAAAA, 0x0100).pair(6, 0xBBBB, 0x0200);  // no 0xCCCC: that pair gives nothing
  EXPECT_EQ(translate(original, updated, 0x1A2B), (Numbers{0x0200, 0x0100}));
  EXPECT_EQ(translate(original, updated, 0x1A2C), Numbers{});
}

TEST(LiteralSearch, TheFirstEqualAnchorOfTheNewImageWins) {
  ImageBuilder original(4096), updated(4096);
  original.pair(0, 0x5555, 0x0042);
  updated.pair(9, 0x5555, 0x0900).pair(4, 0x5555, 0x0400).pair(100, 0x5555, 0x1000);
  EXPECT_EQ(translate(original, updated, 0x0042), Numbers{0x0400});
}

TEST(LiteralSearch, TheLastPairOfTheOriginalRegionIsNeverExamined) {
  ImageBuilder original(4096), updated(4096);
  original.pair(510, 0x7001, 0x0031).pair(511, 0x7002, 0x0032);
  updated.pair(0, 0x7001, 0x0131).pair(1, 0x7002, 0x0132);
  EXPECT_EQ(translate(original, updated, 0x0031), Numbers{0x0131});
  EXPECT_EQ(translate(original, updated, 0x0032), Numbers{});
}

TEST(LiteralSearch, TheLastPairOfTheNewRegionIsExamined) {
  ImageBuilder original(4096), updated(4096);
  original.pair(0, 0x7003, 0x0033);
  updated.fill(0xEE).pair(511, 0x7003, 0x0133);
  EXPECT_EQ(translate(original, updated, 0x0033), Numbers{0x0133});
}

TEST(LiteralSearch, AnchorZeroAndNumberZeroAreOrdinaryValues) {
  // Anchor 0 finds the zero padding of the new image: pair 0, whose number is 0.
  ImageBuilder original(4096), updated(4096);
  original.fill(0xFF).pair(2, 0, 0x0044);
  EXPECT_EQ(translate(original, updated, 0x0044), Numbers{0});
}

TEST(LiteralSearch, ImagesTooSmallForAPairFindNothing) {
  for (std::size_t length : {0u, 7u, 8u, 15u}) {
    ImageBuilder original(length), updated(length);
    EXPECT_EQ(translate(original, updated, 0), Numbers{}) << length;
  }
  ImageBuilder original(16), updated(8);
  original.pair(0, 1, 9);
  updated.pair(0, 1, 2);
  EXPECT_EQ(translate(original, updated, 9), Numbers{2});
}
