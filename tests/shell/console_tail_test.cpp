#include "shell/console_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::wstring tail(std::wstring_view text, std::size_t lines) {
  return std::wstring(text.substr(tailStart(text, lines)));
}
}  // namespace

TEST(ConsoleTail, CountsTheEmptyLineAfterTheLastBreakAndStartsAfterABreak) {
  const std::wstring_view text = L"one\r\ntwo\r\nthree\r\n";
  EXPECT_EQ(tail(text, 0), L"");
  EXPECT_EQ(tail(text, 1), L"");
  EXPECT_EQ(tail(text, 2), L"three\r\n");
  EXPECT_EQ(tail(text, 3), L"two\r\nthree\r\n");
  EXPECT_EQ(tail(text, 4), text);
  EXPECT_EQ(tail(text, 100), text);
}

TEST(ConsoleTail, AFrontCutInsideALineAndTextsWithoutBreaks) {
  // The buffer drops characters at its front, so its first line may be a part of one.
  EXPECT_EQ(tail(L"rt of a line\r\nlast", 1), L"last");
  EXPECT_EQ(tail(L"rt of a line\r\nlast", 2), L"rt of a line\r\nlast");
  EXPECT_EQ(tail(L"no break at all", 1), L"no break at all");
  EXPECT_EQ(tail(L"", 3), L"");
  EXPECT_EQ(tail(L"\n\n", 2), L"\n");
}
