#include "engine/translation_index.h"

#include <algorithm>
#include <exception>

#include "platform/platform.h"

namespace {

// Membership of a sorted set of words, tested for every pair of an image: a bit filter rejects
// nearly every word with one memory read before the binary search: the run's largest saving,
// measured by bench/run_bench.sh (figures in docs/benchmarks.md).
class WordSet {
 public:
  explicit WordSet(std::vector<std::uint32_t> words) : words_(std::move(words)) {
    std::sort(words_.begin(), words_.end());
    words_.erase(std::unique(words_.begin(), words_.end()), words_.end());
    // About 512 bits a word, at most 128 KiB: few false hits, each a binary search, and the
    // filter stays in the second-level cache. At 32 KiB, 20,000 words let one word in thirteen
    // through, and the searches took longer than the whole scan.
    while (filterBitsLog2_ < MAX_FILTER_BITS_LOG2 && (std::size_t{1} << filterBitsLog2_) < 512 * words_.size())
      ++filterBitsLog2_;
    filter_.assign((std::size_t{1} << filterBitsLog2_) / 64, 0);
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
  static constexpr std::uint32_t MAX_FILTER_BITS_LOG2 = 20;
  std::uint32_t slot(std::uint32_t word) const { return (word * 0x9E3779B1u) >> (32 - filterBitsLog2_); }
  std::uint32_t filterBitsLog2_ = 12;
  std::vector<std::uint32_t> words_;
  std::vector<std::uint64_t> filter_;
};

struct PairRange {
  std::size_t begin, end;
  bool later;  // the later half of the pairs
};

// Runs onPart(range) over the two halves of [0, count): the later half on a thread of its own
// when the pairs are enough to be worth one and a thread can be had, the earlier half here.
// Without a thread the halves run one after the other, the earlier first.
// The second thread shortens a run most where the images are large against the PNGs, more with
// --json (bench/compare_builds.sh; figures in docs/benchmarks.md).
template <class OnPart>
void inTwoHalves(std::size_t count, std::size_t pairsWorthAThread, OnPart onPart) {
  const PairRange earlier{0, count / 2, false}, later{count / 2, count, true};
  platform::Thread helper;
  std::exception_ptr helperFailure;
  if (count >= pairsWorthAThread && platform::coreCount() > 1) {
    helper.start([&] {
      try {
        onPart(later);
      } catch (...) {
        helperFailure = std::current_exception();
      }
    });
  }
  if (!helper.started()) {
    onPart(earlier);
    onPart(later);
    return;
  }
  try {
    onPart(earlier);
  } catch (...) {
    helper.join();
    throw;
  }
  helper.join();
  if (helperFailure) std::rethrow_exception(helperFailure);
}

// Calls onMatch(k, word) for each pair k in range whose given word the set contains, in order,
// until onMatch returns false.
template <class OnMatch>
void forEachMatchingPair(ImageBytes image, PairRange range, PairWord which, const WordSet& set, OnMatch onMatch) {
  for (std::size_t k = range.begin; k < range.end; ++k) {
    const std::uint32_t word = pairWord(image, k, which);
    if (set.contains(word) && !onMatch(k, word)) return;
  }
}

}  // namespace

// Orders the original pairs by number, and compares them with a bare number either way round.
struct TranslationIndex::GfxIdOrder {
  bool operator()(const OriginalPair& a, const OriginalPair& b) const { return a.gfx_id < b.gfx_id; }
  bool operator()(const OriginalPair& a, std::uint32_t n) const { return a.gfx_id < n; }
  bool operator()(std::uint32_t n, const OriginalPair& a) const { return n < a.gfx_id; }
};

// Orders the anchor targets by anchor, and compares them with a bare anchor.
struct TranslationIndex::AnchorOrder {
  bool operator()(const AnchorTarget& a, const AnchorTarget& b) const { return a.anchor < b.anchor; }
  bool operator()(const AnchorTarget& a, std::uint32_t anchor) const { return a.anchor < anchor; }
};

void TranslationIndex::build(ImageBytes original, ImageBytes updated, std::vector<std::uint32_t> numbers,
                             std::size_t pairsWorthAThread) {
  originalPairs_.clear();
  anchors_.clear();
  const WordSet wanted(std::move(numbers));
  if (wanted.empty()) return;

  // Every original pair that carries a wanted number, in image order (the last pair excluded).
  std::vector<OriginalPair> laterPairs;
  inTwoHalves(searchablePairCount(original), pairsWorthAThread, [&](PairRange range) {
    std::vector<OriginalPair>& found = range.later ? laterPairs : originalPairs_;
    forEachMatchingPair(original, range, PairWord::GfxId, wanted, [&](std::size_t k, std::uint32_t gfxId) {
      found.push_back({gfxId, pairWord(original, k, PairWord::Anchor), static_cast<std::uint32_t>(k)});
      return true;
    });
  });
  originalPairs_.insert(originalPairs_.end(), laterPairs.begin(), laterPairs.end());
  std::stable_sort(originalPairs_.begin(), originalPairs_.end(), GfxIdOrder{});
  if (originalPairs_.empty()) return;

  for (const OriginalPair& pair : originalPairs_) anchors_.push_back({pair.anchor, 0, 0, false});
  std::sort(anchors_.begin(), anchors_.end(), AnchorOrder{});
  anchors_.erase(std::unique(anchors_.begin(), anchors_.end(),
                             [](const AnchorTarget& a, const AnchorTarget& b) { return a.anchor == b.anchor; }),
                 anchors_.end());
  std::vector<std::uint32_t> anchorWords;
  for (const AnchorTarget& target : anchors_) anchorWords.push_back(target.anchor);
  const WordSet wantedAnchors(std::move(anchorWords));

  // The first new pair with each anchor wins. Each half notes its own first pairs and stops once
  // it has every anchor, and the earlier half's pairs win where both found one.
  std::vector<AnchorTarget> laterTargets = anchors_;
  inTwoHalves(pairCount(updated), pairsWorthAThread, [&](PairRange range) {
    std::vector<AnchorTarget>& targets = range.later ? laterTargets : anchors_;
    std::size_t missing = targets.size();
    forEachMatchingPair(updated, range, PairWord::Anchor, wantedAnchors, [&](std::size_t m, std::uint32_t anchor) {
      auto target = std::lower_bound(targets.begin(), targets.end(), anchor, AnchorOrder{});
      if (!target->found) {
        *target = {anchor, pairWord(updated, m, PairWord::GfxId), static_cast<std::uint32_t>(m), true};
        --missing;
      }
      return missing > 0;
    });
  });
  for (std::size_t i = 0; i < anchors_.size(); ++i)
    if (!anchors_[i].found) anchors_[i] = laterTargets[i];
}

template <class OnTranslation>
void TranslationIndex::forEachTranslation(std::uint32_t number, OnTranslation onTranslation) const {
  auto pair = std::lower_bound(originalPairs_.begin(), originalPairs_.end(), number, GfxIdOrder{});
  for (; pair != originalPairs_.end() && pair->gfx_id == number; ++pair) {
    const auto target = std::lower_bound(anchors_.begin(), anchors_.end(), pair->anchor, AnchorOrder{});
    if (target->found) onTranslation(Translation{target->gfx_id, pair->anchor, pair->index, target->index});
  }
}

void TranslationIndex::translate(std::uint32_t number, std::vector<Translation>& translations) const {
  forEachTranslation(number, [&](const Translation& translation) { translations.push_back(translation); });
}

bool TranslationIndex::carries(std::uint32_t number) const {
  return std::binary_search(originalPairs_.begin(), originalPairs_.end(), number, GfxIdOrder{});
}
