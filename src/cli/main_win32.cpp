// Entry of glyphwarden-cli on Windows: arguments arrive as UTF-16.
#include <new>

#include "cli/cli.h"
#include "platform/platform.h"

int wmain(int argc, wchar_t** argv) {
  platform::endCleanlyOnInterrupt();
  try {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return runCommandLine(arguments);
  } catch (const std::bad_alloc&) {
    return endForWantOfMemory();
  }
}
