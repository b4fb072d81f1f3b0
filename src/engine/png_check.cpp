#include "engine/png_check.h"

#include <array>

namespace {

constexpr std::string_view SIGNATURE("\x89PNG\r\n\x1a\n", 8);
// Larger than any chunk a picture of this kind needs; PNG allows up to 2^31 - 1.
constexpr std::uint32_t MAX_CHUNK_LENGTH = 0x7FFFFFFF;

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

// Made by the compiler: a table made at first use would need a guard, and on Windows the
// runtime's guard is a thread call that can fail.
constexpr std::array<std::uint32_t, 256> CRC_TABLE = [] {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}();

// The CRC-32 of PNG chunks, over the chunk type and data.
std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (const char byte : bytes) c = CRC_TABLE[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

bool isWellFormedPng(std::string_view bytes, PngSize& size) {
  if (bytes.substr(0, SIGNATURE.size()) != SIGNATURE) return false;
  std::size_t at = SIGNATURE.size();
  bool first = true, sawData = false;
  while (bytes.size() - at >= 12) {
    const std::uint32_t length = bigEndian(bytes, at);
    if (length > MAX_CHUNK_LENGTH || bytes.size() - at - 12 < length) return false;
    const std::string_view type = bytes.substr(at + 4, 4);
    const std::string_view typeAndData = bytes.substr(at + 4, 4 + length);
    if (crc32(typeAndData) != bigEndian(bytes, at + 8 + length)) return false;
    if (first) {
      if (type != "IHDR" || length != 13) return false;
      size.width = bigEndian(bytes, at + 8);
      size.height = bigEndian(bytes, at + 12);
      if (size.width == 0 || size.height == 0) return false;
      first = false;
    } else if (type == "IDAT") {
      sawData = true;
    } else if (type == "IEND") {
      return sawData;  // bytes after IEND are ignored, as decoders do
    }
    at += 12 + length;
  }
  return false;
}
