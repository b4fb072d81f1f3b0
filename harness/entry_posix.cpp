// Entry of a small program on POSIX: the arguments arrive as UTF-8.
#include "harness/system.h"
#include "platform/utf8.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(platform::fromUtf8(argv[i]));
  return programMain(arguments);
}
