#include "platform/utf8.h"
#include "platform/phrase.h"

#include <gtest/gtest.h>

TEST(Utf8, EncodesAndDecodesEveryPlane) {
  const std::wstring text = L"gfx \u00e9\u4e2d\U0001F600";
  const std::string bytes = "gfx \xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";
  EXPECT_EQ(platform::toUtf8(text), bytes);
  EXPECT_EQ(platform::fromUtf8(bytes), text);
}

TEST(Utf8, InvalidBytesSurviveTheRoundTrip) {
  for (const std::string bytes :
       {"\xff", "a\x80z", "\xc3", "\xe4\xb8", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80"}) {
    const std::wstring decoded = platform::fromUtf8(bytes);
    for (wchar_t c : decoded) EXPECT_TRUE(c < 0x80 || (c >= 0xDC80 && c <= 0xDCFF)) << static_cast<unsigned>(c);
    EXPECT_EQ(platform::toUtf8(decoded), bytes);
  }
}

TEST(Utf8, ASystemMessageBecomesAPhraseKeepingAbbreviations) {
  for (const auto& [message, phrase] :
       {std::pair{L"Access is denied.\r\n", L"access is denied"}, std::pair{L"I/O device error. ", L"I/O device error"},
        std::pair{L"CRC error.", L"CRC error"}, std::pair{L"A", L"a"}})
    EXPECT_EQ(platform::asPhrase(message), phrase);
}
