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

// Whether c makes the text need quotes; a name made of nothing else is shown as it stands.
bool needsQuotes(wchar_t c) {
  if (c == L'\\') return !platform::isSeparator(c);
  return c == L'"' || platform::isSurrogate(static_cast<char32_t>(c)) || needsEscape(static_cast<char32_t>(c));
}

}  // namespace

std::wstring displayText(std::wstring_view text) {
  bool plain = true;
  for (std::size_t i = 0; i < text.size() && plain; ++i) {
    // A pair of surrogates is one character, shown as it is.
    if (platform::isSurrogate(static_cast<char32_t>(text[i])) && platform::codePointAt(text, i).length == 2)
      ++i;
    else
      plain = !needsQuotes(text[i]);
  }
  if (plain) return std::wstring(text);
  std::wstring out = L"\"";
  out.reserve(text.size() + 2);
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
      case L'"': out += L"\\\""; continue;
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
  return out += L'"';
}
