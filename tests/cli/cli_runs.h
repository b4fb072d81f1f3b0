// What the tests of the command line share: the real program run with arguments, the texts it
// prints, and a pack with one PNG of each fate.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "harness/run_program.h"
#include "support/test_files.h"

inline std::string lines(std::initializer_list<const char*> texts) {
  std::string out;
  for (const char* text : texts) out += std::string(text) + OUTPUT_LINE_END;
  return out;
}

// The command line of this build; limits, where the system can set them (POSIX).
inline ProgramResult runCli(const std::vector<std::wstring>& arguments, const ChildLimits& limits = {}) {
  return runProgram(siblingProgram(L"glyphwarden-cli"), arguments, limits);
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every path under a folder, folders included, so a test can prove nothing was created.
inline std::vector<std::string> treeListing(const fs::path& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    entries.push_back(entry.path().lexically_relative(root).generic_string());
  std::sort(entries.begin(), entries.end());
  return entries;
}

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

inline std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
  return count;
}

// A pack with one PNG of each fate: carried, carried onto an existing file, two PNGs onto one
// new number, no number, a number the original lacks, an anchor the new image lacks.
struct MixedPack {
  TempDir dir;
  std::vector<std::wstring> arguments;
  MixedPack() {
    fs::create_directories(dir / "old");
    fs::create_directories(dir / "new");
    writeFile(dir / "W800.bin", ImageBuilder(8192)
                                    .pair(1, 0xA1, 0x0101)
                                    .pair(2, 0xA2, 0x0102)
                                    .pair(3, 0xA3, 0x0103)
                                    .pair(4, 0xA4, 0x0104)
                                    .pair(5, 0xA5, 0x0105)
                                    .bytes());
    writeFile(dir / "W810.bin", ImageBuilder(8192)
                                    .pair(7, 0xA1, 0x0201)
                                    .pair(8, 0xA2, 0x0202)
                                    .pair(9, 0xA3, 0x0203)
                                    .pair(10, 0xA4, 0x0203)
                                    .bytes());
    for (const char* name : {"0101.png", "0102.png", "0103.png", "0104.png", "0105.png", "0106.png", "logo.png"})
      writeFile(dir / "old" / name, std::string("picture ") + name);
    writeFile(dir / "new" / "0202.png", "already there");
    arguments = runArguments(dir / "W800.bin", dir / "W810.bin", dir / "old", dir / "new");
  }
  std::vector<std::wstring> with(std::initializer_list<const wchar_t*> options) const {
    std::vector<std::wstring> all = arguments;
    all.insert(all.end(), options.begin(), options.end());
    return all;
  }
};
