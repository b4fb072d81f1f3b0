// The graphic-number scan against the C library's own swscanf with "%4x": the same outcome,
// skipped or the same number, for every name.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "engine/graphic_number.h"
#include "fuzz_input.h"

namespace {

// Mostly the characters that matter to the scan, sometimes any UTF-16 code unit.
wchar_t nameCharacter(FuzzInput& input) {
  static const wchar_t INTERESTING[] = L" \t\n\v\f\r+-0xX19aAfFgG.pn_\u00a0\u3000\uff10\u0660";
  const std::uint8_t choice = input.byte();
  if (choice < 0xE0) return INTERESTING[choice % (sizeof INTERESTING / sizeof(wchar_t) - 1)];
  return static_cast<wchar_t>(input.word16());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  std::wstring name;
  while (!input.empty() && name.size() < 64) {
    const wchar_t c = nameCharacter(input);
    if (c == L'\0') break;  // a file name ends at its terminator, for swscanf too
    name += c;
  }
  unsigned expected = 0;
  const bool expectedScanned = std::swscanf(name.c_str(), L"%4x", &expected) == 1;
  const auto scanned = scanGraphicNumber(name);
  if (scanned.has_value() != expectedScanned || (scanned && *scanned != expected)) {
    std::fprintf(stderr, "name of %zu characters: swscanf %d/%08X, scan %d/%08X\n", name.size(), expectedScanned,
                 expected, scanned.has_value(), scanned.value_or(0));
    for (wchar_t c : name) std::fprintf(stderr, " %04X", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
    std::abort();
  }
  return 0;
}
