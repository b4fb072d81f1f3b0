// The value of a hexadecimal digit, as names, records and escapes write them.
#pragma once

// The value of one hexadecimal digit, either case; -1 for any other character.
inline int hexDigitValue(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<int>(c - U'0');
  if (c >= U'a' && c <= U'f') return static_cast<int>(c - U'a' + 10);
  if (c >= U'A' && c <= U'F') return static_cast<int>(c - U'A' + 10);
  return -1;
}
