// How the command line shows names: one visible line each, nothing a terminal would act on.
#include "engine/display_text.h"

#include <gtest/gtest.h>

#include "platform/utf8.h"

TEST(DisplayText, KeepsOrdinaryNamesAsTheyAre) {
  for (const std::wstring name : {L"0A1B.png", L"логотип 1F.png", L"图像 - copy (2).png", L"\U0001F600.png", L""})
    EXPECT_EQ(displayText(name), name);
}

TEST(DisplayText, QuotesAndEscapesEveryNameThatCouldBreakALineDriveATerminalOrReadTwoWays) {
  const struct {
    std::wstring name, shown;
  } cases[] = {
      {L"zz\ncopied:      999\nfailed:      0.png", L"\"zz\\ncopied:      999\\nfailed:      0.png\""},
      {L"\x1B]0;owned\a.png", L"\"\\x1B]0;owned\\x07.png\""},
      {L"\x1B[2J.png", L"\"\\x1B[2J.png\""},
      {L"a\tb\rc.png", L"\"a\\tb\\rc.png\""},
      {L"del\x7F.png", L"\"del\\x7F.png\""},
      {L"c1\x9B"
       L"2J.png",
       L"\"c1\\u009B2J.png\""},
      {L"line\x2028sep.png", L"\"line\\u2028sep.png\""},
      {L"gnp.\x202Exe", L"\"gnp.\\u202Exe\""},
      // A name that reads as the quoted form of another is quoted itself.
      {L"\"a\\tb\"", L"\"\\\"a\\\\tb\\\"\""},
      {L"say \"hi\".png", L"\"say \\\"hi\\\".png\""},
      // A backslash is a separator on Windows, shown as it stands; on Linux it is part of a name.
      {L"back\\slash.png", sizeof(wchar_t) == 4 ? L"\"back\\\\slash.png\"" : L"back\\slash.png"},
      {L"Z:\\tmp\\gfx new\\0A01.png",
       sizeof(wchar_t) == 4 ? L"\"Z:\\\\tmp\\\\gfx new\\\\0A01.png\"" : L"Z:\\tmp\\gfx new\\0A01.png"},
  };
  for (const auto& c : cases) EXPECT_EQ(displayText(c.name), c.shown) << platform::toUtf8(c.name);
}

TEST(DisplayText, ShowsNamesThatAreNotValidTextUnambiguously) {
  // A lone surrogate: on POSIX the decoded form of a byte that was not UTF-8 (shown as that
  // byte), elsewhere a name that was not valid UTF-16.
  const std::wstring lone(1, static_cast<wchar_t>(0xDC80));
  const std::wstring shown = displayText(L"x" + lone + L".png");
  if constexpr (sizeof(wchar_t) == 4)
    EXPECT_EQ(shown, L"\"x\\x80.png\"");
  else
    EXPECT_EQ(shown, L"\"x\\uDC80.png\"");
  EXPECT_NE(displayText(L"x\x80.png"), shown) << "a C1 control and a stray byte must look different";
}
