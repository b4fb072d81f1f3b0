// Writes the benchmark's whole-run data: the two 32 MiB images and 2,000 (or PNG_COUNT)
// PNG-sized files.
//   make-bench-data OUTPUT_FOLDER [PNG_COUNT]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bench_images.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  const std::filesystem::path out = argv[1];
  // Numbers are 1 to PNG_COUNT: four hexadecimal digits hold at most 65,535.
  const unsigned long count = argc == 3 ? std::strtoul(argv[2], nullptr, 10) : 2000;
  if (count == 0 || count > 0xFFFF) return 2;
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out / "gfx-original");
  std::filesystem::create_directories(out / "gfx-new");
  const BenchImages images = makeBenchImages(32u << 20, static_cast<std::uint32_t>(count));
  std::ofstream(out / "original.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(images.original.data()),
             static_cast<std::streamsize>(images.original.size()));
  std::ofstream(out / "new.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(images.updated.data()), static_cast<std::streamsize>(images.updated.size()));
  std::vector<char> picture(3000, 'p');
  for (std::uint32_t number : images.numbers) {
    char name[16];
    std::snprintf(name, sizeof name, "%04X.png", number);
    std::ofstream(out / "gfx-original" / name, std::ios::binary)
        .write(picture.data(), static_cast<std::streamsize>(picture.size()));
  }
  return 0;
}
