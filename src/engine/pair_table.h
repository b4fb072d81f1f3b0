// A firmware image read as an array of 8-byte pairs: pair k occupies bytes 8k to 8k+7 of the
// image, two little-endian 32-bit words, the anchor and then the graphic number.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

static_assert(std::endian::native == std::endian::little, "pair words are read in host order");

using ImageBytes = std::span<const std::uint8_t>;

// Where each word of a pair lies in it.
enum class PairWord : std::size_t { Anchor = 0, GfxId = 4 };

inline std::uint32_t pairWord(ImageBytes image, std::size_t k, PairWord word) {
  std::uint32_t value;
  std::memcpy(&value, image.data() + 8 * k + static_cast<std::size_t>(word), sizeof value);
  return value;
}

inline std::size_t pairCount(ImageBytes image) {
  return image.size() / 8;
}

// The original image's last pair is never examined by the outer search.
inline std::size_t searchablePairCount(ImageBytes original) {
  const std::size_t count = pairCount(original);
  return count == 0 ? 0 : count - 1;
}
