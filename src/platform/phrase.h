// The systems' own messages, put inside the program's lines. Shared by each system's files.
#pragma once

#include <string>

namespace platform {

// A system's message as a phrase that goes inside a line: without its closing full stop or line
// break, its first letter lower-cased when it is an ASCII capital ("No such file." becomes "no
// such file").
inline std::wstring asPhrase(std::wstring message) {
  while (!message.empty() &&
         (message.back() == L'.' || message.back() == L' ' || message.back() == L'\r' || message.back() == L'\n'))
    message.pop_back();
  // A word's capital goes, an abbreviation's stays ("I/O device error", "CRC error").
  const auto capital = [&](std::size_t i) { return i < message.size() && message[i] >= L'A' && message[i] <= L'Z'; };
  const bool abbreviation = capital(1) || (message.size() > 1 && message[1] == L'/');
  if (capital(0) && !abbreviation) message[0] = static_cast<wchar_t>(message[0] - L'A' + L'a');
  return message;
}

}  // namespace platform
