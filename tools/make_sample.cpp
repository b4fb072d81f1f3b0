// Generates the bundled sample, deterministically: two firmware images whose pair tables sit
// at different offsets in filler that looks like code and data, a folder of real PNG graphics,
// and the console lines a run over them must print (in any order: the walk order is the OS's).
//
//   make-sample OUTPUT_FOLDER
// The folder may be any folder, "." included: the sample is written beside whatever it holds,
// and only a sample made here before (its marker file says so) is replaced.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "xorshift32.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int GRAPHICS = 40;            // numbered pictures in the original firmware
constexpr int PNG_COUNT = 36;           // of which the sample folder holds a PNG
constexpr int DROPPED[] = {5, 17, 29};  // anchors the new firmware no longer has
constexpr int TWICE = 10;               // a number that two original pairs carry
constexpr std::uint32_t TWICE_ANCHOR = 0x9E3779B9, TWICE_NEW_NUMBER = 0x0400;

std::uint32_t originalNumber(int i) {
  return 0x0100 + 7 * i;
}
std::uint32_t newNumber(int i) {
  return 0x0300 + 3 * ((13 * i) % GRAPHICS);
}
std::uint32_t anchorOf(int i) {
  return 0x80000000u | ((0x2545F491u * (i + 1)) >> 1);
}
bool dropped(int i) {
  for (int d : DROPPED)
    if (d == i) return true;
  return false;
}

void putWord(Bytes& image, std::size_t at, std::uint32_t word) {
  for (int b = 0; b < 4; ++b) image[at + b] = static_cast<std::uint8_t>(word >> (8 * b));
}
std::uint32_t getWord(const Bytes& image, std::size_t at) {
  std::uint32_t word = 0;
  for (int b = 0; b < 4; ++b) word |= static_cast<std::uint32_t>(image[at + b]) << (8 * b);
  return word;
}

// Runs of instruction-like bytes, text, and tables of small integers, as a firmware has.
Bytes filler(std::size_t length, std::uint32_t seed) {
  Xorshift32 random{seed};
  Bytes image(length);
  static const char* const TEXTS[] = {"display init", "battery low",    "menu_main", "camera",
                                      "phonebook",    "error %d at %s", "SMS inbox", "settings"};
  std::size_t at = 0;
  while (at < length) {
    const std::size_t run = 64 + random.next() % 1024;
    const unsigned kind = random.next() % 3;
    for (std::size_t i = 0; i < run && at < length; ++i, ++at) {
      if (kind == 0) {
        static const std::uint8_t OPCODES[] = {0x55, 0x89, 0xE5, 0x8B, 0x45, 0x08, 0xC3, 0xE8, 0x83, 0xEC, 0x5D};
        image[at] = (random.next() & 3) ? OPCODES[random.next() % sizeof OPCODES] : random.next() & 0xFF;
      } else if (kind == 1) {
        const char* text = TEXTS[(at / 97) % 8];
        image[at] = static_cast<std::uint8_t>(text[i % (std::char_traits<char>::length(text) + 1)]);
      } else {
        image[at] = (i % 4 == 0) ? random.next() % 0x300 & 0xFF : (i % 4 == 1 ? random.next() % 3 : 0);
      }
    }
  }
  return image;
}

// Filler must not look like a pair of the tables: no stray number or anchor of the sample.
void clearStrayPairs(Bytes& image, std::size_t tableAt, std::size_t tableLength, const std::set<std::uint32_t>& words) {
  for (std::size_t at = 0; at + 8 <= image.size(); at += 8) {
    if (at >= tableAt && at < tableAt + tableLength) continue;
    for (std::size_t word = at; word < at + 8; word += 4)
      if (words.count(getWord(image, word))) putWord(image, word, getWord(image, word) ^ 0x5A5A0000u);
  }
}

