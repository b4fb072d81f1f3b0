// The searches as the tool was first written, pair by pair with no index: the reference that
// the tests, the benchmarks and the fuzzer hold the translation index to.
#pragma once

#include <optional>
#include <vector>

#include "engine/pair_table.h"
#include "engine/translation_index.h"

// Pair k of an image, both words, as the first searches read it.
struct IdPair {
  std::uint32_t anchor;
  std::uint32_t gfx_id;
};

inline IdPair readPair(ImageBytes image, std::size_t k) {
  return {pairWord(image, k, PairWord::Anchor), pairWord(image, k, PairWord::GfxId)};
}

// Outer search: the first original pair k >= from (and k <= S/8 - 2) with this gfx_id.
std::optional<std::size_t> findGfxId(ImageBytes original, std::uint32_t number, std::size_t from);
// Inner search: the gfx_id of the first new pair (any m <= T/8 - 1) with this anchor.
std::optional<std::uint32_t> findAnchor(ImageBytes updated, std::uint32_t anchor);

// Every translation of number, one per original pair carrying it whose anchor has an equal
// in the new image, in ascending order of the original pair: a full scan of the original image
// per number and of the new image per pair found.
void translateLiterally(ImageBytes original, ImageBytes updated, std::uint32_t number,
                        std::vector<std::uint32_t>& newNumbers);

// The new numbers the index finds for number, in its order: what translateLiterally gives.
inline std::vector<std::uint32_t> newNumbersFound(const TranslationIndex& index, std::uint32_t number) {
  std::vector<TranslationIndex::Translation> translations;
  index.translate(number, translations);
  std::vector<std::uint32_t> newNumbers;
  for (const TranslationIndex::Translation& translation : translations) newNumbers.push_back(translation.newNumber);
  return newNumbers;
}
