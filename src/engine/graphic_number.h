// The graphic number at the start of a PNG file name.
#pragma once

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

// Reads the name as the C library's "%4x" would: optional leading white space, then at most
// four characters of an optional sign, an optional "0x" prefix and hexadecimal digits.
// Empty when no hexadecimal digit was read. A minus sign negates modulo 2^32.
std::optional<std::uint32_t> scanGraphicNumber(std::wstring_view name);

// A name carries a graphic number when one was scanned from it and it is not 0.
inline bool carriesGraphicNumber(const std::optional<std::uint32_t>& scanned) {
  return scanned && *scanned != 0;
}

// A graphic number as the console and the reports write it, "%04X", appended to out (a
// std::wstring, or a bounded text that refuses what does not fit).
template <class Text>
void appendGraphicNumber(Text& out, std::uint32_t number) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%04X", static_cast<unsigned>(number));
  out.append(std::wstring_view(text));
}
inline std::wstring graphicNumberText(std::uint32_t number) {
  std::wstring text;
  appendGraphicNumber(text, number);
  return text;
}
// A copy as the console and the report name it: "1A2B -> 1C40".
template <class Text>
void appendCopyNumbers(Text& out, std::uint32_t number, std::uint32_t newNumber) {
  appendGraphicNumber(out, number);
  out.append(std::wstring_view(L" -> "));
  appendGraphicNumber(out, newNumber);
}
