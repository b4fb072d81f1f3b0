// UTF-8 at the boundary to byte-oriented interfaces (POSIX file names, redirected output).
// Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode back to the same bytes,
// so any file name survives the round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view bytes);

// A code point of a wide text and the characters it takes: a surrogate pair (UTF-16 systems) is
// one code point of two characters; a lone surrogate (a name that was not valid text) comes
// back as itself, one character, for the caller to show as it must.
struct CodePoint {
  char32_t value;
  std::size_t length;
};
CodePoint codePointAt(std::wstring_view text, std::size_t at);
inline bool isSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Appends one code point (below U+110000, not a surrogate) as UTF-8.
void appendUtf8(std::uint32_t codePoint, std::string& out);

}  // namespace platform
