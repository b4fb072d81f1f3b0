// The console's bounded text: only the most recent LOG_CAPACITY characters are kept.
#pragma once

#include <cstddef>
#include <string_view>

constexpr std::size_t LOG_CAPACITY = 10000;
// More than the capacity: an append drops the oldest characters first, so the text never passes
// LOG_CAPACITY and its terminator always fits.
constexpr std::size_t LOG_BUFFER_SIZE = 2 * LOG_CAPACITY;

extern const wchar_t WELCOME_TEXT[];

class ConsoleLog {
 public:
  ConsoleLog() = default;
  ConsoleLog(const ConsoleLog&) = delete;
  ConsoleLog& operator=(const ConsoleLog&) = delete;

  // Empties the text and puts the welcome text in.
  void startWithWelcome();

  // Appends text under the buffer rule; returns false, changing nothing, when the text is
  // LOG_CAPACITY characters or longer.
  bool append(std::wstring_view text);

  const wchar_t* c_str() const { return buffer_; }
  std::wstring_view text() const { return {buffer_, length_}; }

 private:
  wchar_t buffer_[LOG_BUFFER_SIZE] = {};
  std::size_t length_ = 0;
};
