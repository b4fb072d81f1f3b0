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

// The window shows the welcome alone whatever the console held before (the window's tests
// check its words); what follows it starts a line of its own.
TEST(ConsoleLog, StartingOverLeavesOnlyTheWelcome) {
  auto fresh = std::make_unique<ConsoleLog>();
  fresh->startWithWelcome();
  const std::wstring welcome(fresh->text());
  EXPECT_TRUE(welcome.starts_with(L"Welcome to the console\r\n")) << testing::PrintToString(welcome);
  EXPECT_TRUE(welcome.ends_with(L"\r\n"));
  for (const std::size_t held : {std::size_t{9}, LOG_CAPACITY}) {
    SCOPED_TRACE(held);
    auto log = consoleHolding(held);
    log->startWithWelcome();
    EXPECT_EQ(log->text(), welcome);
  }
}

// Whatever is appended stays whole; the oldest characters go only as far as the capacity needs.
TEST(ConsoleLog, KeepsTheNewestCharactersUpToTheCapacity) {
  const struct {
    const char* what;
    std::size_t held, appended, dropped;
  } cases[] = {
      {"under the capacity, everything stays", 100, 50, 0},
      {"ten short of the capacity, twenty more: the ten oldest go", LOG_CAPACITY - 10, 20, 10},
      {"the longest text accepted keeps one old character", LOG_CAPACITY, LOG_CAPACITY - 1, LOG_CAPACITY - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto log = consoleHolding(c.held);
    const std::wstring before(log->text());
    const std::wstring text(c.appended, L'x');
    EXPECT_TRUE(log->append(text));
    EXPECT_EQ(log->text(), before.substr(c.dropped) + text);
    EXPECT_EQ(log->c_str()[log->text().size()], L'\0');
  }
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
