#include "harness/literal_search.h"

std::optional<std::size_t> findGfxId(ImageBytes original, std::uint32_t number, std::size_t from) {
  const std::size_t end = searchablePairCount(original);
  for (std::size_t k = from; k < end; ++k)
    if (pairWord(original, k, PairWord::GfxId) == number) return k;
  return std::nullopt;
}

std::optional<std::uint32_t> findAnchor(ImageBytes updated, std::uint32_t anchor) {
  const std::size_t end = pairCount(updated);
  for (std::size_t m = 0; m < end; ++m)
    if (pairWord(updated, m, PairWord::Anchor) == anchor) return pairWord(updated, m, PairWord::GfxId);
  return std::nullopt;
}

void translateLiterally(ImageBytes original, ImageBytes updated, std::uint32_t number,
                        std::vector<std::uint32_t>& newNumbers) {
  for (auto k = findGfxId(original, number, 0); k; k = findGfxId(original, number, *k + 1))
    if (const auto newNumber = findAnchor(updated, readPair(original, *k).anchor)) newNumbers.push_back(*newNumber);
}
