// Text to the standard streams. Part of the one platform contract, platform/platform.h.
#pragma once

#include <string_view>

namespace platform {

enum class Stream { Output, Error };

// Writes text to standard output or error with this OS's line ends: a console gets wide
// text, a file or pipe gets UTF-8. Texts carry "\r\n" line ends.
void writeText(Stream stream, std::wstring_view text);
// Pushes out what was written; false when any write to the stream so far has failed.
bool flushText(Stream stream);

}  // namespace platform
