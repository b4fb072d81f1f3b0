#include "shell/console_tail.h"

std::size_t tailStart(std::wstring_view text, std::size_t lines) {
  if (lines == 0) return text.size();
  // The last line starts after the last "\n", the one before it after the "\n" before that.
  std::size_t found = 0;
  for (std::size_t at = text.size(); at > 0; --at)
    if (text[at - 1] == L'\n' && ++found == lines) return at;
  return 0;
}
