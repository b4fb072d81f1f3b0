#include "engine/graphic_number.h"

#include <cwctype>

#include "engine/hex_digit.h"
#include "platform/utf8.h"

std::optional<std::uint32_t> scanGraphicNumber(std::wstring_view name) {
  std::size_t i = 0;
  while (i < name.size() && std::iswspace(static_cast<wint_t>(name[i]))) ++i;
  // The field width counts from the first character after the white space.
  const std::wstring_view field = name.substr(i, 4);

  std::size_t j = 0;
  bool negative = false;
  if (j < field.size() && (field[j] == L'+' || field[j] == L'-')) negative = field[j++] == L'-';

  std::uint32_t value = 0;
  bool digitRead = false;
  // "0x" is a prefix only when a digit may follow within the width; a lone "0" is a digit.
  if (j + 1 < field.size() && field[j] == L'0' && (field[j + 1] == L'x' || field[j + 1] == L'X')) {
    digitRead = true;
    j += 2;
  }
  for (; j < field.size(); ++j) {
    const int digit = hexDigitValue(field[j]);
    if (digit < 0) break;
    value = value * 16 + static_cast<std::uint32_t>(digit);
    digitRead = true;
  }
  if (!digitRead) return std::nullopt;
  return negative ? 0u - value : value;
}
