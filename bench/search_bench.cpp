// The literal searches against the translation index, over two 32 MiB images.
#include <benchmark/benchmark.h>

#include "bench_images.h"
#include "engine/translation_index.h"
#include "harness/literal_search.h"

namespace {

const BenchImages& images() {
  static const BenchImages generated = makeBenchImages();
  return generated;
}

std::vector<std::uint32_t> firstNumbers(std::size_t count) {
  return {images().numbers.begin(), images().numbers.begin() + static_cast<std::ptrdiff_t>(count)};
}

void literalSearch(benchmark::State& state) {
  const auto numbers = firstNumbers(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint32_t> newNumbers;
  for (auto _ : state) {
    newNumbers.clear();
    for (std::uint32_t number : numbers) translateLiterally(images().original, images().updated, number, newNumbers);
    benchmark::DoNotOptimize(newNumbers.data());
  }
  state.counters["found"] = static_cast<double>(newNumbers.size());
}

void indexedSearch(benchmark::State& state) {
  const auto numbers = firstNumbers(static_cast<std::size_t>(state.range(0)));
  std::vector<TranslationIndex::Translation> translations;
  for (auto _ : state) {
    translations.clear();
    TranslationIndex index;
    index.build(images().original, images().updated, numbers);
    for (std::uint32_t number : numbers) index.translate(number, translations);
    benchmark::DoNotOptimize(translations.data());
  }
  state.counters["found"] = static_cast<double>(translations.size());
}

}  // namespace

BENCHMARK(literalSearch)->Arg(1)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(indexedSearch)->Arg(1)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
