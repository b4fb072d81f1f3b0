// runConversion alone, in a plain process, timed: the window benchmark's reference.
//   time-conversion ORIGINAL_FIRMWARE NEW_FIRMWARE ORIGINAL_GFX NEW_GFX
// Prints the run's time in ms; the console text is discarded.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "console/append_log.h"
#include "engine/conversion.h"
#include "platform/utf8.h"

namespace {
bool discard(void*, const wchar_t*) { return true; }
}  // namespace

int runTimed(const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 4) {
    std::fprintf(stderr, "usage: time-conversion ORIGINAL_FIRMWARE NEW_FIRMWARE ORIGINAL_GFX NEW_GFX\n");
    return 2;
  }
  installLogSink(discard, nullptr);
  const auto started = std::chrono::steady_clock::now();
  const bool succeeded = runConversion(arguments[2], arguments[3], arguments[0], arguments[1]);
  const auto ended = std::chrono::steady_clock::now();
  installLogSink(nullptr, nullptr);
  std::printf("%lld\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(ended - started).count()));
  return succeeded ? 0 : 1;
}

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return runTimed(std::vector<std::wstring>(argv + 1, argv + argc)); }
#else
int main(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::fromUtf8(argv[i]));
  return runTimed(arguments);
}
#endif
