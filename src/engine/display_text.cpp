#include "engine/display_text.h"

#include <cwchar>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

// Characters a terminal acts on, or that reorder or break the text around them.
bool needsEscape(char32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
         (c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendEscape(std::wstring& out, const wchar_t* format, unsigned value) {
  wchar_t escape[8];
  std::swprintf(escape, 8, format, value);
  out += escape;
}

}  // namespace

std::wstring displayText(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (platform::isSurrogate(static_cast<char32_t>(c))) {
      if (platform::codePointAt(text, i).length == 2) {
        out += c;
        out += text[++i];
      } else if (const auto byte = platform::undecodedByteOf(c)) {
        appendEscape(out, L"\\x%02X", *byte);
      } else {
        appendEscape(out, L"\\u%04X", static_cast<unsigned>(c));
      }
      continue;
    }
    switch (c) {
      case L'\\': out += L"\\\\"; continue;
      case L'\t': out += L"\\t"; continue;
      case L'\n': out += L"\\n"; continue;
      case L'\r': out += L"\\r"; continue;
      default: break;
    }
    if (!needsEscape(static_cast<char32_t>(c)))
      out += c;
    else if (c < 0x80)
      appendEscape(out, L"\\x%02X", static_cast<unsigned>(c));
    else
      appendEscape(out, L"\\u%04X", static_cast<unsigned>(c));
  }
  return out;
}
