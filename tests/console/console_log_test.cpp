#include "console/console_log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "console/append_log.h"

namespace {

// A console holding exactly `length` characters, each telling its position.
std::unique_ptr<ConsoleLog> consoleHolding(std::size_t length) {
  auto log = std::make_unique<ConsoleLog>();
  std::wstring text;
  for (std::size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'A' + i % 26);
  // One append holds fewer than LOG_CAPACITY characters, so fill in two.
  EXPECT_TRUE(log->append(std::wstring_view(text).substr(0, length / 2)));
  EXPECT_TRUE(log->append(std::wstring_view(text).substr(length / 2)));
  EXPECT_EQ(log->text().size(), length);
  return log;
}

}  // namespace

TEST(ConsoleLog, StartsWithTheWelcomeTextVerbatim) {
  auto log = std::make_unique<ConsoleLog>();
  log->append(L"left over");
  log->startWithWelcome();
  EXPECT_EQ(log->text(),
            L"Welcome to the console\r\nPlease select your source and destination gfx directories below.\r\n"
            L"...\r\n...\r\n...\r\nPlease?\r\n\r\nMade by tarvellion.\r\n\r\n");
  EXPECT_EQ(log->text().size(), 139u);
}

TEST(ConsoleLog, KeepsEverythingWhileUnderTheCapacity) {
  auto log = consoleHolding(100);
  const std::wstring before(log->text());
  EXPECT_TRUE(log->append(std::wstring(50, L'x')));
  EXPECT_EQ(log->text(), before + std::wstring(50, L'x'));
}

TEST(ConsoleLog, DropsTheOldestCharactersToStayAtTheCapacity) {
  // Ten short of the capacity, then twenty more: the ten oldest go.
  auto log = consoleHolding(LOG_CAPACITY - 10);
  const std::wstring before(log->text());
  EXPECT_TRUE(log->append(std::wstring(20, L'x')));
  EXPECT_EQ(log->text().size(), LOG_CAPACITY);
  EXPECT_EQ(log->text(), before.substr(10) + std::wstring(20, L'x'));
}

TEST(ConsoleLog, LongestAcceptedTextKeepsOneOldCharacter) {
  auto log = consoleHolding(LOG_CAPACITY);
  const wchar_t last = log->text().back();
  const std::wstring text(LOG_CAPACITY - 1, L'n');
  EXPECT_TRUE(log->append(text));
  EXPECT_EQ(log->text().size(), LOG_CAPACITY);
  EXPECT_EQ(log->text().front(), last);
  EXPECT_EQ(log->text().substr(1), text);
  EXPECT_EQ(log->c_str()[LOG_CAPACITY], L'\0');
}

TEST(ConsoleLog, RefusesTextsOfTheCapacityOrLonger) {
  for (std::size_t length : {LOG_CAPACITY, LOG_CAPACITY + 1, 2 * LOG_CAPACITY}) {
    auto log = consoleHolding(LOG_CAPACITY - 5);
    const std::wstring before(log->text());
    EXPECT_FALSE(log->append(std::wstring(length, L'z'))) << length;
    EXPECT_EQ(log->text(), before) << length;
  }
}

TEST(ConsoleLog, TwoAppendsMakeOneLine) {
  auto log = std::make_unique<ConsoleLog>();
  log->append(L"1A2B -> 1C40");
  log->append(L" copied successfully\r\n");
  EXPECT_EQ(log->text(), L"1A2B -> 1C40 copied successfully\r\n");
}

TEST(AppendLog, DeliversToTheInstalledSinkAndPassesItsAnswerBack) {
  struct Sink {
    std::wstring received;
    static bool take(void* self, const wchar_t* text) {
      static_cast<Sink*>(self)->received += text;
      return text[0] != L'!';
    }
  } sink;
  installLogSink(Sink::take, &sink);
  EXPECT_TRUE(appendLog(L"one "));
  EXPECT_FALSE(appendLog(L"!two"));
  installLogSink(nullptr, nullptr);
  EXPECT_TRUE(appendLog(L"nowhere"));
  EXPECT_EQ(sink.received, L"one !two");
}
