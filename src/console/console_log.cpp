#include "console/console_log.h"

#include <cwchar>

const wchar_t WELCOME_TEXT[] =
    L"Welcome to the console\r\nPlease select your source and destination gfx directories "
    L"below.\r\n...\r\n...\r\n...\r\nPlease?\r\n\r\nMade by tarvellion.\r\n\r\n";

void ConsoleLog::startWithWelcome() {
  buffer_[0] = L'\0';
  length_ = 0;
  append(WELCOME_TEXT);
}

bool ConsoleLog::append(std::wstring_view text) {
  const std::size_t n = text.size();
  if (n >= LOG_CAPACITY) return false;

  if (length_ + n > LOG_CAPACITY) {
    // Drop the oldest characters, with no regard to line boundaries; the source lies behind
    // the destination, so an ascending copy (terminator included) is correct.
    const std::size_t keep = LOG_CAPACITY - n;
    const std::size_t from = length_ - keep;
    for (std::size_t i = 0; i <= keep; ++i) buffer_[i] = buffer_[from + i];
    length_ = keep;
  }

  // length_ + n <= LOG_CAPACITY < LOG_BUFFER_SIZE, so the terminator fits too.
  std::wmemcpy(buffer_ + length_, text.data(), n);
  length_ += n;
  buffer_[length_] = L'\0';
  return true;
}
