// The check that decides whether a picture is embedded in a report: a PNG whose every chunk is
// whole and correct.
#include "engine/png_check.h"

#include <gtest/gtest.h>

#include "support/tiny_png.h"

TEST(PngCheck, AcceptsWellFormedFilesOnly) {
  PngSize size;
  EXPECT_TRUE(isWellFormedPng(TINY_PNG, size));
  EXPECT_EQ(size.width, 2u);
  EXPECT_EQ(size.height, 1u);
  EXPECT_TRUE(isWellFormedPng(TINY_PNG + "trailing", size)) << "bytes after IEND are ignored";
  EXPECT_FALSE(isWellFormedPng(TINY_PNG.substr(0, 70), size));
  EXPECT_FALSE(isWellFormedPng(TINY_PNG.substr(0, 33), size));
  EXPECT_FALSE(isWellFormedPng("", size));
  std::string wrong = TINY_PNG;
  wrong[1] = 'Q';
  EXPECT_FALSE(isWellFormedPng(wrong, size));
  // IHDR then IEND: no picture data.
  EXPECT_FALSE(isWellFormedPng(TINY_PNG.substr(0, 33) + TINY_PNG.substr(59), size));
  std::string huge = TINY_PNG;
  huge[33] = '\x7f';  // an IDAT length far past the end
  EXPECT_FALSE(isWellFormedPng(huge, size));
}
