// Names and paths as the command line prints them: every character that could break a line,
// move the cursor or drive a terminal is shown as an escape, so one name stays one visible line.
#pragma once

#include <string>
#include <string_view>

// "\\" for a backslash; "\t", "\n", "\r"; "\xHH" for other C0 controls, DEL, and bytes of a
// file name that were not valid UTF-8; "\uHHHH" for C1 controls, line and paragraph separators,
// direction controls and lone surrogates. Everything else is kept as it is.
std::wstring displayText(std::wstring_view text);
