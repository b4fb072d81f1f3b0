// The firmware images read as arrays of 8-byte pairs, and the searches that translate a
// graphic number from the original image's numbering to the new image's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

using ImageBytes = std::span<const std::uint8_t>;

// Pair k occupies bytes 8k to 8k+7 of the image: two little-endian 32-bit words.
struct IdPair {
  std::uint32_t anchor;
  std::uint32_t gfx_id;
};

inline std::size_t pairCount(ImageBytes image) { return image.size() / 8; }
IdPair readPair(ImageBytes image, std::size_t k);

// The original image's last pair is never examined by the outer search.
inline std::size_t searchablePairCount(ImageBytes original) {
  const std::size_t count = pairCount(original);
  return count == 0 ? 0 : count - 1;
}

// Outer search: the first original pair k >= from (and k <= S/8 - 2) with this gfx_id.
std::optional<std::size_t> findGfxId(ImageBytes original, std::uint32_t number, std::size_t from);
// Inner search: the gfx_id of the first new pair (any m <= T/8 - 1) with this anchor.
std::optional<std::uint32_t> findAnchor(ImageBytes updated, std::uint32_t anchor);

// Every translation of number, one per original pair carrying it whose anchor has an equal
// in the new image, in ascending order of the original pair: the literal searches, a full
// scan of the original image per number and of the new image per pair found.
void translateLiterally(ImageBytes original, ImageBytes updated, std::uint32_t number,
                        std::vector<std::uint32_t>& newNumbers);