bool writePng(const fs::path& path, int i) {
  constexpr int SIZE = 32;
  std::vector<std::uint8_t> pixels(SIZE * SIZE * 4);
  const std::uint8_t r = 60 + 37 * i % 180, g = 90 + 53 * i % 150, b = 120 + 71 * i % 120;
  for (int y = 0; y < SIZE; ++y)
    for (int x = 0; x < SIZE; ++x) {
      const int dx = x - SIZE / 2, dy = y - SIZE / 2, d2 = dx * dx + dy * dy;
      bool ink = false;
      switch (i % 4) {
        case 0: ink = d2 < 144; break;                              // disc
        case 1: ink = d2 < 169 && d2 > 64; break;                   // ring
        case 2: ink = std::abs(dx) < 3 || std::abs(dy) < 3; break;  // cross
        case 3: ink = y > 6 && std::abs(dx) * 2 < y - 4; break;     // triangle
      }
      std::uint8_t* p = &pixels[(y * SIZE + x) * 4];
      p[0] = ink ? r : 255, p[1] = ink ? g : 255, p[2] = ink ? b : 255, p[3] = ink ? 255 : 0;
    }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = SIZE;
  image.height = SIZE;
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

bool writeBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

// What the sample puts into its folder, and the marker that says a folder holds one.
const char* const MARKER = ".glyphwarden-sample";
const char* const SAMPLE_ENTRIES[] = {"firmwares/PHONE_W800_R1A.bin", "firmwares/PHONE_W810_R4E.bin", "gfx-original",
                                      "gfx-new", "expected-console.txt"};

// Clears the way for a new sample in `out`: an earlier sample's entries are removed; anything
// else of the same name is the user's and is left alone. Returns 0, or the exit status.
int prepare(const fs::path& out) {
  std::error_code error;
  const bool earlierSample = fs::exists(out / MARKER, error);
  for (const char* entry : SAMPLE_ENTRIES) {
    const fs::path path = out / entry;
    if (!fs::exists(fs::symlink_status(path, error))) continue;
    if (!earlierSample) {
      std::fprintf(stderr, "make-sample: %s already exists and is not part of a sample; nothing was written\n",
                   path.c_str());
      return 2;
    }
    if (fs::remove_all(path, error) == static_cast<std::uintmax_t>(-1)) {
      std::fprintf(stderr, "make-sample: cannot remove the earlier sample's %s: %s\n", path.c_str(),
                   error.message().c_str());
      return 1;
    }
  }
  for (const char* folder : {"firmwares", "gfx-original", "gfx-new"}) {
    fs::create_directories(out / folder, error);
    if (error) {
      std::fprintf(stderr, "make-sample: cannot make the folder %s: %s\n", (out / folder).c_str(),
                   error.message().c_str());
      return 1;
    }
  }
  std::ofstream(out / MARKER) << "A sample made by make-sample; a later make-sample may replace it.\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: make-sample OUTPUT_FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  if (int status = prepare(out)) return status;

  constexpr std::uint32_t UNKNOWN_NUMBER = 0x0F00;  // a picture no firmware knows
  std::set<std::uint32_t> words{TWICE_ANCHOR, UNKNOWN_NUMBER};
  for (int i = 0; i < GRAPHICS; ++i) words.insert({originalNumber(i), anchorOf(i)});

  // Original: one pair per graphic in order, then the second pair of the number carried twice.
  const std::size_t originalAt = 0x12340, originalTable = 8 * (GRAPHICS + 1);
  Bytes original = filler(3 * 1024 * 1024 + 1234, 0xC0FFEE11);
  clearStrayPairs(original, originalAt, originalTable, words);
  for (int i = 0; i < GRAPHICS; ++i) {
    putWord(original, originalAt + 8 * i, anchorOf(i));
    putWord(original, originalAt + 8 * i + 4, originalNumber(i));
  }
  putWord(original, originalAt + 8 * GRAPHICS, TWICE_ANCHOR);
  putWord(original, originalAt + 8 * GRAPHICS + 4, originalNumber(TWICE));

  // New: the tables are ordered differently and lie elsewhere; some anchors are gone.
  const std::size_t newAt = 0x2A7C8, newTable = 8 * (GRAPHICS + 1);
  Bytes updated = filler(3 * 1024 * 1024 + 512 * 1024 + 77, 0xBADC0DE5);
  clearStrayPairs(updated, newAt, newTable, words);
  std::size_t slot = 0;
  putWord(updated, newAt, TWICE_ANCHOR);
  putWord(updated, newAt + 4, TWICE_NEW_NUMBER);
  for (int i = GRAPHICS - 1; i >= 0; --i) {
    ++slot;
    if (dropped(i)) continue;
    putWord(updated, newAt + 8 * slot, anchorOf(i));
    putWord(updated, newAt + 8 * slot + 4, newNumber(i));
  }

  bool written = writeBytes(out / "firmwares" / "PHONE_W800_R1A.bin", original) &&
                 writeBytes(out / "firmwares" / "PHONE_W810_R4E.bin", updated);

  std::ofstream expected(out / "expected-console.txt");
  expected << "files loaded successfully\n";
  for (const Bytes* image : {&original, &updated}) {
    // The region the system maps an image in: its length in whole 4,096-byte pages.
    char line[48];
    std::snprintf(line, sizeof line, "source fw size: %08zX\n", (image->size() + 4095) / 4096 * 4096);
    expected << line;
  }
  for (int i = 0; i < PNG_COUNT; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%04X.png", originalNumber(i));
    written = written && writePng(out / "gfx-original" / name, i);
    char line[64];
    if (!dropped(i)) {
      std::snprintf(line, sizeof line, "%04X -> %04X copied successfully\n", originalNumber(i), newNumber(i));
      expected << line;
    }
    if (i == TWICE) {
      std::snprintf(line, sizeof line, "%04X -> %04X copied successfully\n", originalNumber(i), TWICE_NEW_NUMBER);
      expected << line;
    }
  }
  // Pictures the firmware does not know, and files that are no graphic at all.
  written = written && writePng(out / "gfx-original" / "0F00.png", UNKNOWN_NUMBER % 4) &&
            writePng(out / "gfx-original" / "logo.png", 2);
  std::ofstream(out / "gfx-original" / "readme.txt") << "Replacement graphics for the W800.\n";
  if (!written || !expected.good()) {
    std::fprintf(stderr, "make-sample: cannot write the sample into %s\n", out.c_str());
    return 1;
  }
  return 0;
}
