// The one-pass translation index against the literal searches, on arbitrary images: the same
// new numbers, in the same order, for every number asked.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/translation_index.h"
#include "fuzz_input.h"
#include "harness/literal_search.h"

namespace {

// Words from a small set collide often, so pairs, anchors and numbers repeat; sometimes any word.
std::uint32_t imageWord(FuzzInput& input) {
  const std::uint8_t choice = input.byte();
  if (choice < 0xC0) return choice % 6;
  return input.word32();
}

std::vector<std::uint8_t> image(FuzzInput& input) {
  const std::size_t length = input.word16() % 8193;  // any length, not only whole pairs
  std::vector<std::uint8_t> bytes(length, 0);
  for (std::size_t at = 0; at + 4 <= length && !input.empty(); at += 4) {
    const std::uint32_t word = imageWord(input);
    std::memcpy(bytes.data() + at, &word, 4);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::vector<std::uint8_t> original = image(input);
  const std::vector<std::uint8_t> updated = image(input);
  std::vector<std::uint32_t> numbers;
  for (int i = 0; i < 12 && !input.empty(); ++i) numbers.push_back(imageWord(input));

  TranslationIndex index;
  index.build(original, updated, numbers);
  std::vector<std::uint32_t> expected;
  for (const std::uint32_t number : numbers) {
    expected.clear();
    translateLiterally(original, updated, number, expected);
    const std::vector<std::uint32_t> found = newNumbersFound(index, number);
    if (found != expected) {
      std::fprintf(stderr, "number %08X: literal %zu results, index %zu\n", number, expected.size(), found.size());
      std::abort();
    }
    const bool carried = index.carries(number);
    bool literallyCarried = false;
    for (std::size_t k = 0; k < searchablePairCount(original); ++k)
      literallyCarried |= readPair(original, k).gfx_id == number;
    if (carried != literallyCarried) {
      std::fprintf(stderr, "number %08X: carried %d, literally %d\n", number, carried, literallyCarried);
      std::abort();
    }
  }
  return 0;
}
