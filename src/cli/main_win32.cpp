// Entry of glyphwarden-cli on Windows: arguments arrive as UTF-16.
#include "cli/cli.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return runCommandLine(arguments);
}
