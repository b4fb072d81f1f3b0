// Generated firmware images for benchmarks: 32 MiB of noise with a pair table of 2,000
// graphics in each, at different offsets and in different orders.
#pragma once

#include <cstdint>
#include <vector>

#include "xorshift32.h"

struct BenchImages {
  std::vector<std::uint8_t> original, updated;
  std::vector<std::uint32_t> numbers;  // the graphic numbers of the original table
};

inline BenchImages makeBenchImages(std::size_t imageBytes = 32u << 20, std::uint32_t graphics = 2000) {
  BenchImages images;
  Xorshift32 random{0x1234567};
  images.original.resize(imageBytes);
  images.updated.resize(imageBytes);
  for (auto* image : {&images.original, &images.updated})
    for (auto& byte : *image) byte = static_cast<std::uint8_t>(random.next());
  const auto put = [](std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t word) {
    for (int b = 0; b < 4; ++b) image[at + b] = static_cast<std::uint8_t>(word >> (8 * b));
  };
  for (std::uint32_t i = 0; i < graphics; ++i) {
    const std::uint32_t number = 1 + i, anchor = 0x40000000u + i * 0x9E37u;
    images.numbers.push_back(number);
    const std::size_t originalAt = (imageBytes / 3) / 8 * 8 + 8 * i;
    const std::size_t updatedAt = (imageBytes / 2) / 8 * 8 + 8 * ((i * 7919u) % graphics);
    put(images.original, originalAt, anchor);
    put(images.original, originalAt + 4, number);
    put(images.updated, updatedAt, anchor);
    put(images.updated, updatedAt + 4, 0x2000 + i);
  }
  return images;
}
