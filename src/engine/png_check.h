// Whether bytes are a well-formed PNG file: the signature, an IHDR chunk first, at least one
// IDAT, IEND last, every chunk whole and its CRC right. Pixel data is not decompressed.
#pragma once

#include <cstdint>
#include <string_view>

struct PngSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

bool isWellFormedPng(std::string_view bytes, PngSize& size);
