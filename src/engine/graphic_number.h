// The graphic number at the start of a PNG file name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Reads the name as the C library's "%4x" would: optional leading white space, then at most
// four characters of an optional sign, an optional "0x" prefix and hexadecimal digits.
// Empty when no hexadecimal digit was read. A minus sign negates modulo 2^32.
std::optional<std::uint32_t> scanGraphicNumber(std::wstring_view name);
