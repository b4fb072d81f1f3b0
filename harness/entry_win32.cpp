// Entry of a small program on Windows: the arguments arrive as UTF-16.
#include "harness/system.h"

int wmain(int argc, wchar_t** argv) {
  return programMain(std::vector<std::wstring>(argv + 1, argv + argc));
}
