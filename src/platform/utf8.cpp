#include "platform/utf8.h"

#include <cstdint>

namespace platform {

namespace {

constexpr bool WIDE_IS_UTF16 = sizeof(wchar_t) == 2;

void appendWide(std::uint32_t cp, std::wstring& out) {
  if (WIDE_IS_UTF16 && cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

// Length of the valid UTF-8 sequence at the start of bytes, 0 when it is not one.
std::size_t decodeSequence(std::string_view bytes, std::uint32_t& cp) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || isSurrogate(cp)) return 0;
  return length;
}

}  // namespace

CodePoint codePointAt(std::wstring_view text, std::size_t at) {
  const char32_t c = static_cast<char32_t>(text[at]);
  if (WIDE_IS_UTF16 && c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size()) {
    const char32_t low = static_cast<char32_t>(text[at + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) return {0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), 2};
  }
  return {c, 1};
}

std::string toUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const CodePoint point = codePointAt(text, i);
    const std::uint32_t cp = point.value;
    i += point.length;
    if (const auto byte = escapedByteOf(cp)) {
      out += static_cast<char>(*byte);
    } else if (isSurrogate(cp) || cp > 0x10FFFF) {
      appendUtf8(0xFFFD, out);
    } else {
      appendUtf8(cp, out);
    }
  }
  return out;
}

std::wstring fromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    std::uint32_t cp = 0;
    std::size_t length = decodeSequence(bytes, cp);
    if (length == 0) {
      cp = ESCAPED_BYTES + static_cast<std::uint8_t>(bytes[0]);
      length = 1;
    }
    appendWide(cp, out);
    bytes.remove_prefix(length);
  }
  return out;
}

void appendUtf8(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isValidText(std::wstring_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const CodePoint point = codePointAt(text, i);
    if (isSurrogate(point.value)) return false;
    i += point.length;
  }
  return true;
}

}  // namespace platform
