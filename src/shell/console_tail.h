// Where the last lines of a console text begin: during a run the console shows only those.
#pragma once

#include <cstddef>
#include <string_view>

// The offset of the first character of the last `lines` lines of `text`. A line ends after a
// "\n"; what follows the last one, even nothing, is a line too. A text with fewer lines is
// shown whole (0); no lines at all start at its end.
std::size_t tailStart(std::wstring_view text, std::size_t lines);
