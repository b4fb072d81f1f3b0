// The graphic number at the start of a PNG file name.
#pragma once

#include <cstdint>
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

// A graphic number as the console and the reports write it: "%04X".
std::wstring graphicNumberText(std::uint32_t number);
