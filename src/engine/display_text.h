// Names and paths as the command line prints them: as they stand when nothing in them could break
// a line, drive a terminal or be read two ways; otherwise quoted, with escapes, so that one name
// stays one visible line and no two names read the same.
#pragma once

#include <string>
#include <string_view>

// The text itself when it holds no control, no character that reorders the text around it, no
// byte of a file name that was not valid UTF-8 or lone surrogate, no double quote, and no
// backslash that is part of a name (on Windows a backslash is a separator and stays as it is).
// Otherwise the text in double quotes, where "\\" is a backslash and "\"" a quote; "\t", "\n",
// "\r"; "\xHH" for other C0 controls, DEL and undecoded bytes; "\uHHHH" for C1 controls, line and
// paragraph separators, direction controls and lone surrogates.
std::wstring displayText(std::wstring_view text);
