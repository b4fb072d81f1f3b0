// UTF-8 at the boundary to byte-oriented interfaces (POSIX file names, redirected output).
// Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode back to the same bytes,
// so any file name survives the round trip.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view bytes);

// Appends one code point (below U+110000, not a surrogate) as UTF-8.
void appendUtf8(std::uint32_t codePoint, std::string& out);

}  // namespace platform
