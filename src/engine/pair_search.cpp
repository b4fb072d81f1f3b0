#include "engine/pair_search.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "pair words are read in host order");

namespace {

std::uint32_t readWord(const std::uint8_t* at) {
  std::uint32_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

}  // namespace

IdPair readPair(ImageBytes image, std::size_t k) {
  const std::uint8_t* at = image.data() + 8 * k;
  return {readWord(at), readWord(at + 4)};
}

std::optional<std::size_t> findGfxId(ImageBytes original, std::uint32_t number, std::size_t from) {
  const std::size_t end = searchablePairCount(original);
  for (std::size_t k = from; k < end; ++k)
    if (readWord(original.data() + 8 * k + 4) == number) return k;
  return std::nullopt;
}

std::optional<std::uint32_t> findAnchor(ImageBytes updated, std::uint32_t anchor) {
  const std::size_t end = pairCount(updated);
  for (std::size_t m = 0; m < end; ++m)
    if (readWord(updated.data() + 8 * m) == anchor) return readWord(updated.data() + 8 * m + 4);
  return std::nullopt;
}

void translateLiterally(ImageBytes original, ImageBytes updated, std::uint32_t number,
                        std::vector<std::uint32_t>& newNumbers) {
  for (auto k = findGfxId(original, number, 0); k; k = findGfxId(original, number, *k + 1))
    if (const auto newNumber = findAnchor(updated, readPair(original, *k).anchor)) newNumbers.push_back(*newNumber);
}
