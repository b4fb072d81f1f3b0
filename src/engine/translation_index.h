// Translation of many graphic numbers at once: one pass over each firmware image per run
// instead of one pass over the original image per PNG and over the new image per pair found.
// It finds what the pair-by-pair searches find, in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/pair_table.h"

class TranslationIndex {
 public:
  // Images of at least this many pairs are read in two halves at once, on two threads.
  static constexpr std::size_t PAIRS_WORTH_A_THREAD = std::size_t{1} << 20;

  // Reads each image at most once, and neither when numbers is empty.
  void build(ImageBytes original, ImageBytes updated, std::vector<std::uint32_t> numbers,
             std::size_t pairsWorthAThread = PAIRS_WORTH_A_THREAD);

  // One new number found for a number, and the evidence: the anchor, and the indexes k of the
  // original pair and of the first new pair with that anchor (bytes 8k to 8k+7 of each image).
  struct Translation {
    std::uint32_t newNumber;
    std::uint32_t anchor;
    std::uint32_t originalPair;
    std::uint32_t newPair;
  };

  // Appends the translations of number (one of those given to build): one per original pair
  // carrying it whose anchor has an equal in the new image, in the order of those pairs.
  void translate(std::uint32_t number, std::vector<Translation>& translations) const;

  // True when the original image has a searched pair carrying number (one given to build).
  bool carries(std::uint32_t number) const;

 private:
  struct OriginalPair {
    std::uint32_t gfx_id;
    std::uint32_t anchor;
    std::uint32_t index;
  };
  struct AnchorTarget {
    std::uint32_t anchor;
    std::uint32_t gfx_id;
    std::uint32_t index;
    bool found;
  };
  struct GfxIdOrder;
  struct AnchorOrder;
  template <class OnTranslation>
  void forEachTranslation(std::uint32_t number, OnTranslation onTranslation) const;
  std::vector<OriginalPair> originalPairs_;  // by gfx_id, then by position in the image
  std::vector<AnchorTarget> anchors_;        // by anchor, each once
};
