#include "engine/translation_index.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

std::uint32_t wordAt(const std::uint8_t* at) {
  std::uint32_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Membership of a sorted set of words, tested for every pair of an image: a bit filter rejects
// nearly every word with one memory read before the binary search.
class WordSet {
 public:
  explicit WordSet(std::vector<std::uint32_t> words) : words_(std::move(words)), filter_(FILTER_WORDS, 0) {
    std::sort(words_.begin(), words_.end());
    words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
    for (std::uint32_t word : words_) {
      const std::uint32_t bit = slot(word);
      filter_[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
  }
  bool contains(std::uint32_t word) const {
    const std::uint32_t bit = slot(word);
    if (!(filter_[bit / 64] >> (bit % 64) & 1)) return false;
    return std::binary_search(words_.begin(), words_.end(), word);
  }
  bool empty() const { return words_.empty(); }

 private:
  static constexpr std::uint32_t FILTER_BITS_LOG2 = 20;  // 128 KiB
  static constexpr std::size_t FILTER_WORDS = (std::size_t{1} << FILTER_BITS_LOG2) / 64;
  static std::uint32_t slot(std::uint32_t word) { return (word * 0x9E3779B1u) >> (32 - FILTER_BITS_LOG2); }
  std::vector<std::uint32_t> words_;
  std::vector<std::uint64_t> filter_;
};

}  // namespace

void TranslationIndex::build(ImageBytes original, ImageBytes updated, std::vector<std::uint32_t> numbers) {
  originalPairs_.clear();
  anchors_.clear();
  const WordSet wanted(std::move(numbers));
  if (wanted.empty()) return;

  // Every original pair that carries a wanted number, in image order (the last pair excluded).
  const std::size_t originalEnd = searchablePairCount(original);
  for (std::size_t k = 0; k < originalEnd; ++k) {
    const std::uint32_t gfxId = wordAt(original.data() + 8 * k + 4);
    if (wanted.contains(gfxId)) originalPairs_.push_back({gfxId, wordAt(original.data() + 8 * k)});
  }
  std::stable_sort(originalPairs_.begin(), originalPairs_.end(),
                   [](const OriginalPair& a, const OriginalPair& b) { return a.gfx_id < b.gfx_id; });
  if (originalPairs_.empty()) return;

  for (const OriginalPair& pair : originalPairs_) anchors_.push_back({pair.anchor, 0, false});
  std::sort(anchors_.begin(), anchors_.end(), [](const AnchorTarget& a, const AnchorTarget& b) { return a.anchor < b.anchor; });
  anchors_.erase(std::unique(anchors_.begin(), anchors_.end(),
                             [](const AnchorTarget& a, const AnchorTarget& b) { return a.anchor == b.anchor; }),
                 anchors_.end());
  std::vector<std::uint32_t> anchorWords;
  for (const AnchorTarget& target : anchors_) anchorWords.push_back(target.anchor);
  const WordSet wantedAnchors(std::move(anchorWords));

  // The first new pair with each anchor wins; stop once every anchor is found.
  std::size_t missing = anchors_.size();
  const std::size_t newEnd = pairCount(updated);
  for (std::size_t m = 0; m < newEnd && missing > 0; ++m) {
    const std::uint32_t anchor = wordAt(updated.data() + 8 * m);
    if (!wantedAnchors.contains(anchor)) continue;
    auto target = std::lower_bound(anchors_.begin(), anchors_.end(), anchor,
                                   [](const AnchorTarget& t, std::uint32_t a) { return t.anchor < a; });
    if (target->found) continue;
    *target = {anchor, wordAt(updated.data() + 8 * m + 4), true};
    --missing;
  }
}

void TranslationIndex::translate(std::uint32_t number, std::vector<std::uint32_t>& newNumbers) const {
  auto pair = std::lower_bound(originalPairs_.begin(), originalPairs_.end(), number,
                               [](const OriginalPair& p, std::uint32_t n) { return p.gfx_id < n; });
  for (; pair != originalPairs_.end() && pair->gfx_id == number; ++pair) {
    const auto target = std::lower_bound(anchors_.begin(), anchors_.end(), pair->anchor,
                                         [](const AnchorTarget& t, std::uint32_t a) { return t.anchor < a; });
    if (target->found) newNumbers.push_back(target->gfx_id);
  }
}
