// runConversion alone, in a plain process, timed: the window benchmark's reference.
//   time-conversion ORIGINAL_FIRMWARE NEW_FIRMWARE ORIGINAL_GFX NEW_GFX
// Prints the run's time in ms; the console text is discarded.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "console/append_log.h"
#include "engine/conversion.h"
#include "harness/system.h"

namespace {
bool discard(void*, const wchar_t*) {
  return true;
}
}  // namespace

int programMain(const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 4) {
    std::fprintf(stderr, "usage: time-conversion ORIGINAL_FIRMWARE NEW_FIRMWARE ORIGINAL_GFX NEW_GFX\n");
    return 2;
  }
  installLogSink(discard, nullptr);
  const auto started = std::chrono::steady_clock::now();
  const RunPaths paths{.originalFirmware = arguments[0],
                       .newFirmware = arguments[1],
                       .originalGfx = arguments[2],
                       .newGfx = arguments[3]};
  const bool succeeded = runConversion(paths, {});
  const auto ended = std::chrono::steady_clock::now();
  installLogSink(nullptr, nullptr);
  std::printf("%lld\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(ended - started).count()));
  return succeeded ? 0 : 1;
}
