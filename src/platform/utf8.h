// UTF-8 at the boundary to byte-oriented interfaces (POSIX file names, redirected output).
// Bytes that are not valid UTF-8 decode to U+DC80..U+DCFF and encode back to the same bytes,
// so any file name survives the round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// A byte that is not UTF-8 decodes to U+DC00 plus the byte (one of 0x80..0xFF, a lone low
// surrogate that no valid text has); the byte such a character stands for.
constexpr char32_t ESCAPED_BYTES = 0xDC00;
inline std::optional<std::uint8_t> escapedByteOf(char32_t c) {
  if (c < ESCAPED_BYTES + 0x80 || c > ESCAPED_BYTES + 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(c - ESCAPED_BYTES);
}

// Appends one code point (below U+110000, not a surrogate) as UTF-8.
void appendUtf8(std::uint32_t codePoint, std::string& out);

// Valid text has no lone surrogate: every name that came from bytes or units that were not
// valid UTF-8 or UTF-16 has one.
bool isValidText(std::wstring_view text);
// What a report shows for a character that is not text: U+FFFD, the replacement character.
constexpr char32_t REPLACEMENT_CHARACTER = U'\uFFFD';
// A code point as a report shows it: a lone surrogate, or anything past U+10FFFF, as REPLACEMENT_CHARACTER.
inline char32_t shownCodePoint(char32_t c) {
  return isSurrogate(c) || c > 0x10FFFF ? REPLACEMENT_CHARACTER : c;
}

}  // namespace platform
